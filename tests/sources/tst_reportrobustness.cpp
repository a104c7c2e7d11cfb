#include "TestBundle.h"
#include "sources/SystemProfilerBluetoothInfo.h"

#include <QRandomGenerator>
#include <QTest>

using namespace SystemProfilerBluetoothInfo;

// Random and mutated reports must never crash the parser, and what comes out
// must still obey the heading rules.
class ReportRobustnessTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void randomAndMutatedReports() {
        const QStringList fragments{"Bluetooth:",
                                    "      Connected:",
                                    "      Not Connected:",
                                    "          Earbuds Pro:",
                                    "Address: ",
                                    "Vendor ID: 0x",
                                    "Product ID: ",
                                    "Battery Level: ",
                                    "Left Battery Level: ",
                                    "Case Battery Level: ",
                                    "RSSI: -",
                                    "Minor Type: ",
                                    "%",
                                    ":",
                                    ": ",
                                    " ",
                                    "\t",
                                    "0x004C",
                                    "99999999999999999999",
                                    "-",
                                    "\r\n",
                                    "\n",
                                    "\r",
                                    "\v",
                                    "\f",
                                    QString(QChar(0x2028)),
                                    QString(QChar(0x0085)),
                                    QString(QChar(0x00a0)),
                                    QString(QChar(0xfffd)),
                                    QString(QChar(0)),
                                    "Bluetooth Controller:",
                                    "7"};
        QRandomGenerator random(20261207);
        qsizetype devices = 0;
        for (int round = 0; round < 5000; ++round) {
            QString report;
            const QStringList breaks{"\n", "\r\n", "\r", QString(QChar(0x2028)), "\v"};
            if (random.bounded(2) == 0)
                report += QStringLiteral("  Connected:\n");
            const int lineCount = random.bounded(1, 40);
            for (int line = 0; line < lineCount; ++line) {
                report += QString(random.bounded(0, 16), QLatin1Char(' '));
                const int pieces = random.bounded(0, 4);
                for (int i = 0; i < pieces; ++i) {
                    if (random.bounded(6) == 0)
                        report += QChar(static_cast<char16_t>(random.bounded(1, 0xd7ff)));
                    else
                        report += fragments[random.bounded(fragments.size())];
                }
                if (random.bounded(3) == 0)
                    report += QLatin1Char(':');
                report += breaks[random.bounded(breaks.size())];
            }
            const QList<DeviceBlock> blocks = parseDeviceBlocks(report);
            for (const DeviceBlock& block : blocks) {
                QVERIFY(!block.name.contains(QLatin1String(": ")));
                const ConnectedDevice device = makeConnectedDevice(block);
                QCOMPARE(device.name, block.name);
                if (device.subReadings)
                    QCOMPARE(device.subReadings->size(), 3);
            }
            devices += blocks.size();
        }
        // The generator must actually reach the device path, or this test proves nothing.
        QVERIFY(devices > 1000);
    }

    void mutatedSampleReports() {
        const QByteArray sample =
            "Bluetooth:\n\n      Connected:\n          Earbuds Pro:\n"
            "              Address: AA-BB-CC-DD-EE-01\n              Vendor ID: 0x004C\n"
            "              Left Battery Level: 100%\n          Desk Mouse:\n"
            "              Battery Level: 63 %\n      Not Connected:\n          Old:\n";
        QRandomGenerator random(7);
        for (int round = 0; round < 5000; ++round) {
            QByteArray mutated = sample;
            const int edits = random.bounded(1, 12);
            for (int i = 0; i < edits; ++i) {
                const int at = random.bounded(mutated.size() + 1);
                switch (random.bounded(3)) {
                case 0:
                    mutated.insert(at, static_cast<char>(random.bounded(256)));
                    break;
                case 1:
                    if (at < mutated.size())
                        mutated.remove(at, random.bounded(1, 8));
                    break;
                default:
                    if (at < mutated.size())
                        mutated[at] = static_cast<char>(random.bounded(256));
                }
            }
            for (const DeviceBlock& block : parseDeviceBlocks(QString::fromUtf8(mutated)))
                makeConnectedDevice(block);
        }
    }
};

QTEST_GUILESS_MAIN(ReportRobustnessTest)
#include "tst_reportrobustness.moc"
