#include "FakeExecutable.h"
#include "LogEntries.h"
#include "StdoutCapture.h"
#include "TestBundle.h"
#include "app/DiagnosticLog.h"
#include "sources/SystemProfilerBluetoothInfo.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace SystemProfilerBluetoothInfo;

namespace {

const QString sampleReport = QStringLiteral("Bluetooth:\n"
                                            "\n"
                                            "      Bluetooth Controller:\n"
                                            "          Address: 00-11-22-33-44-55\n"
                                            "          State: On\n"
                                            "      Connected:\n"
                                            "          Earbuds Pro:\n"
                                            "              Address: AA-BB-CC-DD-EE-01\n"
                                            "              Vendor ID: 0x004C\n"
                                            "              Product ID: 0x2014\n"
                                            "              Case Battery Level: 45%\n"
                                            "              Left Battery Level: 100%\n"
                                            "              Right Battery Level: 90%\n"
                                            "              Minor Type: Headphones\n"
                                            "              RSSI: -52\n"
                                            "          Desk Mouse:\n"
                                            "              Address: AA-BB-CC-DD-EE-02\n"
                                            "              Minor Type: Mouse\n"
                                            "              Battery Level: 63 %\n"
                                            "      Not Connected:\n"
                                            "          Old Keyboard:\n"
                                            "              Address: AA-BB-CC-DD-EE-03\n");

QList<SubBatteryReading> components(std::optional<qint64> left, std::optional<qint64> right,
                                    std::optional<qint64> caseLevel) {
    return {{"left", "Left earbud", left}, {"right", "Right earbud", right}, {"case", "Case", caseLevel}};
}

QStringList names(const QList<DeviceBlock>& blocks) {
    QStringList result;
    for (const DeviceBlock& block : blocks)
        result << block.name;
    return result;
}

} // namespace

class SystemProfilerTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_state;
    QTemporaryDir m_libexec;

private Q_SLOTS:
    void initTestCase() { qputenv("XDG_STATE_HOME", QFile::encodeName(m_state.path())); }

    void sampleReportYieldsTwoDevices() {
        const QList<DeviceBlock> blocks = parseDeviceBlocks(sampleReport);
        QCOMPARE(names(blocks), (QStringList{"Earbuds Pro", "Desk Mouse"}));
        QCOMPARE(blocks[0].lines.size(), 8);
        QCOMPARE(blocks[0].lines[0], QString("              Address: AA-BB-CC-DD-EE-01"));

        const ConnectedDevice earbuds = makeConnectedDevice(blocks[0]);
        QCOMPARE(earbuds, (ConnectedDevice{"Earbuds Pro", "AA-BB-CC-DD-EE-01", "Headphones", 76, 8212, -52,
                                           90, components(100, 90, 45)}));
        const ConnectedDevice mouse = makeConnectedDevice(blocks[1]);
        QCOMPARE(mouse, (ConnectedDevice{"Desk Mouse", "AA-BB-CC-DD-EE-02", "Mouse", std::nullopt,
                                         std::nullopt, std::nullopt, 63, std::nullopt}));
    }

    void blockCutting_data() {
        QTest::addColumn<QString>("report");
        QTest::addColumn<QStringList>("expectedNames");
        QTest::newRow("empty") << QString() << QStringList{};
        QTest::newRow("no connected heading") << "Bluetooth:\n      Paired:\n          Mouse:\n"
                                              << QStringList{};
        QTest::newRow("second connected section")
            << "  Connected:\n    A:\n      Address: 1\n  Not Connected:\n    B:\n  Connected:\n    C:\n"
            << QStringList{"A", "C"};
        QTest::newRow("Paired: at section depth is a plain line")
            << "      Connected:\n          A:\n      Paired:\n          Address: x\n"
            << QStringList{"A"};
        QTest::newRow("Extra Info: deep in a block starts a device")
            << "  Connected:\n    A:\n      Address: 1\n                Extra Info:\n      Address: 2\n"
            << QStringList{"A", "Extra Info"};
        QTest::newRow("heading with colon-space is not a device")
            << "  Connected:\n    A:\n      Firmware Version: 1.0:\n"
            << QStringList{"A"};
        QTest::newRow("heading not deeper than the section") << "    Connected:\n    A:\n     B:\n"
                                                             << QStringList{"B"};
        QTest::newRow("empty name") << "  Connected:\n    :\n      Address: 1\n" << QStringList{""};
        QTest::newRow("CR LF") << "  Connected:\r\n    A:\r\n      Address: 1\r\n    B:\r\n"
                               << QStringList{"A", "B"};
        QTest::newRow("U+2028 and U+0085 break lines")
            << QString::fromUtf16(u"  Connected:\u2028    A:\u0085    B:\u2029    C:")
            << QStringList{"A", "B", "C"};
        QTest::newRow("vertical tab and form feed")
            << "  Connected:\v    A:\f    B:" << QStringList{"A", "B"};
        QTest::newRow("tab indentation does not count") << "  Connected:\n\t\t\tA:\n    B:\n"
                                                        << QStringList{"B"};
        QTest::newRow("headings are case-sensitive") << "  connected:\n    A:\n" << QStringList{};
        QTest::newRow("connected heading trimmed of tabs") << "\t Connected:\t\n  A:\n" << QStringList{"A"};
        QTest::newRow("no-break space inside a name")
            << QString::fromUtf16(u"  Connected:\n    Mouse:\u00a0Pro:\n")
            << QStringList{QString::fromUtf16(u"Mouse:\u00a0Pro")};
    }
    void blockCutting() {
        QFETCH(QString, report);
        QFETCH(QStringList, expectedNames);
        QCOMPARE(names(parseDeviceBlocks(report)), expectedNames);
    }

    void linesStayWithTheirDeviceWhateverTheIndentation() {
        const QList<DeviceBlock> blocks = parseDeviceBlocks(
            "      Connected:\n          A:\nAddress: 1\n\n      Paired:\n              RSSI: 3\n");
        QCOMPARE(blocks.size(), 1);
        // The final line break leaves one empty line, which belongs to the block too.
        QCOMPARE(blocks[0].lines,
                 (QStringList{"Address: 1", "", "      Paired:", "              RSSI: 3", ""}));
    }

    void crlfReportGivesSameDevices() {
        QString crlf = sampleReport;
        crlf.replace("\n", "\r\n");
        QList<ConnectedDevice> plain, windows;
        for (const DeviceBlock& block : parseDeviceBlocks(sampleReport))
            plain << makeConnectedDevice(block);
        for (const DeviceBlock& block : parseDeviceBlocks(crlf))
            windows << makeConnectedDevice(block);
        QCOMPARE(windows, plain);
    }

    void stringValues_data() {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("key");
        QTest::addColumn<std::optional<QString>>("expected");
        QTest::newRow("trimmed") << QStringList{"   Address:   AA  \t"} << "Address"
                                 << std::optional<QString>("AA");
        QTest::newRow("first wins") << QStringList{"Address: 1", "Address: 2"} << "Address"
                                    << std::optional<QString>("1");
        QTest::newRow("Address Type is not Address")
            << QStringList{"Address Type: public"} << "Address" << std::optional<QString>();
        QTest::newRow("empty value") << QStringList{"Address:"} << "Address" << std::optional<QString>("");
        QTest::newRow("case-sensitive") << QStringList{"address: 1"} << "Address" << std::optional<QString>();
        QTest::newRow("missing") << QStringList{} << "Address" << std::optional<QString>();
        QTest::newRow("no space after colon")
            << QStringList{"RSSI:-5"} << "RSSI" << std::optional<QString>("-5");
    }
    void stringValues() {
        QFETCH(QStringList, lines);
        QFETCH(QString, key);
        QFETCH(std::optional<QString>, expected);
        QCOMPARE(stringValue(key, lines), expected);
    }

    void numberGrammar_data() {
        QTest::addColumn<QString>("reader");
        QTest::addColumn<QString>("value");
        QTest::addColumn<std::optional<qint64>>("expected");
        const std::optional<qint64> none;
        QTest::newRow("hex 0x004C") << "hex"
                                    << "0x004C" << std::optional<qint64>(76);
        QTest::newRow("hex 004c") << "hex"
                                  << "004c" << std::optional<qint64>(76);
        QTest::newRow("hex 2014 without prefix") << "hex"
                                                 << "2014" << std::optional<qint64>(8212);
        QTest::newRow("hex 0X004C") << "hex"
                                    << "0X004C" << none;
        QTest::newRow("hex trailing word") << "hex"
                                           << "0x004C (Apple)" << none;
        QTest::newRow("hex prefix only") << "hex"
                                         << "0x" << none;
        QTest::newRow("hex signed") << "hex"
                                    << "-1f" << std::optional<qint64>(-31);
        QTest::newRow("hex prefix then sign") << "hex"
                                              << "0x+1f" << std::optional<qint64>(31);
        QTest::newRow("hex max") << "hex"
                                 << "0x7FFFFFFFFFFFFFFF" << std::optional<qint64>(INT64_MAX);
        QTest::newRow("hex overflow") << "hex"
                                      << "0x8000000000000000" << none;
        QTest::newRow("hex min") << "hex"
                                 << "-8000000000000000" << std::optional<qint64>(INT64_MIN);
        QTest::newRow("hex inner space") << "hex"
                                         << "0x00 4C" << none;
        QTest::newRow("int -52") << "int"
                                 << "-52" << std::optional<qint64>(-52);
        QTest::newRow("int +7") << "int"
                                << "+7" << std::optional<qint64>(7);
        QTest::newRow("int sign only") << "int"
                                       << "-" << none;
        QTest::newRow("int hex digits") << "int"
                                        << "4c" << none;
        QTest::newRow("int trailing dBm") << "int"
                                          << "-52 dBm" << none;
        QTest::newRow("int max") << "int"
                                 << "9223372036854775807" << std::optional<qint64>(INT64_MAX);
        QTest::newRow("int overflow") << "int"
                                      << "9223372036854775808" << none;
        QTest::newRow("int min") << "int"
                                 << "-9223372036854775808" << std::optional<qint64>(INT64_MIN);
        QTest::newRow("int below min") << "int"
                                       << "-9223372036854775809" << none;
        QTest::newRow("int arabic-indic digits") << "int" << QString::fromUtf16(u"\u0665") << none;
        QTest::newRow("percent 63%") << "percent"
                                     << "63%" << std::optional<qint64>(63);
        QTest::newRow("percent 63 %") << "percent"
                                      << "63 %" << std::optional<qint64>(63);
        QTest::newRow("percent 6%3") << "percent"
                                     << "6%3" << std::optional<qint64>(63);
        QTest::newRow("percent alone") << "percent"
                                       << "%" << none;
        QTest::newRow("percent 6 3") << "percent"
                                     << "6 3" << none;
        QTest::newRow("percent unclamped") << "percent"
                                           << "250%" << std::optional<qint64>(250);
        QTest::newRow("percent negative") << "percent"
                                          << "-1%" << std::optional<qint64>(-1);
    }
    void numberGrammar() {
        QFETCH(QString, reader);
        QFETCH(QString, value);
        QFETCH(std::optional<qint64>, expected);
        const QStringList lines{"    Key: " + value};
        const std::optional<qint64> actual = reader == "hex"   ? hexIntValue("Key", lines)
                                             : reader == "int" ? intValue("Key", lines)
                                                               : percentValue("Key", lines);
        QCOMPARE(actual, expected);
    }

    void componentRule_data() {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<std::optional<qint64>>("overall");
        QTest::addColumn<std::optional<QList<SubBatteryReading>>>("subReadings");
        const std::optional<qint64> none;
        QTest::newRow("case only, plain level ignored")
            << QStringList{"Case Battery Level: 30%", "Battery Level: 70%"} << none
            << std::optional(components(none, none, 30));
        QTest::newRow("left only") << QStringList{"Left Battery Level: 80%"} << std::optional<qint64>(80)
                                   << std::optional(components(80, none, none));
        QTest::newRow("smaller earbud")
            << QStringList{"Left Battery Level: 80%", "Right Battery Level: 20%", "Case Battery Level: 5%"}
            << std::optional<qint64>(20) << std::optional(components(80, 20, 5));
        QTest::newRow("unparseable components fall back")
            << QStringList{"Left Battery Level: n/a", "Battery Level: 40%"} << std::optional<qint64>(40)
            << std::optional<QList<SubBatteryReading>>();
        QTest::newRow("no levels") << QStringList{"Address: 1"} << none
                                   << std::optional<QList<SubBatteryReading>>();
        // Only 0 to 100 is a charge; 255 is BlueZ's "unknown".
        QTest::newRow("255 is no level")
            << QStringList{"Battery Level: 255%"} << none << std::optional<QList<SubBatteryReading>>();
        QTest::newRow("-5 is no level")
            << QStringList{"Battery Level: -5%"} << none << std::optional<QList<SubBatteryReading>>();
        QTest::newRow("a bad earbud leaves the other")
            << QStringList{"Left Battery Level: 101%", "Right Battery Level: 0%"} << std::optional<qint64>(0)
            << std::optional(components(none, 0, none));
    }
    void componentRule() {
        QFETCH(QStringList, lines);
        QFETCH(std::optional<qint64>, overall);
        QFETCH(std::optional<QList<SubBatteryReading>>, subReadings);
        const ConnectedDevice device = makeConnectedDevice({"Buds", lines});
        QCOMPARE(device.batteryPercent, overall);
        QCOMPARE(device.subReadings, subReadings);
    }

    void logEntriesForBlocks() {
        clearLog();
        logDeviceBlocks({{"Desk Mouse", {"   Address: 1  ", "", "\t", "  Minor Type: Mouse"}},
                         {"Bare", {}},
                         {QString("Bad\x1b[2J") + QChar(0x202E) + "name", {"  Address: \x1b]0;x\a2"}}});
        QCOMPARE(logEntries(), (QStringList{"Device: Desk Mouse\n  Address: 1\n  Minor Type: Mouse",
                                            "Device: Bare", "Device: Bad[2Jname\n  Address: ]0;x2"}));
        QFile file(logFileURL());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().contains("] Device: Bare\n\n"));
    }

    void connectedDevicesFromTheTool() {
        const QString report =
            QString(sampleReport)
                .replace("      Connected:\n",
                         "      Connected:\n          Bluetooth Controller:\n              State: On\n");
        QFile reportFile(m_libexec.path() + "/report.txt");
        QVERIFY(reportFile.open(QIODevice::WriteOnly));
        reportFile.write(report.toUtf8());
        reportFile.close();
        FakeExecutable::write(m_libexec.path(), "bluez-report",
                              QString("[ \"$#\" = 1 ] && [ \"$1\" = SPBluetoothDataType ] || exit 9\n"
                                      "echo noise >&2\ncat '%1'")
                                  .arg(reportFile.fileName()));
        clearLog();
        const QList<ConnectedDevice> devices =
            connectedDevices(TestBundle(m_libexec.path())).value_or(QList<ConnectedDevice>());
        QCOMPARE(devices.size(), 2);
        QCOMPARE(devices[0].name, QString("Earbuds Pro"));
        QCOMPARE(devices[1].batteryPercent, std::optional<qint64>(63));

        const QStringList entries = logEntries();
        QCOMPARE(entries.size(), 4);
        QCOMPARE(entries[0], QString::fromUtf16(u"Scanning for Bluetooth devices via bluez-report\u2026"));
        QCOMPARE(entries[1],
                 QString("Device: Earbuds Pro\n  Address: AA-BB-CC-DD-EE-01\n  Vendor ID: 0x004C\n"
                         "  Product ID: 0x2014\n  Case Battery Level: 45%\n  Left Battery Level: 100%\n"
                         "  Right Battery Level: 90%\n  Minor Type: Headphones\n  RSSI: -52"));
        QCOMPARE(entries[2], QString("Device: Desk Mouse\n  Address: AA-BB-CC-DD-EE-02\n  Minor Type: Mouse\n"
                                     "  Battery Level: 63 %"));
        QCOMPARE(entries[3],
                 QString("bluez-report scan found 2 connected device(s): Earbuds Pro, Desk Mouse"));
    }

    void toolFailures_data() {
        QTest::addColumn<QString>("script");
        QTest::addColumn<bool>("executable");
        QTest::addColumn<QString>("printed");
        QTest::newRow("non-zero status") << "echo '  Connected:'; echo '    A:'; exit 3" << true
                                         << "Voltwren [debug]: bluez-report exited with status 3";
        QTest::newRow("invalid UTF-8") << "printf '  Connected:\\n    A\\377:\\n'" << true << "";
        QTest::newRow("cannot start")
            << "exit 0" << false << "Voltwren [debug]: failed to launch bluez-report: ";
        QTest::newRow("killed by a signal")
            << "kill -9 $$" << true << "Voltwren [debug]: bluez-report exited with status 9";
    }
    void toolFailures() {
        QFETCH(QString, script);
        QFETCH(bool, executable);
        QFETCH(QString, printed);
        FakeExecutable::write(m_libexec.path(), "bluez-report", script, executable);
        clearLog();
        StdoutCapture out;
        // No list at all: a failed report is not "nothing connected".
        QVERIFY(!connectedDevices(TestBundle(m_libexec.path())));
        const QStringList lines = out.lines();
        if (printed.isEmpty())
            QVERIFY2(lines.isEmpty(), qPrintable(lines.join('|')));
        else
            QVERIFY2(lines.size() == 1 && lines[0].startsWith(printed), qPrintable(lines.join('|')));
        QCOMPARE(logEntries(),
                 (QStringList{QString::fromUtf16(u"Scanning for Bluetooth devices via bluez-report\u2026"),
                              "bluez-report scan failed to produce output"}));
    }

    void missingToolFailsTheScan() {
        QTemporaryDir empty;
        clearLog();
        StdoutCapture out;
        QVERIFY(!runSystemProfiler(TestBundle(empty.path())));
        QVERIFY(out.lines().value(0).startsWith("Voltwren [debug]: failed to launch bluez-report: "));
    }

    void emptyReportLogsCountZero() {
        FakeExecutable::write(m_libexec.path(), "bluez-report", "exit 0");
        clearLog();
        QCOMPARE(connectedDevices(TestBundle(m_libexec.path())), std::optional(QList<ConnectedDevice>()));
        QCOMPARE(logEntries().value(1), QString("bluez-report scan found 0 connected device(s): "));
    }
};

QTEST_GUILESS_MAIN(SystemProfilerTest)
#include "tst_systemprofiler.moc"
