#include "../sources/SimulatedCentral.h"
#include "FakeExecutable.h"
#include "PowerSupplyFolder.h"
#include "StateDoubles.h"
#include "TestBundle.h"
#include "app/DiagnosticLog.h"
#include "app/Updater.h"
#include "platform/Workspace.h"
#include "platform/linux/JsonDefaultsStore.h"
#include "platform/linux/SysfsPowerSupplies.h"
#include "ui/AddDevicePopover.h"
#include "ui/ChoicePicker.h"
#include "ui/OverrideListEditor.h"
#include "ui/OverrideRow.h"
#include "ui/SettingsWindowController.h"
#include "ui/Stepper.h"
#include "ui/Style.h"
#include "ui/ThresholdPicker.h"

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QUrlQuery>

using Accessory = BluetoothBatteryReader::AccessoryReading;
using Info = QMap<QString, QString>;

namespace {

class RecordingWorkspace final : public Workspace {
public:
    QList<QUrl> urls;
    QStringList folders;
    QList<Page> pages;

    bool openUrl(const QUrl& url) override {
        urls << url;
        return true;
    }
    bool openFolder(const QString& path) override {
        folders << path;
        return true;
    }
    bool openSystemSettings(Page page) override {
        pages << page;
        return true;
    }
};

// One settings form over an AppState of doubles.
struct Harness {
    StateFixture fixture;
    std::unique_ptr<AppState> state;
    RecordingWorkspace workspace;
    TestBundle bundle;
    MemoryDefaults updaterDefaults;
    std::unique_ptr<UpdaterController> updater;

    explicit Harness(const QString& feed = {}) {
        bundle.info = {{"CFBundleName", "Voltwren"}, {"CFBundleShortVersionString", "1.4.2"}};
        UpdaterController::Configuration configuration;
        configuration.feedUrl = QUrl(feed);
        configuration.runningVersion = "1.4.2";
        configuration.defaults = &updaterDefaults;
        configuration.fetchProgram = QStringLiteral(VOLTWREN_STAGE_LIBEXECDIR "/update-fetch");
        updater = std::make_unique<UpdaterController>(configuration);
    }
    // Permissions and devices as given, then a state and a refresh over them.
    void start(const QList<Accessory>& devices = {}, bool bluetoothDenied = false) {
        if (bluetoothDenied) {
            auto central = std::make_unique<SimulatedCentral>();
            central->authorizationValue = BluetoothAuthorization::denied;
            fixture.gatt = std::make_unique<GATTBatteryReader>(std::move(central));
        }
        fixture.setAccessories(devices);
        state = fixture.makeState();
        if (!devices.isEmpty() || bluetoothDenied)
            QVERIFY(StateFixture::refreshAndWait(*state));
    }
    SettingsView::Services services() { return {&workspace, updater.get(), &bundle}; }
    void setOverrides(const QList<DeviceThresholdOverride>& entries) {
        DeviceThresholdOverride::Collection overrides;
        for (const DeviceThresholdOverride& entry : entries)
            overrides.insert(entry.address, entry);
        state->setDeviceThresholdOverrides(overrides);
    }
    qsizetype writesOf(const QString& key) const { return fixture.defaults.writes.count(key); }
};

Accessory device(const QString& id, const QString& name, DeviceKind kind, qint64 percent) {
    Accessory reading;
    reading.id = id;
    reading.name = name;
    reading.kind = kind;
    reading.batteryPercent = percent;
    return reading;
}

const QList<Accessory> threeDevices{device("AA", "Desk Mouse", DeviceKind::mouse, 15),
                                    device("BB", "Keyboard", DeviceKind::keyboard, 64),
                                    device("CC", "Studio Buds", DeviceKind::headphones, 80)};

template <typename T> T* withText(const QWidget& root, const QString& text) {
    for (T* widget : root.findChildren<T*>()) {
        if (widget->text() == text)
            return widget;
    }
    return nullptr;
}

QStringList labels(const QComboBox& picker) {
    QStringList texts;
    for (int i = 0; i < picker.count(); ++i)
        texts << picker.itemText(i);
    return texts;
}

OverrideRow* rowAt(const OverrideListEditor& editor, int index) {
    return qobject_cast<OverrideRow*>(editor.list()->itemWidget(editor.list()->item(index)));
}

QStringList shownNames(const OverrideListEditor& editor) {
    QStringList names;
    for (int i = 0; i < editor.list()->count(); ++i)
        names << rowAt(editor, i)->findChild<QLabel*>("overrideName")->text();
    return names;
}

void clickRow(const OverrideListEditor& editor, int index) {
    QTest::mouseClick(rowAt(editor, index)->findChild<QLabel*>("overrideName"), Qt::LeftButton);
}

// Its top edge in the form, to compare where two widgets sit.
int topInForm(const QWidget& widget) {
    return widget.mapTo(widget.window(), QPoint(0, 0)).y();
}

// The window as a user sees it, with the add popover where it opened.
void saveScreenshot(QWidget& window, const QString& name, QWidget* popover = nullptr) {
    QImage image = window.grab().toImage();
    if (popover && popover->isVisible()) {
        QPainter painter(&image);
        painter.drawPixmap(window.mapFromGlobal(popover->mapToGlobal(QPoint(0, 0))), popover->grab());
    }
    const QString path = QStringLiteral(VOLTWREN_SCREENSHOT_DIR "/") + name;
    QVERIFY2(image.save(path), qPrintable(path));
}

} // namespace

class SettingsWindowTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        // The log folder of this run, before anything computes it.
        QVERIFY(m_state.isValid());
        qputenv("XDG_STATE_HOME", m_state.path().toLocal8Bit());
        QApplication::setStyle("Fusion");
        QApplication::setPalette(QApplication::style()->standardPalette());
    }

    void oneWindowKeepsItsSizeAndSelection() {
        Harness harness;
        harness.fixture.defaults.setBool("voltwren.sendNotifications", true);
        harness.start(threeDevices);
        harness.setOverrides(
            {{"AA", "Desk Mouse", DeviceKind::mouse, 30}, {"BB", "Keyboard", DeviceKind::keyboard, 10}});
        const int asked = harness.fixture.notifications.authorizationRequests;
        SettingsWindowController controller(harness.services());

        controller.show(*harness.state);
        SettingsView* window = controller.window();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QCOMPARE(window->windowTitle(), "Voltwren Settings");
        QCOMPARE(window->size(), QSize(480, 840));
        QCOMPARE(window->minimumSize(), window->maximumSize()); // not resizable
        QCOMPARE(harness.fixture.notifications.authorizationRequests, asked + 1);
        clickRow(*window->overrideEditor(), 1);
        QCOMPARE(window->overrideEditor()->selectedOverrideID(), std::optional<QString>("BB"));

        QVERIFY(window->close());
        QVERIFY(!window->isVisible());
        controller.show(*harness.state);
        QCOMPARE(controller.window(), window);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QCOMPARE(window->size(), QSize(480, 840));
        QCOMPARE(window->overrideEditor()->selectedOverrideID(), std::optional<QString>("BB"));
        QVERIFY(window->overrideEditor()->list()->item(1)->isSelected());
        QVERIFY(window->overrideEditor()->removeButton()->isEnabled());
        QCOMPARE(harness.fixture.notifications.authorizationRequests, asked + 2); // asked at each opening
    }

    void pickersShowTheThirteenChoices_data() {
        QTest::addColumn<double>("stored");
        QTest::addColumn<QString>("shown");
        QTest::newRow("default") << -1.0 << "20%";
        QTest::newRow("not an option: snapped when loaded") << 33.0 << "30%";
        QTest::newRow("none") << 0.0 << "None";
    }
    void pickersShowTheThirteenChoices() {
        QFETCH(double, stored);
        QFETCH(QString, shown);
        Harness harness;
        if (stored >= 0)
            harness.fixture.defaults.setNumber("voltwren.threshold", stored);
        harness.start(threeDevices);
        harness.setOverrides({{"AA", "Desk Mouse", DeviceKind::mouse, 40}});
        SettingsView view(*harness.state, harness.services());
        view.show();

        const QStringList expected{"None", "5%",  "10%", "15%", "20%", "25%", "30%",
                                   "40%",  "50%", "60%", "70%", "80%", "90%"};
        auto* general = view.findChild<ThresholdPicker*>("generalThresholdPicker");
        QVERIFY(general);
        QCOMPARE(labels(*general), expected);
        QCOMPARE(general->currentText(), shown);
        ThresholdPicker* row = rowAt(*view.overrideEditor(), 0)->picker();
        QCOMPARE(labels(*row), expected);
        QCOMPARE(row->currentText(), "40%");
        QCOMPARE(row->width(), 80);

        // Choosing "None" stores 0; the row's choice replaces only its threshold.
        general->setFocus();
        QTest::keyClick(general, Qt::Key_Home);
        QCOMPARE(harness.state->threshold(), 0.0);
        QCOMPARE(harness.fixture.defaults.get("voltwren.threshold")->toNumber(), std::optional(0.0));
        row->setFocus();
        QTest::keyClick(row, Qt::Key_Down);
        const DeviceThresholdOverride expectedEntry{"AA", "Desk Mouse", DeviceKind::mouse, 50};
        QCOMPARE(harness.state->deviceThresholdOverrides().value("AA"), expectedEntry);
    }

    // Assignments made elsewhere show at once and are not written back.
    void followsTheStateWithoutWritingBack() {
        Harness harness;
        harness.start(threeDevices);
        harness.setOverrides({{"AA", "Desk Mouse", DeviceKind::mouse, 30}});
        SettingsView view(*harness.state, harness.services());
        view.show();
        OverrideRow* row = rowAt(*view.overrideEditor(), 0);
        harness.fixture.defaults.writes.clear();

        harness.state->setThreshold(50);
        harness.state->setHighlightMenubarIcon(false);
        harness.state->setPollIntervalMinutes(42);
        harness.setOverrides({{"AA", "Desk Mouse", DeviceKind::mouse, 70}});
        QCOMPARE(view.findChild<ThresholdPicker*>("generalThresholdPicker")->currentText(), "50%");
        QVERIFY(!withText<QAbstractButton>(view, "Highlight menubar icon")->isChecked());
        QCOMPARE(view.findChild<QLabel*>("pollIntervalValue")->text(), "42 min");
        QCOMPARE(rowAt(*view.overrideEditor(), 0), row); // the same row, not a new one
        QCOMPARE(row->picker()->currentText(), "70%");
        QCOMPARE(harness.fixture.defaults.writes,
                 QStringList({"voltwren.threshold", "voltwren.highlightMenubarIcon",
                              "voltwren.pollIntervalMinutes", "voltwren.deviceThresholdOverrides"}));
    }

    void addAndRemoveOverrides() {
        Harness harness;
        harness.start(threeDevices);
        // A stored name with a control character shows without it.
        harness.setOverrides({{"BB", "Key\033board", DeviceKind::keyboard, 10}});
        harness.state->setThreshold(25);
        SettingsView view(*harness.state, harness.services());
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        OverrideListEditor& editor = *view.overrideEditor();
        const qsizetype writes = harness.writesOf("voltwren.deviceThresholdOverrides");

        // Only devices without an override are offered, in list order.
        editor.addButton()->click();
        AddDevicePopover* popover = editor.addPopover();
        QVERIFY(popover && popover->isVisible());
        // Under the plus button (the offscreen platform adds a small window frame).
        const QPoint under = editor.addButton()->mapToGlobal(QPoint(0, editor.addButton()->height()));
        QVERIFY((popover->geometry().topLeft() - under).manhattanLength() <= 8);
        QStringList offered;
        for (const QAbstractButton* entry : popover->entries())
            offered << entry->text();
        QCOMPARE(offered, QStringList({"Desk Mouse", "Studio Buds"}));
        QVERIFY(!popover->emptyText()->isVisible());

        // The new override takes the general threshold; the popover closes, nothing is selected.
        QTest::mouseClick(popover->entries().at(1), Qt::LeftButton);
        QVERIFY(!popover->isVisible());
        QCOMPARE(harness.writesOf("voltwren.deviceThresholdOverrides"), writes + 1);
        const DeviceThresholdOverride added{"CC", "Studio Buds", DeviceKind::headphones, 25};
        QCOMPARE(harness.state->deviceThresholdOverrides().value("CC"), added);
        QCOMPARE(shownNames(editor), QStringList({"Keyboard", "Studio Buds"}));
        QVERIFY(editor.list()->selectedItems().isEmpty());
        QVERIFY(!editor.removeButton()->isEnabled());

        // Remove takes the selected one and leaves nothing selected.
        clickRow(editor, 0);
        QVERIFY(editor.removeButton()->isEnabled());
        editor.removeButton()->click();
        QCOMPARE(harness.state->deviceThresholdOverrides().keys(), QStringList({"CC"}));
        QCOMPARE(harness.writesOf("voltwren.deviceThresholdOverrides"), writes + 2);
        QCOMPARE(shownNames(editor), QStringList({"Studio Buds"}));
        QCOMPARE(editor.selectedOverrideID(), std::nullopt);
        QVERIFY(editor.list()->selectedItems().isEmpty());
        QVERIFY(!editor.removeButton()->isEnabled());
    }

    void popoverWithNothingToAdd_data() {
        QTest::addColumn<bool>("withDevices");
        QTest::newRow("no devices") << false;
        QTest::newRow("every device has an override") << true;
    }
    void popoverWithNothingToAdd() {
        QFETCH(bool, withDevices);
        Harness harness;
        harness.start(withDevices ? QList<Accessory>{threeDevices[0]} : QList<Accessory>{});
        if (withDevices)
            harness.setOverrides({{"AA", "Desk Mouse", DeviceKind::mouse, 30}});
        SettingsView view(*harness.state, harness.services());
        view.show();
        view.overrideEditor()->addButton()->click();
        AddDevicePopover* popover = view.overrideEditor()->addPopover();
        QVERIFY(popover->isVisible());
        QVERIFY(popover->entries().isEmpty());
        QVERIFY(popover->emptyText()->isVisible());
        QCOMPARE(popover->emptyText()->text(), "No devices available");
        popover->close();
    }

    void overridesSortByName_data() {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("capitals before small letters")
            << QStringList{"apple", "Zebra", "mouse"} << QStringList{"Zebra", "apple", "mouse"};
        // NFC: "e" + combining acute is "é", which sorts after "e" and "f".
        QTest::newRow("composed and decomposed alike")
            << QStringList{"e\u0301b", "f", "\u00e9a"} << QStringList{"f", "\u00e9a", "e\u0301b"};
        // U+FF5E is below U+1F600, though its UTF-16 unit is above the surrogates.
        QTest::newRow("scalar values, not UTF-16 units")
            << QStringList{"\U0001F600", "\uFF5E"} << QStringList{"\uFF5E", "\U0001F600"};
    }
    void overridesSortByName() {
        QFETCH(QStringList, names);
        QFETCH(QStringList, expected);
        Harness harness;
        harness.start();
        QList<DeviceThresholdOverride> entries;
        for (qsizetype i = 0; i < names.size(); ++i)
            entries.append({QString::number(i), names[i], DeviceKind::otherAccessory, 20});
        harness.setOverrides(entries);
        SettingsView view(*harness.state, harness.services());
        QCOMPARE(shownNames(*view.overrideEditor()), expected); // stored names, verbatim
    }

    void listHeightFollowsTheRows_data() {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("height");
        QTest::addColumn<bool>("scrolls");
        QTest::newRow("none") << 0 << 50 << false;
        QTest::newRow("two") << 2 << 84 << false;
        QTest::newRow("three") << 3 << 118 << false;
        QTest::newRow("five") << 5 << 152 << true;
    }
    void listHeightFollowsTheRows() {
        QFETCH(int, count);
        QFETCH(int, height);
        QFETCH(bool, scrolls);
        Harness harness;
        harness.start();
        QList<DeviceThresholdOverride> entries;
        for (int i = 0; i < count; ++i)
            entries.append({QString::number(i), QStringLiteral("Device %1").arg(i), DeviceKind::mouse, 20});
        harness.setOverrides(entries);
        SettingsView view(*harness.state, harness.services());
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QListWidget* list = view.overrideEditor()->list();
        QCOMPARE(list->height(), height);
        QCOMPARE(list->verticalScrollBar()->isVisible(), scrolls);
        for (int i = 0; i < count; ++i)
            QCOMPARE(list->visualItemRect(list->item(i)).height(), 34);
    }

    void permissionNotices_data() {
        QTest::addColumn<bool>("bluetoothDenied");
        QTest::addColumn<bool>("sendNotifications");
        QTest::addColumn<bool>("notificationsGranted");
        QTest::newRow("both refused, notifications on") << true << true << false;
        QTest::newRow("notifications refused, but off") << false << false << false;
        QTest::newRow("notifications allowed") << false << true << true;
        QTest::newRow("Bluetooth refused only") << true << false << true;
    }
    void permissionNotices() {
        QFETCH(bool, bluetoothDenied);
        QFETCH(bool, sendNotifications);
        QFETCH(bool, notificationsGranted);
        Harness harness("https://voltwren.app/appcast.xml");
        harness.fixture.notifications.grant = notificationsGranted;
        harness.fixture.defaults.setBool("voltwren.sendNotifications", sendNotifications);
        harness.start(threeDevices, bluetoothDenied);
        harness.setOverrides(
            {{"AA", "Desk Mouse", DeviceKind::mouse, 30}, {"BB", "Keyboard", DeviceKind::keyboard, 10}});
        SettingsView view(*harness.state, harness.services());
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        const bool notificationNotice = sendNotifications && !notificationsGranted;
        QTRY_COMPARE(harness.state->notificationPermissionDenied(), notificationNotice);

        QLabel* bluetooth =
            withText<QLabel>(view, "Bluetooth permissions have not been granted. Some accessory "
                                   "battery levels can't be read.");
        QLabel* notifications =
            withText<QLabel>(view, "Notifications are turned off for Voltwren in System Settings.");
        QVERIFY(bluetooth && notifications);
        QCOMPARE(bluetooth->isVisible(), bluetoothDenied);
        QCOMPARE(notifications->isVisible(), notificationNotice);
        // The Bluetooth notice is the first section; the other sits under the two toggles.
        if (bluetoothDenied)
            QVERIFY(topInForm(*bluetooth) < topInForm(*withText<QLabel>(view, "Low battery threshold")));
        if (notificationNotice) {
            QVERIFY(topInForm(*notifications) >
                    topInForm(*withText<QAbstractButton>(view, "Send notification")));
            QVERIFY(topInForm(*notifications) < topInForm(*withText<QLabel>(view, "Polling")));
        }

        // The links open the desktop's pages.
        if (bluetoothDenied)
            withText<QAbstractButton>(view, "Open Bluetooth Settings…")->click();
        if (notificationNotice)
            withText<QAbstractButton>(view, "Open Notification Settings…")->click();
        QList<Workspace::Page> pages;
        if (bluetoothDenied)
            pages << Workspace::Page::bluetooth;
        if (notificationNotice)
            pages << Workspace::Page::notifications;
        QCOMPARE(harness.workspace.pages, pages);

        if (notificationNotice) {
            saveScreenshot(view, "settings-notices.png");
            // Turning notifications off hides the notice at once.
            withText<QAbstractButton>(view, "Send notification")->click();
            QVERIFY(!harness.state->sendNotifications());
            QVERIFY(!notifications->isVisible());
        }
    }

    void stepperStepsByOneWithinBounds_data() {
        QTest::addColumn<double>("start");
        QTest::addColumn<int>("clicks"); // positive: up
        QTest::addColumn<double>("expected");
        QTest::newRow("down from 15") << 15.0 << -1 << 14.0;
        QTest::newRow("up from 15") << 15.0 << 1 << 16.0;
        QTest::newRow("stops at 1") << 2.0 << -3 << 1.0;
        QTest::newRow("stops at 120") << 118.0 << 4 << 120.0;
    }
    void stepperStepsByOneWithinBounds() {
        QFETCH(double, start);
        QFETCH(int, clicks);
        QFETCH(double, expected);
        Harness harness;
        harness.fixture.defaults.setNumber("voltwren.pollIntervalMinutes", start);
        harness.start();
        SettingsView view(*harness.state, harness.services());
        view.show();
        auto* stepper = view.findChild<Stepper*>("pollIntervalStepper");
        auto* value = view.findChild<QLabel*>("pollIntervalValue");
        QToolButton* arrow = clicks > 0 ? stepper->incrementButton() : stepper->decrementButton();
        double previous = start;
        for (int i = 0; i < std::abs(clicks); ++i) {
            QTest::mouseClick(arrow, Qt::LeftButton);
            const double now = harness.state->pollIntervalMinutes();
            QVERIFY(std::abs(now - previous) <= 1);
            QCOMPARE(value->text(), SettingsView::minutesText(now));
            previous = now;
        }
        QCOMPARE(harness.state->pollIntervalMinutes(), expected);
        QCOMPARE(value->text(), QStringLiteral("%1 min").arg(expected));
        if (expected == 1 || expected == 120)
            QVERIFY(!arrow->isEnabled());
    }

    // The reminder and charged rows write their settings, and only add to
    // notifications that are sent.
    void notifyRowsWriteTheirSettings() {
        Harness harness;
        harness.start();
        SettingsView view(*harness.state, harness.services());
        view.show();
        auto* remind = view.findChild<ChoicePicker*>("remindIntervalPicker");
        auto* level = view.findChild<ChoicePicker*>("chargedLevelPicker");
        QCOMPARE(level->currentText(), "Off");
        QVERIFY(!remind->isEnabled() && !level->isEnabled());
        harness.state->setSendNotifications(true);
        QVERIFY(remind->isEnabled() && level->isEnabled());
        remind->activated(2);
        level->activated(2);
        const MemoryDefaults& stored = harness.fixture.defaults;
        QCOMPARE(stored.get("voltwren.remindIntervalHours")->toNumber(), 4.0);
        QCOMPARE(stored.get("voltwren.notifyWhenCharged")->toBool(), true);
        QCOMPARE(stored.get("voltwren.chargedLevel")->toNumber(), 90.0);
        QCOMPARE(remind->currentText(), "Every 4 hours");
        QCOMPARE(level->currentText(), "At 90%");
        // Off keeps the level for the next time it is turned on.
        level->activated(0);
        QCOMPARE(stored.get("voltwren.notifyWhenCharged")->toBool(), false);
        QCOMPARE(stored.get("voltwren.chargedLevel")->toNumber(), 90.0);
    }

    void supportLinkAndVersion_data() {
        QTest::addColumn<Info>("info");
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("url");
        QTest::newRow("plain") << Info{{"CFBundleName", "Voltwren"}, {"CFBundleShortVersionString", "1.4.2"}}
                               << "Voltwren, version: 1.4.2"
                               << "https://voltwren.app/support?app=Voltwren&version=1.4.2";
        QTest::newRow("no version: both items still there")
            << Info{{"CFBundleName", "Voltwren"}} << "Voltwren, version: "
            << "https://voltwren.app/support?app=Voltwren&version=";
        QTest::newRow("nothing known") << Info{} << "Voltwren, version: "
                                       << "https://voltwren.app/support?app=&version=";
        QTest::newRow("delimiters stay data")
            << Info{{"CFBundleName", "Volt&wren=é"}, {"CFBundleShortVersionString", "2.0+rc 1%"}}
            << "Voltwren, version: 2.0+rc 1%"
            << "https://voltwren.app/support?app=Volt%26wren%3D%C3%A9&version=2.0%2Brc%201%25";
    }
    void supportLinkAndVersion() {
        QFETCH(Info, info);
        QFETCH(QString, version);
        QFETCH(QString, url);
        Harness harness;
        harness.bundle.info = info;
        harness.start();
        SettingsView view(*harness.state, harness.services());
        view.show();
        QCOMPARE(view.findChild<QLabel*>("versionLine")->text(), version);
        withText<QAbstractButton>(view, "Support")->click();
        QCOMPARE(harness.workspace.urls.size(), 1);
        QCOMPARE(QString::fromLatin1(harness.workspace.urls[0].toEncoded()), url);
        QCOMPARE(QUrlQuery(harness.workspace.urls[0]).queryItemValue("app", QUrl::FullyDecoded),
                 info.value("CFBundleName"));
    }

    void logButtonOpensTheFolder() {
        Harness harness;
        harness.start();
        SettingsView view(*harness.state, harness.services());
        view.show();
        withText<QAbstractButton>(view, "Show Log File in File Manager…")->click();
        QCOMPARE(harness.workspace.folders, QStringList({logDirectoryURL()}));
        QVERIFY(logDirectoryURL().startsWith(m_state.path()));
        QCOMPARE(harness.workspace.urls, QList<QUrl>());
    }

    void updatesSectionOnlyWithUpdateChecks_data() {
        QTest::addColumn<QString>("feed");
        QTest::newRow("enabled") << "http://127.0.0.1:9/appcast.xml";
        QTest::newRow("disabled") << "";
    }
    void updatesSectionOnlyWithUpdateChecks() {
        QFETCH(QString, feed);
        Harness harness(feed);
        harness.start();
        SettingsView view(*harness.state, harness.services());
        view.show();
        auto* check = withText<QPushButton>(view, "Check for Updates…");
        QCOMPARE(check != nullptr, !feed.isEmpty());
        QCOMPARE(withText<QLabel>(view, "Updates") != nullptr, !feed.isEmpty());
        if (check) {
            check->click();
            QVERIFY(harness.updater->isChecking());
        }
    }

    void screenshots_data() {
        QTest::addColumn<bool>("dark");
        QTest::newRow("light") << false;
        QTest::newRow("dark") << true;
    }
    void screenshots() {
        QFETCH(bool, dark);
        const QPalette light = QApplication::palette();
        if (dark)
            QApplication::setPalette(Style::darkPalette());
        Harness harness("https://voltwren.app/appcast.xml");
        harness.start(threeDevices);
        harness.setOverrides({{"AA", "Desk Mouse", DeviceKind::mouse, 30},
                              {"old", "Travel Trackpad", DeviceKind::trackpad, 15},
                              {"BB", "Keyboard", DeviceKind::keyboard, 10}});
        harness.state->setSendNotifications(true);
        harness.state->setRemindIntervalHours(1);
        harness.state->setNotifyWhenCharged(true);
        SettingsView view(*harness.state, harness.services());
        view.setWindowTitle("Voltwren Settings");
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        clickRow(*view.overrideEditor(), 0);
        saveScreenshot(view, dark ? "settings-dark.png" : "settings-light.png");
        if (!dark) {
            view.overrideEditor()->addButton()->click();
            AddDevicePopover* popover = view.overrideEditor()->addPopover();
            QVERIFY(QTest::qWaitForWindowExposed(popover));
            saveScreenshot(view, "settings-add-popover.png", popover);
            popover->close();
        }
        QApplication::setPalette(light);
    }

    // A receiver's mouse that only the kernel knows gets a threshold of its
    // own; after a restart, with its supply under a new name, it still applies.
    void kernelDeviceOverrideAppliesAfterRestart() {
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + QFile::encodeName(m_state.filePath("no-bus")));
        QTemporaryDir dir;
        const QString supplies = dir.filePath("sys/class/power_supply");
        writePowerSupply(supplies, "hidpp_battery_0",
                         {{"type", "Battery"},
                          {"scope", "Device"},
                          {"capacity", "15"},
                          {"model_name", "MX Anywhere 3"},
                          {"serial_number", "4a3b"}});
        FakeExecutable::writeReplying(dir.path(), "bluez-report", "Bluetooth:\n", 0);
        Harness harness;
        // The program's sources over that tree, the settings in a real file.
        const auto start = [&](JsonDefaultsStore& store) {
            AppState::Services services;
            services.defaults = &store;
            services.notifications = &harness.fixture.notifications;
            services.loginItems = &harness.fixture.loginItem;
            services.readInternalBattery = [] { return std::optional<InternalBatteryReading>(); };
            services.readAccessories = [&] {
                return BluetoothBatteryReader::readAccessories(TestBundle(dir.path()),
                                                               SysfsPowerSupplies(supplies));
            };
            services.firstPollTimeout = std::chrono::hours(1);
            auto state = std::make_unique<AppState>(services);
            [&] { QVERIFY(StateFixture::refreshAndWait(*state)); }();
            return state;
        };
        {
            JsonDefaultsStore store(dir.filePath("defaults.json"));
            const std::unique_ptr<AppState> state = start(store);
            QVERIFY(state->isAnyDeviceLow()); // 15 % under the general 20 %
            SettingsView view(*state, harness.services());
            view.show();
            OverrideListEditor& editor = *view.overrideEditor();
            editor.addButton()->click();
            QCOMPARE(editor.addPopover()->entries().size(), 1);
            QTest::mouseClick(editor.addPopover()->entries().at(0), Qt::LeftButton);
            ThresholdPicker* picker = rowAt(editor, 0)->picker();
            picker->setFocus();
            QTest::keyClick(picker, Qt::Key_Up);
            QTest::keyClick(picker, Qt::Key_Up);
            QCOMPARE(rowAt(editor, 0)->name() + " " + picker->currentText(), "MX Anywhere 3 10%");
        }
        QVERIFY(QDir(supplies).rename("hidpp_battery_0", "hidpp_battery_1"));
        JsonDefaultsStore store(dir.filePath("defaults.json"));
        const std::unique_ptr<AppState> state = start(store);
        QCOMPARE(state->devices().size(), 1);
        QCOMPARE(state->effectiveThreshold(state->devices()[0].id), 10.0);
        QVERIFY(!state->isAnyDeviceLow());
    }

private:
    QTemporaryDir m_state;
};

QTEST_MAIN(SettingsWindowTest)
#include "tst_settingswindow.moc"
