#include "StdoutCapture.h"
#include "sources/HIDBatteryReader.h"

#include <QTest>

using namespace HIDBatteryReader;
using Entry = PowerSupplies::RegistryEntry;
using Entries = QList<Entry>;
using Readings = QList<Reading>;
Q_DECLARE_METATYPE(Entries)
Q_DECLARE_METATYPE(Readings)

namespace {

const QByteArray deskAddress = QByteArray::fromHex("AABBCC0D0E0F");

class FakeSupplies final : public PowerSupplies {
public:
    int error = 0;
    Entries entries;
    int registryEntries(Entries& out) const override {
        out = entries;
        return error;
    }
    QList<QVariantMap> powerSourceDescriptions() const override { return {}; }
    int deviceBatteries(QList<DeviceBattery>&) const override { return 0; }
};

} // namespace

namespace QTest {
template <> char* toString(const Reading& reading) {
    return qstrdup(QStringLiteral("%1=%2 %3")
                       .arg(reading.name)
                       .arg(reading.percent)
                       .arg(reading.address.value_or(QStringLiteral("-")))
                       .toUtf8()
                       .constData());
}
} // namespace QTest

class HIDBatteryReaderTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void readings_data() {
        QTest::addColumn<Entries>("entries");
        QTest::addColumn<Readings>("expected");
        const QVariant none;
        const QString unknown = QStringLiteral("Unknown Accessory");
        QTest::newRow("full entry") << Entries{{qint64(42), QStringLiteral("Desk Mouse"), deskAddress}}
                                    << Readings{{"Desk Mouse", 42, QStringLiteral("AA:BB:CC:0D:0E:0F")}};
        QTest::newRow("no product") << Entries{{qint64(100), none, none}} << Readings{{unknown, 100, {}}};
        QTest::newRow("product not text")
            << Entries{{0, QByteArray("Desk Mouse"), none}} << Readings{{unknown, 0, {}}};
        QTest::newRow("101 and -1 skipped")
            << Entries{{qint64(101), none, none}, {qint64(-1), none, none}} << Readings{};
        QTest::newRow("whole double") << Entries{{42.0, none, none}} << Readings{{unknown, 42, {}}};
        QTest::newRow("fractional double") << Entries{{42.5, none, none}} << Readings{};
        QTest::newRow("not finite") << Entries{{qQNaN(), none, none}, {qInf(), none, none}} << Readings{};
        QTest::newRow("text number") << Entries{{QStringLiteral("42"), none, none}} << Readings{};
        QTest::newRow("boolean") << Entries{{true, none, none}} << Readings{};
        QTest::newRow("unsigned too large") << Entries{{qulonglong(-1), none, none}} << Readings{};
        QTest::newRow("missing") << Entries{{none, QStringLiteral("Desk Mouse"), deskAddress}} << Readings{};
        QTest::newRow("address 5 and 8 bytes")
            << Entries{{qint64(5), none, deskAddress.left(5)}, {qint64(8), none, deskAddress + "\x01\x02"}}
            << Readings{{unknown, 5, {}}, {unknown, 8, {}}};
        QTest::newRow("address as text")
            << Entries{{qint64(7), none, QStringLiteral("AA:BB:CC:0D:0E:0F")}} << Readings{{unknown, 7, {}}};
        QTest::newRow("order and repeats kept") << Entries{{qint64(3), QStringLiteral("B"), none},
                                                           {none, none, none},
                                                           {qint64(1), QStringLiteral("A"), none},
                                                           {qint64(3), QStringLiteral("B"), none}}
                                                << Readings{{"B", 3, {}}, {"A", 1, {}}, {"B", 3, {}}};
    }
    void readings() {
        QFETCH(Entries, entries);
        QFETCH(Readings, expected);
        QCOMPARE(HIDBatteryReader::readings(entries), expected);
    }

    void summaryLine_data() {
        QTest::addColumn<qsizetype>("checked");
        QTest::addColumn<Readings>("readings");
        QTest::addColumn<QString>("expected");
        const QString prefix = QStringLiteral("Voltwren [debug]: full IOService registry scan checked ");
        QTest::newRow("none") << qsizetype(12) << Readings{}
                              << prefix + "12 entries, found 0 with BatteryPercent: []";
        QTest::newRow("two") << qsizetype(3)
                             << Readings{{"Desk Mouse", 42, QStringLiteral("AA:BB:CC:0D:0E:0F")},
                                         {"Unknown Accessory", 100, {}}}
                             << prefix +
                                    "3 entries, found 2 with BatteryPercent: "
                                    "[\"Desk Mouse=42% [AA:BB:CC:0D:0E:0F]\", \"Unknown Accessory=100%\"]";
        QTest::newRow("escapes") << qsizetype(1) << Readings{{"Say \"hi\" \\ now\nnext\x01", 5, {}}}
                                 << prefix + "1 entries, found 1 with BatteryPercent: "
                                             "[\"Say \\\"hi\\\" \\\\ now\\nnext\\u{1}=5%\"]";
    }
    void summaryLine() {
        QFETCH(qsizetype, checked);
        QFETCH(Readings, readings);
        QFETCH(QString, expected);
        QCOMPARE(HIDBatteryReader::summaryLine(checked, readings), expected);
    }

    void scanPrintsSummary() {
        FakeSupplies supplies;
        supplies.entries = {{qint64(42), QStringLiteral("Desk Mouse"), deskAddress},
                            {qint64(101), none(), none()},
                            {none(), none(), none()}};
        Readings result;
        QStringList lines;
        {
            StdoutCapture capture;
            result = scanRegistry(supplies);
            lines = capture.lines();
        }
        QCOMPARE(result, (Readings{{"Desk Mouse", 42, QStringLiteral("AA:BB:CC:0D:0E:0F")}}));
        QCOMPARE(lines,
                 QStringList{"Voltwren [debug]: full IOService registry scan checked 3 entries, found 1 "
                             "with BatteryPercent: [\"Desk Mouse=42% [AA:BB:CC:0D:0E:0F]\"]"});
    }

    void scanFailurePrintsCode() {
        FakeSupplies supplies;
        supplies.error = 13;
        supplies.entries = {{qint64(42), none(), none()}};
        Readings result;
        QStringList lines;
        {
            StdoutCapture capture;
            result = scanRegistry(supplies);
            lines = capture.lines();
        }
        QVERIFY(result.isEmpty());
        QCOMPARE(lines,
                 QStringList{"Voltwren [debug]: listing the kernel's power supplies failed with result 13"});
    }

private:
    static QVariant none() { return {}; }
};

QTEST_GUILESS_MAIN(HIDBatteryReaderTest)
#include "tst_hidbatteryreader.moc"
