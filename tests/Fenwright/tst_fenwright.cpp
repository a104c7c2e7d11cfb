#include "BluezMock.h"
#include "PrivateBus.h"

#include <QDBusMessage>
#include <QProcess>
#include <QTest>

#include <memory>

namespace {

struct Run {
    int status = -1;
    QByteArray standardOutput;
    QByteArray standardError;
};

// The staged program, as Voltwren runs it, with the system bus of the test.
Run runFenwright(const QStringList& arguments, const QString& systemBusAddress) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DBUS_SYSTEM_BUS_ADDRESS", systemBusAddress);
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(VOLTWREN_STAGE_LIBEXECDIR "/Fenwright"), arguments);
    Run run;
    // Far beyond the helper's own 3 s bound: only a hang reaches it.
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished(3000);
        return run;
    }
    if (process.exitStatus() == QProcess::NormalExit)
        run.status = process.exitCode();
    run.standardOutput = process.readAllStandardOutput();
    run.standardError = process.readAllStandardError();
    return run;
}

const QString noBus = QStringLiteral("unix:path=/nonexistent/voltwren-test-bus");

} // namespace

class FenwrightTest : public QObject {
    Q_OBJECT

    std::unique_ptr<BluezMock> m_bluez;

    bool addDevice(const QString& address, int battery) {
        const QString path = m_bluez->addDevice(address, "Accessory " + address);
        if (path.isEmpty())
            return false;
        return battery < 0 || m_bluez->addBattery(path, static_cast<quint8>(battery));
    }

    // A battery level of another D-Bus type than BlueZ's byte.
    bool addTypedDevice(const QString& address, const QVariant& percentage) {
        const QString path = m_bluez->addDevice(address, "Accessory " + address);
        return !path.isEmpty() && m_bluez->addBattery(path, 1) &&
               m_bluez->setProperty(path, "org.bluez.Battery1", "Percentage", percentage);
    }

private Q_SLOTS:
    void initTestCase() {
        m_bluez = std::make_unique<BluezMock>();
        QVERIFY2(m_bluez->isValid(), "python3-dbusmock's bluez5 template did not start");
        QVERIFY(!m_bluez->addAdapter().isEmpty());
        QVERIFY(addDevice("A0:B1:C2:D3:E4:F5", 87));
        QVERIFY(addDevice("10:00:00:00:00:00", 0));
        QVERIFY(addDevice("10:00:00:00:00:01", 1));
        QVERIFY(addDevice("10:00:00:00:00:64", 100));
        QVERIFY(addDevice("10:00:00:00:00:65", 101));
        QVERIFY(addDevice("10:00:00:00:00:FF", 255));
        QVERIFY(addDevice("20:00:00:00:00:00", -1));
        QVERIFY(addTypedDevice("30:00:00:00:00:02", QVariant::fromValue(qint32(50))));
        QVERIFY(addTypedDevice("30:00:00:00:00:03", QVariant::fromValue(quint32(50))));
    }

    void wrongArgumentCount_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("none") << QStringList();
        QTest::newRow("two") << QStringList{"A0:B1:C2:D3:E4:F5", "A0:B1:C2:D3:E4:F5"};
        QTest::newRow("two, one empty") << QStringList{"A0:B1:C2:D3:E4:F5", ""};
    }
    void wrongArgumentCount() {
        QFETCH(QStringList, arguments);
        const Run run = runFenwright(arguments, m_bluez->bus().address());
        QCOMPARE(run.status, 1);
        QCOMPARE(run.standardOutput, QByteArray());
        QCOMPARE(run.standardError, QByteArray("usage: Fenwright <address>\n"));
    }

    void againstBluez_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("output");
        QTest::newRow("battery 87") << "A0:B1:C2:D3:E4:F5" << 0 << QByteArray("single:87\n");
        QTest::newRow("lower case") << "a0:b1:c2:d3:e4:f5" << 0 << QByteArray("single:87\n");
        QTest::newRow("dashes, lower case") << "a0-b1-c2-d3-e4-f5" << 0 << QByteArray("single:87\n");
        QTest::newRow("dashes and colons mixed") << "A0-b1:C2-d3:E4-F5" << 0 << QByteArray("single:87\n");
        QTest::newRow("battery 1") << "10:00:00:00:00:01" << 0 << QByteArray("single:1\n");
        QTest::newRow("battery 100") << "10:00:00:00:00:64" << 0 << QByteArray("single:100\n");
        QTest::newRow("battery 0") << "10:00:00:00:00:00" << 4 << QByteArray();
        QTest::newRow("battery 101") << "10:00:00:00:00:65" << 4 << QByteArray();
        QTest::newRow("battery 255") << "10:00:00:00:00:FF" << 4 << QByteArray();
        QTest::newRow("no Battery1") << "20:00:00:00:00:00" << 4 << QByteArray();
        QTest::newRow("int32 50, not BlueZ's type") << "30:00:00:00:00:02" << 4 << QByteArray();
        QTest::newRow("uint32 50") << "30:00:00:00:00:03" << 0 << QByteArray("single:50\n");
        QTest::newRow("unknown address") << "00:00:00:00:00:01" << 2 << QByteArray();
        QTest::newRow("empty address") << "" << 2 << QByteArray();
        QTest::newRow("surrounding space not trimmed") << " A0:B1:C2:D3:E4:F5" << 2 << QByteArray();
        QTest::newRow("no separators") << "A0B1C2D3E4F5" << 2 << QByteArray();
        QTest::newRow("underscores") << "A0_B1_C2_D3_E4_F5" << 2 << QByteArray();
        QTest::newRow("prefix of an address") << "A0:B1:C2:D3:E4" << 2 << QByteArray();
        QTest::newRow("object path") << "/org/bluez/hci0/dev_A0_B1_C2_D3_E4_F5" << 2 << QByteArray();
    }
    void againstBluez() {
        QFETCH(QString, address);
        QFETCH(int, status);
        QFETCH(QByteArray, output);
        const Run run = runFenwright({address}, m_bluez->bus().address());
        QCOMPARE(run.status, status);
        QCOMPARE(run.standardOutput, output);
        QCOMPARE(run.standardError, QByteArray());
    }

    void noUsefulBluez_data() {
        QTest::addColumn<QString>("bluez");
        QTest::newRow("no system bus") << "";
        QTest::newRow("bus with nothing on it") << "absent";
        QTest::newRow("error reply") << "error";
        QTest::newRow("reply of another shape") << "string";
        QTest::newRow("no answer within 3 s") << "silent";
    }
    void noUsefulBluez() {
        QFETCH(QString, bluez);
        PrivateBus bus;
        std::unique_ptr<DbusMock> mock;
        if (!bluez.isEmpty())
            QVERIFY(bus.isValid());
        if (bluez == "error" || bluez == "string" || bluez == "silent") {
            // A bare object manager at "/" under BlueZ's name, shaped per row.
            mock = std::make_unique<DbusMock>(
                bus, true, QStringList{"org.bluez", "/", "org.freedesktop.DBus.ObjectManager"}, "org.bluez");
            QVERIFY(mock->isValid());
            if (bluez != "error") {
                // The silent one answers with the device only after the helper has given up.
                const QString code = bluez == "string"
                                         ? "ret = 'A0:B1:C2:D3:E4:F5'"
                                         : "import time\ntime.sleep(5)\n"
                                           "ret = {'/org/bluez/hci0/dev_A0_B1_C2_D3_E4_F5': {"
                                           "'org.bluez.Device1': {'Address': 'A0:B1:C2:D3:E4:F5'},"
                                           "'org.bluez.Battery1': {'Percentage': dbus.Byte(87)}}}";
                const QString signature = bluez == "string" ? "s" : "a{oa{sa{sv}}}";
                QDBusMessage add = QDBusMessage::createMethodCall("org.bluez", "/",
                                                                  "org.freedesktop.DBus.Mock", "AddMethod");
                add.setArguments(
                    {"org.freedesktop.DBus.ObjectManager", "GetManagedObjects", "", signature, code});
                QCOMPARE(bus.connection().call(add, QDBus::Block, 10000).type(), QDBusMessage::ReplyMessage);
            }
        }
        const Run run = runFenwright({"A0:B1:C2:D3:E4:F5"}, bluez.isEmpty() ? noBus : bus.address());
        QCOMPARE(run.status, 2);
        QCOMPARE(run.standardOutput, QByteArray());
        QCOMPARE(run.standardError, QByteArray());
    }
};

QTEST_GUILESS_MAIN(FenwrightTest)
#include "tst_fenwright.moc"
