#include "AppState.h"
#include "StateDoubles.h"
#include "history/ChargeHistory.h"
#include "platform/linux/SqliteChargeStore.h"
#include "ui/DeviceRow.h"
#include "ui/HistoryWindowController.h"
#include "ui/MenuBarContentView.h"
#include "ui/Style.h"

#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QMessageBox>
#include <QSignalSpy>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr qint64 hour = 3600 * 1000;
using AccessoryReading = BluetoothBatteryReader::AccessoryReading;

// A week of three devices: a mouse that reports in 10% steps, a keyboard in
// 1% steps charged three days ago, earbuds charged every morning.
QList<ChargePoint> aWeek(qint64 now) {
    QList<ChargePoint> points;
    const auto add = [&points](const char* id, const char* name, DeviceKind kind, qint64 time,
                               qint64 percent) {
        points.append(ChargePoint{id, name, kind, time, percent, true});
    };
    for (int step = 0; step <= 6; ++step)
        add("mouse", "Desk Mouse", DeviceKind::mouse, now - (156 - 25 * step) * hour, 100 - 10 * step);
    for (qint64 h = 168; h >= 72; h -= 5)
        add("keyboard", "Keyboard", DeviceKind::keyboard, now - h * hour, 55 - (168 - h) / 5);
    for (qint64 h = 70; h >= 0; h -= 5)
        add("keyboard", "Keyboard", DeviceKind::keyboard, now - h * hour, 100 - (70 - h) / 5);
    for (int day = 6; day >= 0; --day) {
        for (int used = 0; used <= (day == 0 ? 3 : 6); ++used)
            add("earbuds", "Travel Earbuds", DeviceKind::headphones, now - (day * 24 + 5 - used) * hour,
                100 - 10 * used);
    }
    return points;
}

QList<AccessoryReading> listed(qint64 mouse) {
    return {{"mouse", "Desk Mouse", DeviceKind::mouse, mouse, true, std::nullopt},
            {"keyboard", "Keyboard", DeviceKind::keyboard, 86, true, std::nullopt},
            // A tab in a name from the device shows as a space.
            {"earbuds", "Travel\tEarbuds", DeviceKind::headphones, 70, true, std::nullopt}};
}

QWidget* plot(QWidget* window) {
    return window->findChild<QWidget*>(QStringLiteral("chartView"));
}

// The points of each stroke drawn in STYLE ("solid", "dash", "dot").
QList<QList<QPointF>> lines(QWidget* window, const QString& style) {
    QList<QList<QPointF>> found;
    for (const QVariant& stroke : plot(window)->property("strokes").toList()) {
        const QVariantMap drawn = stroke.toMap();
        if (drawn.value("style") != style)
            continue;
        QList<QPointF> points;
        for (const QVariant& point : drawn.value("points").toList())
            points.append(point.toPointF());
        found.append(points);
    }
    return found;
}

qsizetype pixelsNear(const QImage& image, QRgb color) {
    qsizetype count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            count += std::abs(qRed(pixel) - qRed(color)) + std::abs(qGreen(pixel) - qGreen(color)) +
                         std::abs(qBlue(pixel) - qBlue(color)) <
                     40;
        }
    }
    return count;
}

QStringList legend(QWidget* window) {
    return plot(window)->property("legend").toStringList();
}

} // namespace

// The record as a user sees it: the estimate in the panel's tooltips, and
// the history window (from its module) with a line per device.
class HistoryWindowTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_home;

private Q_SLOTS:
    void initTestCase() { qputenv("XDG_STATE_HOME", QFile::encodeName(m_home.path())); }

    void weekOfThreeDevices() {
        const QString path = m_home.path() + "/history.sqlite";
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
        fixture.setAccessories(listed(40));
        const std::unique_ptr<AppState> state = fixture.makeState();
        state->setDeviceThresholdOverrides(
            {{"keyboard", DeviceThresholdOverride{"keyboard", "Keyboard", DeviceKind::keyboard, 30}}});
        QVERIFY(StateFixture::refreshAndWait(*state));

        // The panel: a row's tooltip says how long is left, where it is known.
        MenuBarContentView panel(*state);
        QHash<QString, QString> tooltips;
        for (const DeviceRow* row : panel.findChildren<DeviceRow*>())
            tooltips.insert(row->deviceID(), row->toolTip());
        QCOMPARE(tooltips.value("mouse"), "Reaches 20% in about 2 days");
        QCOMPARE(tooltips.value("keyboard"), "Reaches 30% in about 12 days");
        QCOMPARE(tooltips.value("earbuds"), QString()); // only three hours since its charge

        HistoryWindowController controller(QStringLiteral(VOLTWREN_STAGE_LIBEXECDIR "/history-window.so"));
        controller.show(*state);
        QWidget* window = controller.window();
        QVERIFY(window);
        window->setPalette(QApplication::style()->standardPalette());
        QTRY_COMPARE(legend(window),
                     (QStringList{"Desk Mouse: reaches 20% in about 2 days",
                                  "Keyboard: reaches 30% in about 12 days", "Travel Earbuds"}));
        QList<qreal> thresholds;
        for (const QList<QPointF>& line : lines(window, "dash"))
            thresholds << line.at(0).y();
        QCOMPARE(thresholds, (QList<qreal>{20, 30, 20}));
        QCOMPARE(lines(window, "dot").size(), 2); // the two estimates
        const QImage light = window->grab().toImage();
        QVERIFY(light.save(VOLTWREN_SCREENSHOT_DIR "/history-light.png"));
        // Each device's line is on screen in its own colour, not only its legend swatch.
        for (const QRgb color : {0x1c71d8u, 0xe66100u, 0x26a269u})
            QVERIFY2(pixelsNear(light, color) > 500, qPrintable(QString::number(color, 16)));
        window->setPalette(Style::darkPalette());
        QVERIFY(window->grab().save(VOLTWREN_SCREENSHOT_DIR "/history-dark.png"));

        // A new reading is drawn as it is kept.
        fixture.setAccessories(listed(30));
        QVERIFY(StateFixture::refreshAndWait(*state));
        QTRY_COMPARE(lines(window, "solid").constFirst().constLast().y(), 30.0);

        // Thirty days: the axis goes back a month.
        window->findChild<QComboBox*>()->setCurrentIndex(1);
        QTRY_VERIFY(plot(window)->property("axisStart").toLongLong() <= now - 30 * 24 * hour);

        // Closing lets the window go; the next one is made afresh.
        window->close();
        QTRY_VERIFY(!controller.window());
    }

    // Without its module the program says so, and runs on.
    void missingModule() {
        StateFixture fixture;
        const std::unique_ptr<AppState> state = fixture.makeState();
        HistoryWindowController controller(m_home.path() + "/no-such-module.so");
        controller.show(*state);
        QVERIFY(!controller.window());
        QMessageBox* box = nullptr;
        for (QWidget* widget : QApplication::topLevelWidgets())
            box = widget->isVisible() && qobject_cast<QMessageBox*>(widget)
                      ? qobject_cast<QMessageBox*>(widget)
                      : box;
        QVERIFY(box);
        QCOMPARE(box->text(), "The charge history cannot be shown.");
        QVERIFY2(box->informativeText().contains("no-such-module.so"), qPrintable(box->informativeText()));
        delete box;
    }
};

QTEST_MAIN(HistoryWindowTest)
#include "tst_historywindow.moc"
