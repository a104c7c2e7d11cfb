#include "AppState.h"
#include "StateDoubles.h"
#include "StdoutCapture.h"
#include "sources/SystemProfilerBluetoothInfo.h"
#include "ui/ChevronIndicator.h"
#include "ui/ComponentBlock.h"
#include "ui/DeviceRow.h"
#include "ui/MenuBarContentView.h"
#include "ui/Style.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSet>
#include <QSignalSpy>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>

using AccessoryReading = BluetoothBatteryReader::AccessoryReading;
using Components = QList<SubBatteryReading>;
Q_DECLARE_METATYPE(std::optional<qint64>)

namespace {

AccessoryReading accessory(const QString& id, const QString& name, std::optional<qint64> percent,
                           bool connected = true, std::optional<Components> components = std::nullopt,
                           DeviceKind kind = DeviceKind::mouse) {
    return AccessoryReading{id, name, kind, percent, connected, components};
}

// How a text reads against the panel: "primary", "secondary" or "red".
QString tone(const QLabel* label, const QWidget* panel) {
    const QColor color = label->palette().color(QPalette::WindowText);
    if (color == Style::alertRed(panel->palette()))
        return QStringLiteral("red");
    if (color == Style::secondaryText(panel->palette()))
        return QStringLiteral("secondary");
    return color == panel->palette().color(QPalette::WindowText) ? QStringLiteral("primary") : color.name();
}

} // namespace

class MenuBarContentViewTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_home;
    std::unique_ptr<StateFixture> m_fixture;
    std::unique_ptr<AppState> m_state;
    std::unique_ptr<MenuBarContentView> m_view;

    // Where the tray icon is, for open(); the panel keeps 32 px from it.
    const QPoint icon{200, 100};

    std::unique_ptr<QSignalSpy> m_refreshesStarted;
    std::unique_ptr<QSignalSpy> m_refreshesDone;

    // Publishes these sources, then opens a panel over them.
    bool open(const QList<AccessoryReading>& accessories, std::optional<qint64> internal = {}) {
        m_fixture->setAccessories(accessories);
        m_fixture->setInternal(internal);
        if (!StateFixture::refreshAndWait(*m_state))
            return false;
        m_view = std::make_unique<MenuBarContentView>(*m_state);
        m_view->popup(icon, 32);
        // The opening's own refresh, done before the test changes the sources.
        return settle();
    }

    DeviceRow* row(const QString& id) const {
        for (DeviceRow* candidate : m_view->findChildren<DeviceRow*>())
            if (candidate->deviceID() == id)
                return candidate;
        return nullptr;
    }
    // The block shown right under the row of ID (8 px apart), if any.
    ComponentBlock* block(const QString& id) const {
        const DeviceRow* deviceRow = row(id);
        for (ComponentBlock* candidate : m_view->findChildren<ComponentBlock*>())
            if (candidate->isVisible() && deviceRow && candidate->y() == deviceRow->geometry().bottom() + 9)
                return candidate;
        return nullptr;
    }
    // Where a keyboard's keys go in an open popup.
    void press(Qt::Key key) {
        QWidget* target = m_view->focusWidget() ? m_view->focusWidget() : m_view.get();
        QTest::keyClick(target, key);
    }
    // Lets every refresh started so far finish, so none outlives its state.
    bool settle() {
        while (m_refreshesDone->size() < m_refreshesStarted->size())
            if (!m_refreshesDone->wait(5000))
                return false;
        return true;
    }

private Q_SLOTS:
    void initTestCase() { qputenv("XDG_STATE_HOME", QFile::encodeName(m_home.path())); }

    void init() {
        m_fixture = std::make_unique<StateFixture>();
        m_state = m_fixture->makeState();
        // Every refresh() records the Bluetooth permission at once.
        m_refreshesStarted =
            std::make_unique<QSignalSpy>(m_state.get(), &AppState::bluetoothPermissionDeniedChanged);
        m_refreshesDone = std::make_unique<QSignalSpy>(m_state.get(), &AppState::refreshCompleted);
    }

    void cleanup() {
        if (m_view && m_view->isVisible())
            m_view->close();
        m_view.reset();
        QVERIFY(settle());
        m_refreshesStarted.reset();
        m_refreshesDone.reset();
        m_state.reset();
        m_fixture.reset();
    }

    void statusText_data() {
        QTest::addColumn<std::optional<qint64>>("percent");
        QTest::addColumn<bool>("connected");
        QTest::addColumn<std::optional<qint64>>("override");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("tone");
        QTest::addColumn<bool>("semibold");
        QTest::addColumn<QString>("spoken");
        const std::optional<qint64> none;
        // The general threshold is 20 throughout.
        QTest::newRow("not connected with a percent")
            << std::optional<qint64>(5) << false << none << "Not connected"
            << "secondary" << false << "Desk Mouse, not connected";
        QTest::newRow("no percent") << none << true << none << "\u2014"
                                    << "secondary" << false << "Desk Mouse, charge unknown";
        QTest::newRow("at the threshold") << std::optional<qint64>(20) << true << none << "20%"
                                          << "primary" << false << "Desk Mouse, 20 percent";
        QTest::newRow("one below") << std::optional<qint64>(19) << true << none << "19%"
                                   << "red" << true << "Desk Mouse, 19 percent";
        QTest::newRow("below an override above the general threshold")
            << std::optional<qint64>(40) << true << std::optional<qint64>(50) << "40%"
            << "red" << true << "Desk Mouse, 40 percent";
        QTest::newRow("at that override")
            << std::optional<qint64>(50) << true << std::optional<qint64>(50) << "50%"
            << "primary" << false << "Desk Mouse, 50 percent";
        QTest::newRow("override of none")
            << std::optional<qint64>(3) << true << std::optional<qint64>(0) << "3%"
            << "primary" << false << "Desk Mouse, 3 percent";
    }

    void statusText() {
        QFETCH(std::optional<qint64>, percent);
        QFETCH(bool, connected);
        QFETCH(std::optional<qint64>, override);
        QFETCH(QString, text);
        m_state->setThreshold(20);
        if (override)
            m_state->setDeviceThresholdOverrides(
                {{"m1", DeviceThresholdOverride{"m1", "Desk Mouse", DeviceKind::mouse, double(*override)}}});
        QVERIFY(open({accessory("m1", "Desk Mouse", percent, connected)}));

        const DeviceRow* deviceRow = row("m1");
        QVERIFY(deviceRow);
        const auto* name = deviceRow->findChild<QLabel*>("deviceName");
        const auto* status = deviceRow->findChild<QLabel*>("deviceStatus");
        QCOMPARE(name->text(), "Desk Mouse");
        QCOMPARE(status->text(), text);
        QTEST(tone(status, m_view.get()), "tone");
        QTEST(status->font().weight() == QFont::DemiBold, "semibold");
        // The caption font is the only smaller one.
        QCOMPARE(status->font().pointSizeF() < name->font().pointSizeF(), !connected);
        QTEST(deviceRow->accessibleName(), "spoken");
        QVERIFY(!deviceRow->findChild<ChevronIndicator*>()->isVisible());
    }

    // On its charger a device below its threshold is not shown as low.
    void chargingRow() {
        m_state->setThreshold(20);
        AccessoryReading reading = accessory("m1", "Desk Mouse", 15);
        reading.isCharging = true;
        QVERIFY(open({reading}));
        const auto* status = row("m1")->findChild<QLabel*>("deviceStatus");
        QCOMPARE(status->text(), "15% \u26A1");
        QCOMPARE(tone(status, m_view.get()), "primary");
        QCOMPARE(row("m1")->accessibleName(), "Desk Mouse, 15 percent, charging");
    }

    void emptyList() {
        QVERIFY(open({}));
        const auto* empty = m_view->findChild<QLabel*>("emptyText");
        QVERIFY(empty->isVisible());
        QCOMPARE(empty->text(), "No battery-powered devices found");
        QCOMPARE(tone(empty, m_view.get()), "secondary");
        QVERIFY(m_view->findChildren<DeviceRow*>().isEmpty());
        QVERIFY(m_view->findChild<QWidget*>("divider")->isVisible());
        const auto* settings = m_view->findChild<QPushButton*>("settingsButton");
        const auto* quit = m_view->findChild<QPushButton*>("quitButton");
        QCOMPARE(settings->text(), "Settings\u2026");
        QCOMPARE(quit->text(), "Quit");
        // Settings at the left edge, Quit at the right, inside the padding.
        QCOMPARE(settings->x(), 12);
        QCOMPARE(quit->geometry().right(), m_view->width() - 13);
        QVERIFY(m_view->width() >= 220);
    }

    void componentBlock_data() {
        QTest::addColumn<Components>("components");
        QTest::addColumn<QStringList>("shown");
        // Threshold 30 from the device's override, above the general 20.
        QTest::newRow("left, right, case")
            << SystemProfilerBluetoothInfo::componentReadings(40, 12, std::nullopt).readings
            << QStringList{"Left earbud 40% secondary", "Right earbud 12% red", "Case \u2014 secondary"};
        QTest::newRow("the override, not the general threshold")
            << Components{{"left", "Left earbud", 25}} << QStringList{"Left earbud 25% red"};
        QTest::newRow("empty list") << Components{} << QStringList{};
    }

    void componentBlock() {
        QFETCH(Components, components);
        m_state->setDeviceThresholdOverrides(
            {{"e1", DeviceThresholdOverride{"e1", "Earbuds", DeviceKind::airpods, 30}}});
        QVERIFY(open({accessory("e1", "Earbuds", 50, true, components, DeviceKind::airpods)}));
        QVERIFY(row("e1")->findChild<ChevronIndicator*>()->isVisible());
        QVERIFY(!block("e1"));
        QTest::mouseClick(row("e1"), Qt::LeftButton);
        ComponentBlock* shownBlock = block("e1");
        QVERIFY(shownBlock);

        QStringList shown;
        for (const QWidget* componentRow : shownBlock->findChildren<QWidget*>("componentRow")) {
            const auto* label = componentRow->findChild<QLabel*>("componentLabel");
            const auto* percent = componentRow->findChild<QLabel*>("componentPercent");
            QCOMPARE(tone(label, m_view.get()), "secondary");
            QCOMPARE(percent->font().weight(), QFont::Normal);
            QCOMPARE(label->mapTo(m_view.get(), QPoint()).x(), 12 + 28);
            shown << label->text() + ' ' + percent->text() + ' ' + tone(percent, m_view.get());
        }
        QTEST(shown, "shown");
    }

    void folding_data() {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("unfolded");
        // A and B have components, C has none; "-" is nothing unfolded.
        QTest::newRow("click unfolds, again folds") << QStringList{"A", "A"} << QStringList{"A", "-"};
        QTest::newRow("one at a time") << QStringList{"A", "B"} << QStringList{"A", "B"};
        QTest::newRow("no components, no change") << QStringList{"A", "C"} << QStringList{"A", "A"};
        QTest::newRow("keyboard") << QStringList{"Down", "Space", "Down", "Return", "Up", "Space"}
                                  << QStringList{"-", "A", "A", "B", "B", "A"};
        QTest::newRow("keyboard, no components")
            << QStringList{"Up", "Space", "Escape"} << QStringList{"-", "-", "-"};
    }

    void folding() {
        QFETCH(QStringList, steps);
        QFETCH(QStringList, unfolded);
        const Components pair{{"left", "Left earbud", 60}, {"right", "Right earbud", 70}};
        QVERIFY(open({accessory("A", "Earbuds A", 60, true, pair),
                      accessory("B", "Earbuds B", 60, true, pair), accessory("C", "Desk Mouse", 50)}));
        const QHash<QString, Qt::Key> keys{
            {"Down", Qt::Key_Down}, {"Up", Qt::Key_Up}, {"Space", Qt::Key_Space}, {"Return", Qt::Key_Return}};
        for (qsizetype i = 0; i < steps.size(); ++i) {
            const QString& step = steps.at(i);
            if (keys.contains(step)) {
                press(keys.value(step));
            } else if (step == "Escape") {
                break;
            } else {
                // In the empty stretch between name and status: the whole row is the target.
                DeviceRow* target = row(step);
                const int gap = (target->findChild<QLabel*>("deviceName")->geometry().right() +
                                 target->findChild<QLabel*>("deviceStatus")->x()) /
                                2;
                QTest::mouseClick(target, Qt::LeftButton, {}, QPoint(gap, target->height() / 2));
            }
            const QString expected = unfolded.at(i);
            QCOMPARE(m_view->expandedDeviceID().value_or("-"), expected);
            for (const QString id : {"A", "B"}) {
                QCOMPARE(block(id) != nullptr, id == expected);
                QTRY_COMPARE(row(id)->findChild<ChevronIndicator*>()->angle(), id == expected ? 90.0 : 0.0);
            }
        }
    }

    void unfoldedDeviceSurvivesRefresh() {
        const Components pair{{"left", "Left earbud", 60}, {"right", "Right earbud", 70}};
        QVERIFY(open({accessory("A", "Earbuds", 60, true, pair)}));
        QTest::mouseClick(row("A"), Qt::LeftButton);
        // Components gone: no block, yet still the unfolded device.
        m_fixture->setAccessories({accessory("A", "Earbuds", 60, true)});
        QVERIFY(StateFixture::refreshAndWait(*m_state));
        QVERIFY(!block("A"));
        QCOMPARE(m_view->expandedDeviceID().value_or("-"), "A");
        m_fixture->setAccessories({accessory("A", "Earbuds", 60, true, pair)});
        QVERIFY(StateFixture::refreshAndWait(*m_state));
        QVERIFY(block("A"));
    }

    void refreshOnEachShowing() {
        QVERIFY(open({}));
        const qsizetype before = m_refreshesStarted->size();
        m_view->close();
        m_fixture->setAccessories({accessory("m1", "Desk Mouse", 50)});
        m_view->popup(QPoint(10, 10));
        QCOMPARE(m_refreshesStarted->size(), before + 1);
        // The list shown first is the old one; the refresh redraws it in place.
        QVERIFY(!row("m1"));
        QTRY_VERIFY(row("m1"));
        // Already open: no new showing.
        m_view->popup(QPoint(10, 10));
        QCOMPARE(m_refreshesStarted->size(), before + 1);
        m_view->close();
        m_view->show();
        QCOMPARE(m_refreshesStarted->size(), before + 2);
    }

    void debugLine_data() {
        QTest::addColumn<QList<AccessoryReading>>("accessories");
        QTest::addColumn<QString>("line");
        QTest::newRow("empty") << QList<AccessoryReading>{}
                               << "Voltwren [debug]: device panel shown: No battery-powered devices found";
        QTest::newRow("devices") << QList<AccessoryReading>{accessory("m1", "Desk Mouse", 15),
                                                            accessory("k1", "Desk Keyboard", 60, false),
                                                            accessory("p1", "Pen", std::nullopt)}
                                 << "Voltwren [debug]: device panel shown: Laptop 87%, Desk Mouse 15%, "
                                    "Desk Keyboard Not connected, Pen \u2014";
    }

    void debugLine() {
        QFETCH(QList<AccessoryReading>, accessories);
        const StdoutCapture capture;
        QVERIFY(open(accessories, accessories.isEmpty() ? std::nullopt : std::optional<qint64>(87)));
        const QStringList lines = capture.lines().filter("device panel shown");
        QTEST(lines.value(0), "line");
        QCOMPARE(lines.size(), 1);
    }

    void footer_data() {
        QTest::addColumn<QString>("trigger");
        QTest::addColumn<bool>("settings");
        QTest::newRow("Settings button") << "settingsButton" << true;
        QTest::newRow("Ctrl+,") << "Ctrl+," << true;
        QTest::newRow("Quit button") << "quitButton" << false;
        QTest::newRow("Ctrl+Q") << "Ctrl+Q" << false;
    }

    void footer() {
        QFETCH(QString, trigger);
        QFETCH(bool, settings);
        QVERIFY(open({}));
        QList<bool> settingsVisibleAt;
        connect(m_view.get(), &MenuBarContentView::settingsRequested, this,
                [&] { settingsVisibleAt << m_view->isVisible(); });
        QSignalSpy quit(m_view.get(), &MenuBarContentView::quitRequested);
        if (trigger.startsWith("Ctrl+"))
            QTest::keyClick(m_view.get(), trigger == "Ctrl+," ? Qt::Key_Comma : Qt::Key_Q,
                            Qt::ControlModifier);
        else
            QTest::mouseClick(m_view->findChild<QPushButton*>(trigger), Qt::LeftButton);
        // A shortcut clicks its button a moment later, as a click would look.
        QTRY_COMPARE(settingsVisibleAt.size() + quit.size(), 1);
        // Settings hears of it only once the panel has gone.
        QCOMPARE(settingsVisibleAt, settings ? QList<bool>{false} : QList<bool>{});
        QCOMPARE(quit.size(), settings ? 0 : 1);
    }

    void closeAndToggle_data() {
        QTest::addColumn<QString>("closeBy");
        QTest::addColumn<int>("pause"); // before the next activation
        QTest::addColumn<bool>("toggleReopens");
        QTest::newRow("Escape") << "Escape" << 0 << true;
        QTest::newRow("toggle") << "toggle" << 0 << true;
        // The click on the tray icon that closed it must not open it again.
        QTest::newRow("a press outside") << "outside" << 0 << false;
        QTest::newRow("a press outside, a while ago") << "outside" << 600 << true;
    }

    void closeAndToggle() {
        QFETCH(QString, closeBy);
        QFETCH(int, pause);
        QFETCH(bool, toggleReopens);
        QVERIFY(open({}));
        QElapsedTimer sinceClose;
        if (closeBy == "Escape")
            press(Qt::Key_Escape);
        else if (closeBy == "toggle")
            m_view->toggle(icon, 32);
        else
            QTest::mouseClick(m_view.get(), Qt::LeftButton, {}, m_view->mapFromGlobal(icon));
        sinceClose.start();
        QVERIFY(!m_view->isVisible());
        QTest::qWait(pause);
        m_view->toggle(icon, 32);
        if (!toggleReopens && pause == 0 &&
            sinceClose.elapsed() >= MenuBarContentView::reopenGuardMilliseconds)
            QSKIP("too slow a machine to click within the guard");
        QCOMPARE(m_view->isVisible(), toggleReopens);
        // The guard swallows one toggle only.
        if (!toggleReopens) {
            m_view->toggle(icon, 32);
            QVERIFY(m_view->isVisible());
        }
    }

    void placement_data() {
        QTest::addColumn<QPointF>("where"); // fractions of the screen's available area
        QTest::addColumn<bool>("above");
        QTest::addColumn<int>("clearance");
        QTest::newRow("top left corner") << QPointF(0, 0) << false << 0;
        QTest::newRow("top middle") << QPointF(0.5, 0.02) << false << 0;
        QTest::newRow("bottom right corner") << QPointF(1, 1) << true << 0;
        QTest::newRow("lower left") << QPointF(0.05, 0.9) << true << 0;
        // No work area here: the bar is on the screen, so the panel keeps off it.
        QTest::newRow("top middle, clear of the bar") << QPointF(0.5, 0.02) << false << 32;
        QTest::newRow("bottom right, clear of the bar") << QPointF(1, 1) << true << 32;
    }

    void placement() {
        QFETCH(QPointF, where);
        QFETCH(bool, above);
        QFETCH(int, clearance);
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        QCOMPARE(area, QGuiApplication::primaryScreen()->geometry());
        const QPoint anchor(area.left() + qRound(where.x() * (area.width() - 1)),
                            area.top() + qRound(where.y() * (area.height() - 1)));
        QVERIFY(open({accessory("m1", "Desk Mouse", 50)}));
        m_view->close();
        m_view->popup(anchor, clearance);
        const QRect panel = m_view->geometry();
        QVERIFY(area.contains(panel));
        QVERIFY(panel.left() <= anchor.x() && anchor.x() <= panel.right());
        QCOMPARE(above ? panel.bottom() + 1 : panel.top(),
                 above ? anchor.y() - clearance : anchor.y() + clearance);
        QCOMPARE(m_view->minimumSize(), m_view->maximumSize()); // floated by tiling compositors
    }

    void screenshots_data() {
        QTest::addColumn<bool>("dark");
        QTest::addColumn<qreal>("scale");
        QTest::addColumn<QString>("file");
        QTest::newRow("light") << false << 1.0 << "panel-light.png";
        QTest::newRow("dark") << true << 1.0 << "panel-dark.png";
        QTest::newRow("scale 2") << false << 2.0 << "panel-scale2.png";
    }

    void screenshots() {
        QFETCH(bool, dark);
        QFETCH(qreal, scale);
        QFETCH(QString, file);
        const auto buds = SystemProfilerBluetoothInfo::componentReadings(40, 12, 80);
        QVERIFY(open({accessory("AA:01", "Desk Mouse", 15),
                      accessory("AA:02", "Desk Keyboard", 64, false, {}, DeviceKind::keyboard),
                      accessory("AA:03", "Travel Earbuds", buds.overallPercent, true, buds.readings,
                                DeviceKind::airpods)},
                     87));
        // The light one the style gives; the dark one ours.
        m_view->setPalette(dark ? Style::darkPalette() : QApplication::style()->standardPalette());
        QTest::mouseClick(row("AA:03"), Qt::LeftButton);
        QTRY_COMPARE(row("AA:03")->findChild<ChevronIndicator*>()->angle(), 90.0);

        // Names and component labels all start at one x, past the icon column.
        QSet<int> textStarts;
        for (const QLabel* label : m_view->findChildren<QLabel*>())
            if (label->objectName() == "deviceName" || label->objectName() == "componentLabel")
                textStarts << label->mapTo(m_view.get(), QPoint()).x();
        QCOMPARE(textStarts, QSet<int>{12 + 28});
        QCOMPARE(tone(row("AA:03")->findChild<QLabel*>("deviceStatus"), m_view.get()), "red");

        QPixmap shot(m_view->size() * scale);
        shot.setDevicePixelRatio(scale);
        m_view->render(&shot);
        const QString path = QStringLiteral(VOLTWREN_SCREENSHOT_DIR "/") + file;
        QVERIFY(shot.save(path));
        qInfo("screenshot: %s", qPrintable(path));
    }
};

QTEST_MAIN(MenuBarContentViewTest)
#include "tst_menubarcontentview.moc"
