#include "AppState.h"
#include "StateDoubles.h"
#include "TestBundle.h"
#include "Xvfb.h"
#include "history/ChargeHistory.h"
#include "platform/Workspace.h"
#include "platform/linux/SqliteChargeStore.h"
#include "sources/SystemProfilerBluetoothInfo.h"
#include "ui/DeviceRow.h"
#include "ui/HistoryWindowController.h"
#include "ui/MenuBarContentView.h"
#include "ui/SettingsWindowController.h"
#include "ui/Style.h"
#include "ui/ThresholdPicker.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QScreen>
#include <QSignalSpy>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>

namespace {

constexpr qint64 hour = 3600 * 1000;
using AccessoryReading = BluetoothBatteryReader::AccessoryReading;

class IgnoringWorkspace final : public Workspace {
public:
    bool openUrl(const QUrl&) override { return true; }
    bool openFolder(const QString&) override { return true; }
    bool openSystemSettings(Page) override { return true; }
};

// A mouse running down over a week, and earbuds with their case.
QList<ChargePoint> aWeek(qint64 now) {
    QList<ChargePoint> points;
    for (int step = 0; step <= 6; ++step)
        points.append({"mouse", "Desk Mouse", DeviceKind::mouse, now - (156 - 25 * step) * hour,
                       100 - 10 * step, true});
    for (qint64 h = 150; h >= 0; h -= 6)
        points.append(
            {"earbuds", "Travel Earbuds", DeviceKind::headphones, now - h * hour, 100 - (h % 24) * 3, true});
    return points;
}

// Texts cut off in WINDOW: a one-line label or a button narrower than its
// text, a wrapped label shorter than its lines.
QStringList clipped(const QWidget* window) {
    QStringList found;
    for (const QLabel* label : window->findChildren<QLabel*>()) {
        if (!label->isVisibleTo(window) || label->text().isEmpty() || !label->pixmap().isNull())
            continue;
        const bool cut = label->wordWrap() ? label->height() < label->heightForWidth(label->width())
                                           : label->width() < label->minimumSizeHint().width();
        if (cut)
            found << label->text();
    }
    for (const QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
        if (button->isVisibleTo(window) && !button->text().isEmpty() &&
            button->width() < button->sizeHint().width())
            found << button->text();
    }
    return found;
}

} // namespace

// The panel, settings and history windows in the longest languages, on a
// 1280 × 800 X server, light and dark: every text whole, and screenshots.
class TranslatedViewsTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_home;

private Q_SLOTS:
    void initTestCase() { qputenv("XDG_STATE_HOME", QFile::encodeName(m_home.path())); }

    void wholeTexts_data() {
        QTest::addColumn<QString>("language");
        QTest::addColumn<bool>("dark");
        QTest::addColumn<QString>("expected"); // the settings' first section, translated
        QTest::newRow("de light") << "de" << false << "Schwelle für schwachen Akku";
        QTest::newRow("de dark") << "de" << true << "Schwelle für schwachen Akku";
        QTest::newRow("fr light") << "fr" << false << "Seuil de batterie faible";
        QTest::newRow("fr dark") << "fr" << true << "Seuil de batterie faible";
    }
    void wholeTexts() {
        QFETCH(QString, language);
        QFETCH(bool, dark);
        QFETCH(QString, expected);
        QCOMPARE(QGuiApplication::primaryScreen()->geometry(), QRect(0, 0, 1280, 800));
        QTranslator translator;
        QVERIFY(translator.load(QStringLiteral(VOLTWREN_STAGE_DIR "/share/voltwren/translations/voltwren_") +
                                language + QStringLiteral(".qm")));
        QCoreApplication::installTranslator(&translator);
        // As the programs have it from LANG: numbers and dates of the language.
        QLocale::setDefault(QLocale(language));
        const QPalette palette = dark ? Style::darkPalette() : QApplication::style()->standardPalette();
        QApplication::setPalette(palette);
        const QString suffix =
            QLatin1Char('-') + language + (dark ? QStringLiteral("-dark") : QStringLiteral("-light"));

        const QString path = m_home.path() + QStringLiteral("/history-") + suffix + QStringLiteral(".sqlite");
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        {
            SqliteChargeStore seed(path, ChargeStore::Access::readWrite);
            QVERIFY(seed.open() && seed.append(aWeek(now)));
        }
        ChargeHistory history([path] { return makeChargeStore(path, ChargeStore::Access::readWrite); });
        QSignalSpy loaded(&history, &ChargeHistory::loaded);
        history.open();
        QVERIFY(loaded.wait());
        StateFixture fixture;
        fixture.history = &history;
        const auto buds = SystemProfilerBluetoothInfo::componentReadings(40, 12, 80);
        fixture.setAccessories(
            {{"mouse", "Desk Mouse", DeviceKind::mouse, 40, true, std::nullopt},
             {"keyboard", "Desk Keyboard", DeviceKind::keyboard, std::nullopt, false, std::nullopt},
             {"earbuds", "Travel Earbuds", DeviceKind::airpods, buds.overallPercent, true, buds.readings}});
        fixture.setInternal(87, true);
        const std::unique_ptr<AppState> state = fixture.makeState();
        state->setSendNotifications(true);
        state->setRemindIntervalHours(1);
        QVERIFY(StateFixture::refreshAndWait(*state));

        MenuBarContentView panel(*state);
        panel.setPalette(palette);
        panel.popup(QPoint(1212, 0), 32);
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        for (DeviceRow* row : panel.findChildren<DeviceRow*>()) {
            if (row->deviceID() == QLatin1String("earbuds"))
                QTest::mouseClick(row, Qt::LeftButton); // shows its components
        }
        QTest::qWait(400);
        QVERIFY2(clipped(&panel).isEmpty(), qPrintable(clipped(&panel).join(QLatin1Char('\n'))));
        QVERIFY(panel.grab().save(QStringLiteral(VOLTWREN_SCREENSHOT_DIR "/panel") + suffix +
                                  QStringLiteral(".png")));
        panel.close();

        IgnoringWorkspace workspace;
        TestBundle bundle;
        bundle.info = {{"CFBundleName", "Voltwren"}, {"CFBundleShortVersionString", "1.4.2"}};
        SettingsWindowController settings({&workspace, nullptr, &bundle});
        settings.show(*state);
        QWidget* window = settings.window();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QTest::qWait(200);
        bool found = false;
        for (const QLabel* label : window->findChildren<QLabel*>())
            found = found || label->text() == expected;
        QVERIFY(found);
        QVERIFY2(clipped(window).isEmpty(), qPrintable(clipped(window).join(QLatin1Char('\n'))));
        QVERIFY(window->grab().save(QStringLiteral(VOLTWREN_SCREENSHOT_DIR "/settings") + suffix +
                                    QStringLiteral(".png")));
        window->close();

        HistoryWindowController controller(QStringLiteral(VOLTWREN_STAGE_LIBEXECDIR "/history-window.so"));
        controller.show(*state);
        QWidget* chart = controller.window();
        QVERIFY(chart);
        QVERIFY(QTest::qWaitForWindowExposed(chart));
        QTest::qWait(400);
        QVERIFY2(clipped(chart).isEmpty(), qPrintable(clipped(chart).join(QLatin1Char('\n'))));
        QVERIFY(chart->grab().save(QStringLiteral(VOLTWREN_SCREENSHOT_DIR "/history") + suffix +
                                   QStringLiteral(".png")));
        chart->close();
        QCoreApplication::removeTranslator(&translator);
        QLocale::setDefault(QLocale::c());
    }

    // As -reverse sets it for a right-to-left language: the rows mirror.
    void mirrorsRightToLeft() {
        QApplication::setLayoutDirection(Qt::RightToLeft);
        QApplication::setPalette(QApplication::style()->standardPalette());
        StateFixture fixture;
        fixture.setAccessories({{"mouse", "Desk Mouse", DeviceKind::mouse, 40, true, std::nullopt}});
        const std::unique_ptr<AppState> state = fixture.makeState();
        QVERIFY(StateFixture::refreshAndWait(*state));
        MenuBarContentView panel(*state);
        panel.popup(QPoint(1212, 0), 32);
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        const QLabel* name = panel.findChild<QLabel*>("deviceName");
        const QLabel* status = panel.findChild<QLabel*>("deviceStatus");
        QVERIFY(name && status);
        QVERIFY(status->mapTo(&panel, QPoint()).x() < name->mapTo(&panel, QPoint()).x());
        QVERIFY(panel.grab().save(QStringLiteral(VOLTWREN_SCREENSHOT_DIR "/panel-rtl.png")));

        IgnoringWorkspace workspace;
        TestBundle bundle;
        SettingsWindowController settings({&workspace, nullptr, &bundle});
        settings.show(*state);
        QWidget* window = settings.window();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        const QWidget* picker = window->findChild<ThresholdPicker*>();
        const QLabel* title = nullptr;
        for (const QLabel* label : window->findChildren<QLabel*>())
            title = label->text() == QLatin1String("General threshold") ? label : title;
        QVERIFY(picker && title);
        QVERIFY(picker->mapTo(window, QPoint()).x() < title->mapTo(window, QPoint()).x());
        QVERIFY(window->grab().save(QStringLiteral(VOLTWREN_SCREENSHOT_DIR "/settings-rtl.png")));
        window->close();
        QApplication::setLayoutDirection(Qt::LeftToRight);
    }
};

int main(int argc, char** argv) {
    Xvfb x;
    if (!x.isValid()) {
        qWarning("Xvfb did not start");
        return 1;
    }
    qputenv("DISPLAY", x.display().toLocal8Bit());
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication application(argc, argv);
    TranslatedViewsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_translatedviews.moc"
