#include "history/TimeLeftEstimate.h"

#include <QDateTime>
#include <QTest>

#include <optional>

namespace {

constexpr qint64 hour = 3600 * 1000;
const qint64 start = QDateTime(QDate(2026, 3, 1), QTime(8, 0), Qt::UTC).toMSecsSinceEpoch();

// Readings as (hours from the start, percent); a negative percent is none.
using Readings = QList<std::pair<double, qint64>>;
// Hours until the threshold and until empty.
using Expected = std::optional<std::pair<double, double>>;

QList<ChargePoint> points(const Readings& readings) {
    QList<ChargePoint> list;
    for (const auto& [hours, percent] : readings)
        list.append(ChargePoint{"AA:BB:CC:DD:EE:01", "Desk Mouse", DeviceKind::mouse,
                                start + static_cast<qint64>(hours * hour),
                                percent < 0 ? std::nullopt : std::optional<qint64>(percent), true});
    return list;
}

} // namespace

Q_DECLARE_METATYPE(Readings)
Q_DECLARE_METATYPE(Expected)
Q_DECLARE_METATYPE(TimeLeft)

class TimeLeftEstimateTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void estimate_data() {
        QTest::addColumn<Readings>("readings");
        QTest::addColumn<double>("nowHours");
        QTest::addColumn<double>("threshold");
        QTest::addColumn<Expected>("expected");
        const Expected none;

        Readings steady;
        for (int h = 0; h <= 10; ++h)
            steady.append({h, 100 - 2 * h});
        QTest::newRow("steady drain of 2% an hour") << steady << 10.0 << 20.0 << Expected({30, 40});
        // 1% an hour, reported in 10% steps: the fit finds the true drain.
        const Readings steps{{0, 100}, {10, 90}, {20, 80}, {30, 70}, {40, 60}};
        QTest::newRow("10% steps") << steps << 45.0 << 20.0 << Expected({35, 55});
        QTest::newRow("readings in any order")
            << Readings{steps.rbegin(), steps.rend()} << 45.0 << 20.0 << Expected({35, 55});
        // Only what follows the charge counts: half a percent an hour.
        QTest::newRow("drain interrupted by a charge")
            << Readings{{0, 80}, {5, 60}, {10, 40}, {11, 70}, {12, 100}, {22, 95}, {32, 90}, {42, 85}} << 42.0
            << 20.0 << Expected({130, 170});
        // A reading held far longer than the first drop allows: a slower drain.
        QTest::newRow("long hold") << Readings{{0, 100}, {3.5, 95}, {7, 90}} << 55.0 << 20.0
                                   << Expected({612.375, 788.918});
        QTest::newRow("already below the threshold")
            << Readings{{0, 40}, {4, 30}, {8, 20}, {12, 10}} << 12.0 << 20.0 << Expected({0, 4});
        QTest::newRow("no threshold") << steady << 10.0 << 0.0 << Expected({40, 40});

        QTest::newRow("too little data: under six hours")
            << Readings{{0, 100}, {2, 90}, {5, 80}} << 8.0 << 20.0 << none;
        QTest::newRow("too little data: two levels")
            << Readings{{0, 100}, {5, 95}, {10, 95}} << 20.0 << 20.0 << none;
        QTest::newRow("too little data: one reading") << Readings{{0, 100}} << 20.0 << 20.0 << none;
        QTest::newRow("flat") << Readings{{0, 80}, {10, 80}, {20, 80}} << 20.0 << 20.0 << none;
        QTest::newRow("rise") << Readings{{0, 50}, {5, 40}, {10, 30}, {11, 60}} << 11.0 << 20.0 << none;
        QTest::newRow("charging") << Readings{{0, 20}, {3, 50}, {6, 80}, {7, 90}} << 7.0 << 20.0 << none;
        QTest::newRow("unknown charges are left out")
            << Readings{{0, 100}, {2, -1}, {4, 90}, {8, 80}} << 8.0 << 20.0 << Expected({24, 32});
    }
    void estimate() {
        QFETCH(Readings, readings);
        QFETCH(double, nowHours);
        QFETCH(double, threshold);
        QFETCH(Expected, expected);
        const std::optional<TimeLeft> left = TimeLeftEstimate::estimate(
            points(readings), threshold, start + static_cast<qint64>(nowHours * hour));
        QCOMPARE(left.has_value(), expected.has_value());
        if (!left)
            return;
        QVERIFY(left->percentPerHour < 0);
        QCOMPARE(left->threshold, threshold);
        const double toThreshold = static_cast<double>(left->secondsUntilThreshold) / 3600.0;
        const double toEmpty = static_cast<double>(left->secondsUntilEmpty) / 3600.0;
        QVERIFY2(qAbs(toThreshold - expected->first) < 0.01,
                 qPrintable(QString("until the threshold: %1 h").arg(toThreshold)));
        QVERIFY2(qAbs(toEmpty - expected->second) < 0.01,
                 qPrintable(QString("until empty: %1 h").arg(toEmpty)));
    }

    void sentence_data() {
        QTest::addColumn<TimeLeft>("left");
        QTest::addColumn<QString>("text");
        QTest::newRow("days") << TimeLeft{20, 3 * 86400 + 4000, 4 * 86400} << "Reaches 20% in about 3 days";
        QTest::newRow("hours") << TimeLeft{20, 5 * 3600 - 100, 9 * 3600} << "Reaches 20% in about 5 hours";
        QTest::newRow("a day and a bit")
            << TimeLeft{10, 30 * 3600, 40 * 3600} << "Reaches 10% in about 30 hours";
        QTest::newRow("one hour") << TimeLeft{20, 3600, 7200} << "Reaches 20% in about 1 hour";
        QTest::newRow("soon") << TimeLeft{20, 1200, 7200} << "Reaches 20% in less than an hour";
        QTest::newRow("below the threshold") << TimeLeft{20, 0, 7 * 3600} << "Reaches 0% in about 7 hours";
        QTest::newRow("no threshold") << TimeLeft{0, 5 * 86400, 5 * 86400} << "Reaches 0% in about 5 days";
    }
    void sentence() {
        QFETCH(TimeLeft, left);
        QFETCH(QString, text);
        QCOMPARE(TimeLeftEstimate::sentence(left), text);
    }
};

QTEST_GUILESS_MAIN(TimeLeftEstimateTest)
#include "tst_timeleftestimate.moc"
