#include "BluezMock.h"
#include "PrivateBus.h"
#include "StdoutCapture.h"
#include "platform/linux/BluezCentral.h"
#include "sources/GATTBatteryReader.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

// One method of dbusmock's AddObject, (name, in, out, code).
struct MockMethod {
    QString name;
    QString inSignature;
    QString outSignature;
    QString code;
};

} // namespace

Q_DECLARE_METATYPE(MockMethod)

QDBusArgument& operator<<(QDBusArgument& argument, const MockMethod& method) {
    argument.beginStructure();
    argument << method.name << method.inSignature << method.outSignature << method.code;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, MockMethod& method) {
    argument.beginStructure();
    argument >> method.name >> method.inSignature >> method.outSignature >> method.code;
    argument.endStructure();
    return argument;
}

namespace {

const QString bluez = QStringLiteral("org.bluez");
const QString batteryUuidText = QStringLiteral("0000180f-0000-1000-8000-00805f9b34fb");

// Records what the central reports.
class Recorder final : public BluetoothCentralDelegate {
public:
    QList<int> states;
    QList<BluetoothPeripheralRef> connected;
    QStringList connectFailures;
    int valueUpdates = 0;
    std::optional<QString> lastValueError;
    int connectionEvents = 0;

    void centralDidUpdateState(const BluetoothCentral& central) override { states << central.state(); }
    void centralDidConnect(const BluetoothPeripheralRef& peripheral) override { connected << peripheral; }
    void centralDidFailToConnect(const BluetoothPeripheralRef&,
                                 const std::optional<QString>& error) override {
        connectFailures << error.value_or(QStringLiteral("nil"));
    }
    void peripheralDidDiscoverServices(const BluetoothPeripheralRef&,
                                       const std::optional<QString>&) override {}
    void peripheralDidDiscoverCharacteristics(const BluetoothPeripheralRef&, const BluetoothServiceRef&,
                                              const std::optional<QString>&) override {}
    void peripheralDidUpdateValue(const BluetoothPeripheralRef&, const BluetoothCharacteristicRef&,
                                  const std::optional<QString>& error) override {
        ++valueUpdates;
        lastValueError = error;
    }
    void peripheralDidUpdateNotificationState(const BluetoothPeripheralRef&,
                                              const BluetoothCharacteristicRef&,
                                              const std::optional<QString>&) override {}
    void centralDidSeeConnectionEvent() override { ++connectionEvents; }
};

bool callOn(QDBusConnection connection, const QString& path, const QString& interface, const QString& method,
            const QVariantList& arguments) {
    QDBusMessage message = QDBusMessage::createMethodCall(bluez, path, interface, method);
    message.setArguments(arguments);
    const QDBusMessage reply = connection.call(message, QDBus::Block, 10000);
    if (reply.type() != QDBusMessage::ReplyMessage)
        qWarning("%s failed: %s", qPrintable(method), qPrintable(reply.errorMessage()));
    return reply.type() == QDBusMessage::ReplyMessage;
}

QString idOf(const QString& address) {
    return BluezCentral::peripheralIdentifier(address).toString(QUuid::WithoutBraces).toUpper();
}

QList<GATTBatteryReader::Reading> only(const QString& id, const QString& name, qint64 percent) {
    return {GATTBatteryReader::Reading{id, name, percent}};
}

std::unique_ptr<BluetoothCentral> centralOn(const QDBusConnection& connection) {
    return std::make_unique<BluezCentral>(connection, bluez);
}

} // namespace

class BluezCentralTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        qputenv("XDG_STATE_HOME", QFile::encodeName(m_dir.path()));
        qDBusRegisterMetaType<MockMethod>();
        qDBusRegisterMetaType<QList<MockMethod>>();
    }

    void identifierIsANameBasedUuidOfTheAddress() {
        const QUuid id = BluezCentral::peripheralIdentifier(QStringLiteral("AA:BB:CC:DD:EE:01"));
        QCOMPARE(id.version(), QUuid::Sha1);
        QCOMPARE(BluezCentral::peripheralIdentifier(QStringLiteral("aa:bb:cc:dd:ee:01")), id);
        QVERIFY(BluezCentral::peripheralIdentifier(QStringLiteral("AA:BB:CC:DD:EE:02")) != id);
        // Pinned: another namespace or address form would lose every stored identity.
        QCOMPARE(idOf(QStringLiteral("AA:BB:CC:DD:EE:01")),
                 QStringLiteral("BBA78D3B-7480-5519-A21F-DCE0FD834942"));
    }

    void adapterPoweredOffThenOn() {
        BluezMock mock;
        QVERIFY(mock.isValid());
        const QString adapter = mock.addAdapter();
        QVERIFY(!adapter.isEmpty());
        QVERIFY(mock.setProperty(adapter, "org.bluez.Adapter1", "Powered", false));

        Recorder recorder;
        BluezCentral central(mock.connection(), bluez);
        central.setDelegate(&recorder);
        QCOMPARE(central.state(), 0); // the first report comes later, never from the constructor
        QVERIFY(recorder.states.isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(recorder.states, QList<int>{4}, 10000);

        QVERIFY(mock.setProperty(adapter, "org.bluez.Adapter1", "Powered", true));
        QTRY_COMPARE_WITH_TIMEOUT(recorder.states, (QList<int>{4, 5}), 10000);
        QCOMPARE(central.authorization(), BluetoothAuthorization::allowedAlways);
    }

    void adaptersAddedAndRemoved() {
        BluezMock mock;
        QVERIFY(mock.isValid());
        Recorder recorder;
        BluezCentral central(mock.connection(), bluez);
        central.setDelegate(&recorder);
        QTRY_COMPARE_WITH_TIMEOUT(recorder.states, QList<int>{2}, 10000);
        QVERIFY(!mock.addAdapter().isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(recorder.states, (QList<int>{2, 5}), 10000);
        QVERIFY(callOn(mock.connection(), "/org/bluez", "org.bluez.Mock", "RemoveAdapter", {"hci0"}));
        QTRY_COMPARE_WITH_TIMEOUT(recorder.states, (QList<int>{2, 5, 2}), 10000);
    }

    void bluezAbsentIsUnsupportedAtOnce() {
        PrivateBus bus;
        QVERIFY(bus.isValid());
        GATTBatteryReader reader(centralOn(bus.connection()));
        int firstStates = 0;
        reader.onFirstStateKnown = [&] { ++firstStates; };
        QStringList out;
        {
            StdoutCapture capture;
            (void)QTest::qWaitFor([&] { return firstStates > 0; }, 10000);
            reader.scan();
            out = capture.lines();
        }
        QCOMPARE(firstStates, 1);
        QCOMPARE(out, (QStringList{
                          "Voltwren [debug]: BlueZ adapter state changed to no adapter",
                          "Voltwren [debug]: BlueZ adapter not ready yet (state=no adapter); will retry once "
                          "powered on"}));
        QCOMPARE(reader.authorization(), BluetoothAuthorization::allowedAlways);
    }

    void bluezStartingAndStoppingIsFollowed() {
        PrivateBus bus;
        QVERIFY(bus.isValid());
        Recorder recorder;
        BluezCentral central(bus.connection(), bluez);
        central.setDelegate(&recorder);
        QTRY_COMPARE_WITH_TIMEOUT(recorder.states, QList<int>{2}, 10000);
        {
            DbusMock mock(bus, true, {"-t", "bluez5"}, bluez);
            QVERIFY(mock.isValid());
            QVERIFY(
                callOn(bus.connection(), "/org/bluez", "org.bluez.Mock", "AddAdapter", {"hci0", "laptop"}));
            QTRY_COMPARE_WITH_TIMEOUT(recorder.states, (QList<int>{2, 5}), 10000);
        }
        QTRY_COMPARE_WITH_TIMEOUT(recorder.states, (QList<int>{2, 5, 2}), 10000);
        QVERIFY(central.retrieveConnectedPeripherals({bluetoothUuid("180F")}).isEmpty());
    }

    void accessRefusedIsUnauthorized() {
        PrivateBus bus;
        QVERIFY(bus.isValid());
        DbusMock mock(bus, true, {bluez, "/", "org.freedesktop.DBus.ObjectManager"}, bluez);
        QVERIFY(mock.isValid());
        QVERIFY(callOn(bus.connection(), "/", "org.freedesktop.DBus.Mock", "AddMethod",
                       {"org.freedesktop.DBus.ObjectManager", "GetManagedObjects", "", "a{oa{sa{sv}}}",
                        "raise dbus.exceptions.DBusException('Rejected send message', "
                        "name='org.freedesktop.DBus.Error.AccessDenied')"}));
        Recorder recorder;
        BluezCentral central(bus.connection(), bluez);
        central.setDelegate(&recorder);
        QTRY_COMPARE_WITH_TIMEOUT(recorder.states, QList<int>{3}, 10000);
        QCOMPARE(central.authorization(), BluetoothAuthorization::denied);
    }

    // A BlueZ that did not answer the first load is asked again at the next scan.
    void failedFirstLoadIsRetriedAtTheNextScan() {
        PrivateBus bus;
        QVERIFY(bus.isValid());
        DbusMock mock(bus, true, {bluez, "/", "org.freedesktop.DBus.ObjectManager"}, bluez);
        QVERIFY(mock.isValid());
        const auto answer = [&](const QString& code) {
            return callOn(
                bus.connection(), "/", "org.freedesktop.DBus.Mock", "AddMethod",
                {"org.freedesktop.DBus.ObjectManager", "GetManagedObjects", "", "a{oa{sa{sv}}}", code});
        };
        QVERIFY(answer("raise dbus.exceptions.DBusException('Did not receive a reply', "
                       "name='org.freedesktop.DBus.Error.NoReply')"));
        GATTBatteryReader reader(centralOn(bus.connection()));
        int firstStates = 0;
        reader.onFirstStateKnown = [&] { ++firstStates; };
        QStringList out;
        {
            StdoutCapture capture;
            (void)QTest::qWaitFor([&] { return firstStates == 1; }, 10000);
            // BlueZ answers again.
            answer("ret = {dbus.ObjectPath('/org/bluez/hci0'): {'org.bluez.Adapter1': {'Powered': True}}}");
            reader.scan();
            (void)QTest::qWaitFor([&] { return capture.lines().size() >= 4; }, 10000);
            out = capture.lines();
        }
        QCOMPARE(out, (QStringList{
                          "Voltwren [debug]: BlueZ adapter state changed to no adapter",
                          "Voltwren [debug]: BlueZ adapter not ready yet (state=no adapter); will retry once "
                          "powered on",
                          "Voltwren [debug]: BlueZ adapter state changed to powered on",
                          "Voltwren [debug]: BlueZ sees 0 connected peripheral(s) advertising "
                          "the Battery Service"}));
    }

    void batteryOfAConnectedDeviceReachesTheReader() {
        BluezMock mock;
        QVERIFY(mock.isValid());
        QVERIFY(!mock.addAdapter().isEmpty());
        const QString keyboard = mock.addDevice("AA:BB:CC:DD:EE:01", "Desk Keyboard");
        QVERIFY(mock.connectDevice("AA:BB:CC:DD:EE:01"));
        QVERIFY(mock.addBattery(keyboard, 77));
        // Neither of these is a battery peripheral of the system.
        QVERIFY(mock.addBattery(mock.addDevice("AA:BB:CC:DD:EE:02", "Not Connected"), 10));
        QVERIFY(!mock.addDevice("AA:BB:CC:DD:EE:03", "No Battery").isEmpty());
        QVERIFY(mock.connectDevice("AA:BB:CC:DD:EE:03"));

        GATTBatteryReader reader(centralOn(mock.connection()));
        int updates = 0;
        reader.onUpdate = [&] { ++updates; };
        QStringList out;
        {
            StdoutCapture capture;
            (void)QTest::qWaitFor([&] { return updates > 0; }, 10000);
            out = capture.lines();
        }
        const QString id = idOf("AA:BB:CC:DD:EE:01");
        QCOMPARE(reader.copyLatestReadings(), only(id, "Desk Keyboard", 77));
        QCOMPARE(out,
                 (QStringList{"Voltwren [debug]: BlueZ adapter state changed to powered on",
                              "Voltwren [debug]: BlueZ sees 1 connected peripheral(s) advertising "
                              "the Battery Service",
                              "Voltwren [debug]: GATT Battery Service reading for \"Desk Keyboard\": 77%"}));
        QCOMPARE(reader.connectedPeripherals().keys(), QList<QUuid>{QUuid::fromString(id)});

        // The new charge comes as BlueZ announces it; the next scan reads the device's new name.
        QVERIFY(
            mock.setProperty(keyboard, "org.bluez.Battery1", "Percentage", QVariant::fromValue(uchar(60))));
        QVERIFY(mock.setProperty(keyboard, "org.bluez.Device1", "Alias", "Keyboard"));
        {
            StdoutCapture capture;
            reader.scan();
            (void)QTest::qWaitFor([&] { return reader.copyLatestReadings() == only(id, "Keyboard", 60); },
                                  10000);
        }
        QCOMPARE(updates, 2);
        QCOMPARE(reader.copyLatestReadings(), only(id, "Keyboard", 60));
    }

    void exportedBatteryServiceIsRead() {
        BluezMock mock;
        QVERIFY(mock.isValid());
        QVERIFY(!mock.addAdapter().isEmpty());
        const QString device = mock.addDevice("AA:BB:CC:DD:EE:04", "Trackpad");
        QVERIFY(mock.connectDevice("AA:BB:CC:DD:EE:04"));
        QVERIFY(mock.setProperty(device, "org.bluez.Device1", "UUIDs",
                                 QStringList{"00001800-0000-1000-8000-00805f9b34fb", batteryUuidText}));
        const QVariant noMethods = QVariant::fromValue(QList<MockMethod>{});
        const QString service = device + "/service0010";
        QVERIFY(callOn(mock.connection(), "/", "org.freedesktop.DBus.Mock", "AddObject",
                       {service, "org.bluez.GattService1",
                        QVariantMap{{"UUID", batteryUuidText},
                                    {"Device", QVariant::fromValue(QDBusObjectPath(device))},
                                    {"Primary", true}},
                        noMethods}));
        const QString level = service + "/char0011";
        QVERIFY(callOn(
            mock.connection(), "/", "org.freedesktop.DBus.Mock", "AddObject",
            {level, "org.bluez.GattCharacteristic1",
             QVariantMap{{"UUID", "00002a19-0000-1000-8000-00805f9b34fb"},
                         {"Service", QVariant::fromValue(QDBusObjectPath(service))}},
             QVariant::fromValue(QList<MockMethod>{
                 {"ReadValue", "a{sv}", "ay", "ret = [42, 7]"},
                 // The device notifies 30 % once asked to.
                 {"StartNotify", "", "",
                  "self.EmitSignal('org.freedesktop.DBus.Properties', 'PropertiesChanged', 'sa{sv}as', "
                  "['org.bluez.GattCharacteristic1', {'Value': dbus.ByteArray(b'\\x1e')}, []])"}})}));

        GATTBatteryReader reader(centralOn(mock.connection()));
        int updates = 0;
        reader.onUpdate = [&] { ++updates; };
        StdoutCapture capture;
        (void)QTest::qWaitFor([&] { return updates > 1; }, 10000);
        // Read, then followed: the notified value is the newest reading.
        QCOMPARE(reader.copyLatestReadings(), only(idOf("AA:BB:CC:DD:EE:04"), "Trackpad", 30));
        QVERIFY(capture.contents().contains("\"Trackpad\": 42%\n"));
    }

    // What BlueZ's battery percentage may be, as read or announced.
    void batteryPercentageTypes_data() {
        QTest::addColumn<QVariant>("percentage");
        QTest::addColumn<int>("expected"); // -1: no value, and the error says why
        QTest::newRow("byte") << QVariant::fromValue(uchar(10)) << 10;
        QTest::newRow("uint32") << QVariant::fromValue(uint(11)) << 11;
        QTest::newRow("uint64") << QVariant::fromValue(qulonglong(12)) << 12;
        QTest::newRow("byte 255, for the reader to refuse") << QVariant::fromValue(uchar(255)) << 255;
        QTest::newRow("int32 -5") << QVariant::fromValue(qint32(-5)) << -1;
        QTest::newRow("int32 in range") << QVariant::fromValue(qint32(13)) << -1;
        QTest::newRow("int64 2^40+3") << QVariant::fromValue(qint64((1LL << 40) + 3)) << -1;
        QTest::newRow("uint16 300") << QVariant::fromValue(ushort(300)) << -1;
        QTest::newRow("text") << QVariant(QStringLiteral("50")) << -1;
    }
    void batteryPercentageTypes() {
        QFETCH(QVariant, percentage);
        QFETCH(int, expected);
        QString error;
        const std::optional<QByteArray> value = BluezCentral::percentageValue(percentage, &error);
        QCOMPARE(value ? int(quint8(value->at(0))) : -1, expected);
        QCOMPARE(error.startsWith("Battery percentage is not a byte"), expected < 0);
    }

    void connectReportsBothOutcomes() {
        BluezMock mock;
        QVERIFY(mock.isValid());
        const QString adapter = mock.addAdapter();
        const QString device = mock.addDevice("AA:BB:CC:DD:EE:05", "Earbuds");
        QVERIFY(mock.connectDevice("AA:BB:CC:DD:EE:05"));
        QVERIFY(mock.addBattery(device, 50));
        Recorder recorder;
        BluezCentral central(mock.connection(), bluez);
        central.setDelegate(&recorder);
        QTRY_COMPARE_WITH_TIMEOUT(recorder.states, QList<int>{5}, 10000);
        const QList<BluetoothPeripheralRef> found =
            central.retrieveConnectedPeripherals({bluetoothUuid("180F")});
        QCOMPARE(found.size(), 1);
        QCOMPARE(found.constFirst()->name(), std::optional<QString>("Earbuds"));

        // Already connected: reported from the event loop, not from inside the call.
        central.connect(found.constFirst());
        QVERIFY(recorder.connected.isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(recorder.connected.size(), 1, 10000);

        // Not connected: Device1.Connect.
        QVERIFY(mock.disconnectDevice("AA:BB:CC:DD:EE:05"));
        QTRY_VERIFY_WITH_TIMEOUT(central.retrieveConnectedPeripherals({bluetoothUuid("180F")}).isEmpty(),
                                 10000);
        central.connect(found.constFirst());
        QTRY_COMPARE_WITH_TIMEOUT(recorder.connected.size(), 2, 10000);
        QCOMPARE(recorder.connected.last(), found.constFirst());

        // Gone: BlueZ's error text.
        QVERIFY(callOn(mock.connection(), adapter, "org.bluez.Adapter1", "RemoveDevice",
                       {QVariant::fromValue(QDBusObjectPath(device))}));
        QTRY_VERIFY_WITH_TIMEOUT(central.retrieveConnectedPeripherals({bluetoothUuid("180F")}).isEmpty(),
                                 10000);
        central.connect(found.constFirst());
        QTRY_COMPARE_WITH_TIMEOUT(recorder.connectFailures.size(), 1, 10000);
        QVERIFY(!recorder.connectFailures.constFirst().isEmpty());
        QCOMPARE(recorder.connected.size(), 2);
    }
};

QTEST_GUILESS_MAIN(BluezCentralTest)
#include "tst_bluezcentral.moc"
