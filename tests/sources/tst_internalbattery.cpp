#include "sources/InternalBatteryReader.h"

#include <QTest>

using Descriptions = QList<QVariantMap>;
Q_DECLARE_METATYPE(Descriptions)

namespace {

QVariantMap source(const QVariant& transport, const QVariant& current, const QVariant& maximum) {
    QVariantMap map;
    if (transport.isValid())
        map.insert(QStringLiteral("Transport Type"), transport);
    if (current.isValid())
        map.insert(QStringLiteral("Current Capacity"), current);
    if (maximum.isValid())
        map.insert(QStringLiteral("Max Capacity"), maximum);
    return map;
}

QVariantMap internal(const QVariant& current, const QVariant& maximum, const char* unit = nullptr) {
    QVariantMap map = source(QStringLiteral("Internal"), current, maximum);
    if (unit)
        map.insert(QStringLiteral("Capacity Unit"), QString::fromLatin1(unit));
    return map;
}

} // namespace

class InternalBatteryTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void percent_data() {
        QTest::addColumn<Descriptions>("descriptions");
        QTest::addColumn<QVariant>("expected"); // invalid: nothing
        const QVariant nothing;
        const QString usb = QStringLiteral("USB");
        QTest::newRow("43 of 50") << Descriptions{internal(43, 50)} << QVariant(qint64(86));
        QTest::newRow("7 of 8 half up") << Descriptions{internal(7, 8)} << QVariant(qint64(88));
        QTest::newRow("1 of 8 half up") << Descriptions{internal(1, 8)} << QVariant(qint64(13));
        QTest::newRow("5 of 8 half not to even") << Descriptions{internal(5, 8)} << QVariant(qint64(63));
        QTest::newRow("2 of 3") << Descriptions{internal(2, 3)} << QVariant(qint64(67));
        QTest::newRow("64-bit values")
            << Descriptions{internal(qint64(3) << 40, qint64(4) << 40)} << QVariant(qint64(75));
        QTest::newRow("above maximum") << Descriptions{internal(120, 100)} << QVariant(qint64(100));
        QTest::newRow("huge current")
            << Descriptions{internal(std::numeric_limits<qint64>::max(), 1)} << QVariant(qint64(100));
        QTest::newRow("negative") << Descriptions{internal(-5, 100)} << QVariant(qint64(0));
        QTest::newRow("maximum 0") << Descriptions{internal(0, 0)} << nothing;
        QTest::newRow("maximum negative") << Descriptions{internal(5, -10)} << nothing;
        QTest::newRow("maximum not integer") << Descriptions{internal(43, 50.0)} << nothing;
        QTest::newRow("maximum text") << Descriptions{internal(43, QStringLiteral("50"))} << nothing;
        QTest::newRow("maximum missing") << Descriptions{internal(43, nothing)} << nothing;
        QTest::newRow("current not integer") << Descriptions{internal(43.0, 50)} << nothing;
        QTest::newRow("current missing") << Descriptions{internal(nothing, 50)} << nothing;
        QTest::newRow("only USB") << Descriptions{source(usb, 43, 50)} << nothing;
        QTest::newRow("USB then internal")
            << Descriptions{source(usb, 10, 100), internal(43, 50)} << QVariant(qint64(86));
        QTest::newRow("transport case differs")
            << Descriptions{source(QStringLiteral("internal"), 43, 50)} << nothing;
        QTest::newRow("transport not text")
            << Descriptions{source(QByteArray("Internal"), 43, 50)} << nothing;
        QTest::newRow("no transport") << Descriptions{source(nothing, 43, 50)} << nothing;
        QTest::newRow("every passing source counts")
            << Descriptions{internal(1, 0), internal(30, 100), internal(90, 100)} << QVariant(qint64(60));
        QTest::newRow("two batteries, total energy")
            << Descriptions{internal(48000000, 60000000, "energy"), internal(1500000, 60000000, "energy")}
            << QVariant(qint64(41));
        QTest::newRow("two units weigh the same")
            << Descriptions{internal(48000000, 60000000, "energy"), internal(1000, 10000, "charge")}
            << QVariant(qint64(45));
        QTest::newRow("empty description") << Descriptions{QVariantMap()} << nothing;
        QTest::newRow("empty list") << Descriptions{} << nothing;
    }
    void percent() {
        QFETCH(Descriptions, descriptions);
        QFETCH(QVariant, expected);
        const std::optional<qint64> result = internalBatteryPercent(descriptions);
        QCOMPARE(result.has_value(), expected.isValid());
        if (result)
            QCOMPARE(*result, expected.toLongLong());
    }
};

QTEST_GUILESS_MAIN(InternalBatteryTest)
#include "tst_internalbattery.moc"
