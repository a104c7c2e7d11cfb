#include "BluezMock.h"
#include "LogEntries.h"
#include "StdoutCapture.h"
#include "TestBundle.h"
#include "app/DiagnosticLog.h"
#include "sources/SystemProfilerBluetoothInfo.h"

#include <QDBusMessage>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace SystemProfilerBluetoothInfo;

namespace {

const QString tool = QStringLiteral(VOLTWREN_STAGE_LIBEXECDIR "/bluez-report");

struct ToolRun {
    bool finished = false;
    int status = -1;
    QByteArray standardOutput;
    QByteArray standardError;
};

// The staged tool as Voltwren starts it, with a bounded wait.
ToolRun runTool(const QProcessEnvironment& environment,
                const QStringList& arguments = {"SPBluetoothDataType"}) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(tool, arguments);
    ToolRun run;
    if (!process.waitForFinished(20000)) {
        process.kill();
        process.waitForFinished(3000);
        return run;
    }
    run.finished = process.exitStatus() == QProcess::NormalExit;
    run.status = process.exitCode();
    run.standardOutput = process.readAllStandardOutput();
    run.standardError = process.readAllStandardError();
    return run;
}

QList<ConnectedDevice> devicesIn(const QByteArray& report) {
    QList<DeviceBlock> blocks = parseDeviceBlocks(QString::fromUtf8(report));
    blocks.removeIf(
        [](const DeviceBlock& block) { return block.name == QLatin1String("Bluetooth Controller"); });
    QList<ConnectedDevice> devices;
    for (const DeviceBlock& block : blocks)
        devices << makeConnectedDevice(block);
    return devices;
}

template <typename T> QString text(const std::optional<T>& value) {
    if (!value)
        return QStringLiteral("-");
    if constexpr (std::is_same_v<T, QString>)
        return *value;
    else
        return QString::number(*value);
}

// Every field, so that a failed comparison says what differs.
QString describe(const QList<ConnectedDevice>& devices) {
    QStringList lines;
    for (const ConnectedDevice& d : devices)
        lines << QStringLiteral("%1|%2|%3|%4|%5|%6|%7|%8")
                     .arg(d.name, text(d.address), text(d.minorType), text(d.vendorID), text(d.productID),
                          text(d.rssi), text(d.batteryPercent), d.subReadings ? "components" : "-");
    return lines.join(QLatin1Char('\n'));
}

bool set(BluezMock& mock, const QString& address, const QString& name, const QVariant& value) {
    return mock.setProperty(BluezMock::devicePath(address), "org.bluez.Device1", name, value);
}

// An adapter; three connected devices (class, modalias, battery, icon);
// one paired but away; one merely seen.
bool populate(BluezMock& mock) {
    return !mock.addAdapter().isEmpty() && !mock.addDevice("AA:BB:CC:DD:EE:02", "Desk Mouse").isEmpty() &&
           set(mock, "AA:BB:CC:DD:EE:02", "Class", QVariant::fromValue(0x002580u)) &&
           set(mock, "AA:BB:CC:DD:EE:02", "Modalias", "usb:v046DpB01Ad0001") &&
           mock.addBattery(BluezMock::devicePath("AA:BB:CC:DD:EE:02"), 63) &&
           mock.connectDevice("AA:BB:CC:DD:EE:02") &&
           !mock.addDevice("AA:BB:CC:DD:EE:01", "Earbuds").isEmpty() &&
           set(mock, "AA:BB:CC:DD:EE:01", "Class", QVariant::fromValue(0x240418u)) &&
           set(mock, "AA:BB:CC:DD:EE:01", "Modalias", "bluetooth:v004Cp2014d0100") &&
           set(mock, "AA:BB:CC:DD:EE:01", "RSSI", QVariant::fromValue(static_cast<short>(-52))) &&
           mock.addBattery(BluezMock::devicePath("AA:BB:CC:DD:EE:01"), 90) &&
           mock.connectDevice("AA:BB:CC:DD:EE:01") &&
           !mock.addDevice("AA:BB:CC:DD:EE:05", "game pad").isEmpty() &&
           set(mock, "AA:BB:CC:DD:EE:05", "Icon", "input-gaming") &&
           mock.connectDevice("AA:BB:CC:DD:EE:05") &&
           !mock.addDevice("AA:BB:CC:DD:EE:03", "Old Keyboard").isEmpty() &&
           mock.pairDevice("AA:BB:CC:DD:EE:03", 0x002540) &&
           !mock.addDevice("AA:BB:CC:DD:EE:04", "Stranger").isEmpty();
}

const QList<ConnectedDevice> expectedDevices{
    {"Desk Mouse", "AA:BB:CC:DD:EE:02", "Mouse", 0x046D, 0xB01A, std::nullopt, 63, std::nullopt},
    {"Earbuds", "AA:BB:CC:DD:EE:01", "Headphones", 0x004C, 0x2014, std::nullopt, 90, std::nullopt},
    {"game pad", "AA:BB:CC:DD:EE:05", "Gamepad", std::nullopt, std::nullopt, std::nullopt, std::nullopt,
     std::nullopt},
};

enum class Peer { noSystemBus, accessDenied, noAnswer, unexpectedReply };

} // namespace

Q_DECLARE_METATYPE(Peer)

class BluezReportToolTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_state;

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_state.isValid());
        // The log folder is fixed on first use.
        qputenv("XDG_STATE_HOME", QFile::encodeName(m_state.path()));
        QVERIFY2(QFile::exists(tool), qPrintable(tool));
    }

    void reportYieldsTheConnectedDevices() {
        BluezMock mock;
        QVERIFY(mock.isValid());
        QVERIFY(populate(mock));
        const ToolRun run = runTool(environmentWithBuses(&mock.bus(), nullptr));
        QVERIFY(run.finished);
        QCOMPARE(run.status, 0);
        QCOMPARE(run.standardError, QByteArray());
        const QList<ConnectedDevice> devices = devicesIn(run.standardOutput);
        QVERIFY2(devices == expectedDevices, qPrintable(describe(devices)));

        const QString report = QString::fromUtf8(run.standardOutput);
        QVERIFY(report.startsWith(
            "Bluetooth:\n\n      Bluetooth Controller:\n          Address: 00:01:02:03:04:05\n"
            "          State: On\n      Connected:\n"));
        QVERIFY2(report.contains("      Not Connected:\n          Old Keyboard:\n              Address: "
                                 "AA:BB:CC:DD:EE:03\n"),
                 qPrintable(report));
        QVERIFY(!report.contains("Stranger"));
    }

    // Each awkward name reads back as exactly one device, with no extra ones.
    void awkwardNamesReadBackOneDeviceEach() {
        BluezMock mock;
        QVERIFY(mock.isValid());
        QVERIFY(!mock.addAdapter().isEmpty());
        const QList<std::pair<QString, QString>> names{
            {"Mouse: Pro\nSecond line", QString::fromUtf16(u"Mouse:\u00a0Pro Second line")},
            {"Not Connected", QString::fromUtf16(u"Not Connected\u00a0")},
            {"Pad\n          Battery Level: 5%", QString::fromUtf16(u"Pad           Battery Level:\u00a05%")},
        };
        QList<ConnectedDevice> expected;
        for (int i = 0; i < names.size(); ++i) {
            const QString address = QStringLiteral("AA:BB:CC:DD:EE:0%1").arg(i);
            QVERIFY(!mock.addDevice(address, names[i].first).isEmpty());
            QVERIFY(mock.connectDevice(address));
            expected << ConnectedDevice{names[i].second, address,      std::nullopt, std::nullopt,
                                        std::nullopt,    std::nullopt, std::nullopt, std::nullopt};
        }
        const ToolRun run = runTool(environmentWithBuses(&mock.bus(), nullptr));
        QCOMPARE(run.status, 0);
        const QList<ConnectedDevice> devices = devicesIn(run.standardOutput);
        QVERIFY2(devices == expected, qPrintable(describe(devices)));
    }

    // Whatever sits in BlueZ's place, only a byte (or an unsigned integer
    // that fits one) from 0 to 100 reaches the report as a level.
    void batteryLevelsOfEveryType_data() {
        QTest::addColumn<QVariant>("percentage");
        QTest::addColumn<std::optional<qint64>>("expected");
        const std::optional<qint64> none;
        QTest::newRow("byte 100") << QVariant::fromValue(uchar(100)) << std::optional<qint64>(100);
        QTest::newRow("byte 255") << QVariant::fromValue(uchar(255)) << none;
        QTest::newRow("uint32 0") << QVariant::fromValue(quint32(0)) << std::optional<qint64>(0);
        QTest::newRow("int16 -5") << QVariant::fromValue(qint16(-5)) << none;
        QTest::newRow("int32 50") << QVariant::fromValue(qint32(50)) << none;
        QTest::newRow("int64 2^40+3") << QVariant::fromValue((qint64(1) << 40) + 3) << none;
    }
    void batteryLevelsOfEveryType() {
        QFETCH(QVariant, percentage);
        QFETCH(std::optional<qint64>, expected);
        BluezMock mock;
        QVERIFY(mock.isValid() && !mock.addAdapter().isEmpty());
        const QString path = mock.addDevice("AA:BB:CC:DD:EE:0A", "Pad");
        QVERIFY(mock.addBattery(path, 1) &&
                mock.setProperty(path, "org.bluez.Battery1", "Percentage", percentage));
        QVERIFY(mock.connectDevice("AA:BB:CC:DD:EE:0A"));
        const ToolRun run = runTool(environmentWithBuses(&mock.bus(), nullptr));
        QCOMPARE(run.status, 0);
        QCOMPARE(run.standardError.startsWith("bluez-report: ignored the Percentage of " + path.toUtf8()),
                 !expected);
        QCOMPARE(devicesIn(run.standardOutput).value(0).batteryPercent, expected);
    }

    void failingBlueZExitsWithThree_data() {
        QTest::addColumn<Peer>("peer");
        QTest::addColumn<QString>("expectedError");
        QTest::newRow("no system bus")
            << Peer::noSystemBus << "bluez-report: cannot connect to the system bus: ";
        QTest::newRow("access refused")
            << Peer::accessDenied << "bluez-report: BlueZ refused access: not for you\n";
        QTest::newRow("no answer within 5 s")
            << Peer::noAnswer << "bluez-report: BlueZ did not answer within 5 s\n";
        QTest::newRow("unexpected reply")
            << Peer::unexpectedReply << "bluez-report: BlueZ sent an unexpected reply (signature \"s\")\n";
    }
    void failingBlueZExitsWithThree() {
        QFETCH(Peer, peer);
        QFETCH(QString, expectedError);
        PrivateBus bus;
        QVERIFY(bus.isValid());
        std::unique_ptr<DbusMock> mock;
        if (peer == Peer::accessDenied || peer == Peer::noAnswer || peer == Peer::unexpectedReply) {
            mock = std::make_unique<DbusMock>(bus, true, QStringList{"org.bluez", "/", "org.bluez.Manager"},
                                              "org.bluez");
            QVERIFY(mock->isValid());
            const QString code = peer == Peer::accessDenied
                                     ? "raise dbus.exceptions.DBusException('not for you', "
                                       "name='org.freedesktop.DBus.Error.AccessDenied')"
                                 : peer == Peer::noAnswer ? "__import__('time').sleep(8)"
                                                          : "ret = 'surprise'";
            QDBusMessage add =
                QDBusMessage::createMethodCall("org.bluez", "/", "org.freedesktop.DBus.Mock", "AddMethod");
            add.setArguments({"org.freedesktop.DBus.ObjectManager", "GetManagedObjects", "",
                              peer == Peer::unexpectedReply ? "s" : "a{oa{sa{sv}}}", code});
            QCOMPARE(bus.connection().call(add, QDBus::Block, 10000).type(), QDBusMessage::ReplyMessage);
        }
        QProcessEnvironment environment = environmentWithBuses(&bus, nullptr);
        if (peer == Peer::noSystemBus)
            environment.insert("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + m_state.path() + "/no-such-socket");

        const ToolRun run = runTool(environment);
        QVERIFY(run.finished);
        QCOMPARE(run.status, 3);
        QCOMPARE(run.standardOutput, QByteArray());
        const QString error = QString::fromUtf8(run.standardError);
        QVERIFY2(error.startsWith(expectedError), qPrintable(error));
        QCOMPARE(error.count('\n'), 1);
        QVERIFY(error.endsWith('\n'));
    }

    void wrongArgumentsPrintUsage_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("none") << QStringList{};
        QTest::newRow("other data type") << QStringList{"SPUSBDataType"};
        QTest::newRow("case differs") << QStringList{"spbluetoothdatatype"};
        QTest::newRow("one too many") << QStringList{"SPBluetoothDataType", "-xml"};
        QTest::newRow("empty argument") << QStringList{""};
    }
    void wrongArgumentsPrintUsage() {
        QFETCH(QStringList, arguments);
        // A tool that went on to the bus would fail differently (no BlueZ here).
        PrivateBus bus;
        QVERIFY(bus.isValid());
        const ToolRun run = runTool(environmentWithBuses(&bus, nullptr), arguments);
        QVERIFY(run.finished);
        QCOMPARE(run.status, 1);
        QCOMPARE(run.standardOutput, QByteArray());
        QCOMPARE(run.standardError, QByteArray("usage: bluez-report SPBluetoothDataType\n"));
    }

    void voltwrenScanReadsTheToolAndLogs() {
        BluezMock mock;
        QVERIFY(mock.isValid());
        QVERIFY(populate(mock));
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", mock.bus().address().toUtf8());
        QFile::remove(logFileURL());
        const QList<ConnectedDevice> devices =
            connectedDevices(TestBundle(VOLTWREN_STAGE_LIBEXECDIR)).value_or(QList<ConnectedDevice>());
        qunsetenv("DBUS_SYSTEM_BUS_ADDRESS");
        QVERIFY2(devices == expectedDevices, qPrintable(describe(devices)));
        QCOMPARE(
            logEntries(),
            (QStringList{QString::fromUtf16(u"Scanning for Bluetooth devices via bluez-report\u2026"),
                         "Device: Desk Mouse\n  Address: AA:BB:CC:DD:EE:02\n  Vendor ID: 0x046D\n"
                         "  Product ID: 0xB01A\n  Minor Type: Mouse\n  Battery Level: 63%",
                         "Device: Earbuds\n  Address: AA:BB:CC:DD:EE:01\n  Vendor ID: 0x004C\n"
                         "  Product ID: 0x2014\n  Minor Type: Headphones\n  Battery Level: 90%",
                         "Device: game pad\n  Address: AA:BB:CC:DD:EE:05\n  Minor Type: Gamepad",
                         "bluez-report scan found 3 connected device(s): Desk Mouse, Earbuds, game pad"}));
    }

    // Without BlueZ nothing is connected over Bluetooth: the tool says so
    // rather than failing, so the devices listed before do go.
    void withoutBlueZNothingIsConnected() {
        PrivateBus bus;
        QVERIFY(bus.isValid());
        const ToolRun run = runTool(environmentWithBuses(&bus, nullptr));
        QCOMPARE(run.status, 0);
        QCOMPARE(run.standardOutput, QByteArray("Bluetooth:\n\n      Connected:\n"));
        QCOMPARE(run.standardError, QByteArray("bluez-report: BlueZ (org.bluez) is not on the system bus\n"));

        qputenv("DBUS_SYSTEM_BUS_ADDRESS", bus.address().toUtf8());
        QFile::remove(logFileURL());
        std::optional<QList<ConnectedDevice>> devices;
        QStringList printed;
        {
            StdoutCapture capture;
            devices = connectedDevices(TestBundle(VOLTWREN_STAGE_LIBEXECDIR));
            printed = capture.lines();
        }
        qunsetenv("DBUS_SYSTEM_BUS_ADDRESS");
        QCOMPARE(devices, std::optional(QList<ConnectedDevice>()));
        QCOMPARE(printed, QStringList());
        QCOMPARE(logEntries(),
                 (QStringList{QString::fromUtf16(u"Scanning for Bluetooth devices via bluez-report\u2026"),
                              "bluez-report scan found 0 connected device(s): "}));
    }
};

QTEST_GUILESS_MAIN(BluezReportToolTest)
#include "tst_bluezreporttool.moc"
