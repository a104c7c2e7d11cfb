#include "LogEntries.h"
#include "sources/BluetoothBatteryReader.h"

#include "FakeExecutable.h"
#include "PowerSupplyFolder.h"
#include "PrivateBus.h"
#include "TestBundle.h"
#include "app/DiagnosticLog.h"
#include "platform/linux/SysfsPowerSupplies.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <thread>

using namespace BluetoothBatteryReader;
using IOBluetoothPrivateBatteryReader::Multi;
using IOBluetoothPrivateBatteryReader::Single;

using Devices = QList<ConnectedDevice>;
using GattReadings = QList<GATTBatteryReader::Reading>;
using HidReadings = QList<HIDBatteryReader::Reading>;
using Components = std::optional<QList<SubBatteryReading>>;
using Percent = std::optional<qint64>;
using PrivateAnswer = std::optional<IOBluetoothPrivateBatteryReader::Reading>;
// Wrapped because the meta-type system would look for operator< on the variant.
struct HelperAnswer {
    PrivateAnswer value;
};

Q_DECLARE_METATYPE(ConnectedDevice)
Q_DECLARE_METATYPE(Devices)
Q_DECLARE_METATYPE(GattReadings)
Q_DECLARE_METATYPE(HidReadings)
Q_DECLARE_METATYPE(Components)
Q_DECLARE_METATYPE(Percent)
Q_DECLARE_METATYPE(HelperAnswer)
Q_DECLARE_METATYPE(DeviceKind)
Q_DECLARE_METATYPE(AdvertisedBattery::Levels)
Q_DECLARE_METATYPE(std::optional<bool>)

// Power supplies by name (the kernel's order) and the accessories read.
using Supplies = QMap<QString, SysfsAttributes>;
using Accessories = QList<AccessoryReading>;
Q_DECLARE_METATYPE(Supplies)
Q_DECLARE_METATYPE(Accessories)

namespace {

const QString address1 = QStringLiteral("AA:BB:CC:DD:EE:01");
const QString address2 = QStringLiteral("AA:BB:CC:DD:EE:02");
const QString address3 = QStringLiteral("AA:BB:CC:DD:EE:03");

QList<SubBatteryReading> components(Percent left, Percent right, Percent caseLevel) {
    return {{"left", "Left earbud", left}, {"right", "Right earbud", right}, {"case", "Case", caseLevel}};
}

// A report entry with only a name; the fluent setters fill in the rest.
struct Device {
    ConnectedDevice d;
    explicit Device(const QString& name) { d.name = name; }
    Device& address(const QString& value) { return d.address = value, *this; }
    Device& minor(const QString& value) { return d.minorType = value, *this; }
    Device& ids(Percent vendor, Percent product) { return d.vendorID = vendor, d.productID = product, *this; }
    Device& rssi(qint64 value) { return d.rssi = value, *this; }
    Device& charge(qint64 value) { return d.batteryPercent = value, *this; }
    Device& parts(QList<SubBatteryReading> value) { return d.subReadings = std::move(value), *this; }
    operator ConnectedDevice() const { return d; }
};

// Plays the helper: answers from a table and records every address asked.
struct RecordingPrivateReader {
    QHash<QString, IOBluetoothPrivateBatteryReader::Reading> answers;
    QStringList calls;

    PrivateReader reader() {
        return [this](const QString& address) -> PrivateAnswer {
            calls << address;
            const auto found = answers.constFind(address);
            if (found == answers.cend())
                return std::nullopt;
            return *found;
        };
    }
};

QString collapsedLine(const QString& name, const QString& kept, const QString& discarded) {
    return QStringLiteral(
               "BluetoothBatteryReader: collapsed duplicate \"%1\" entry \u2014 kept %2, discarded %3")
        .arg(name, kept, discarded);
}

// Devices covering every reason not to run the helper, plus three that need it
// (one listed twice, so merged) and a sighting that is dropped.
const QByteArray helperReport = "Bluetooth:\n"
                                "\n"
                                "      Bluetooth Controller:\n"
                                "          Address: 00:11:22:33:44:55\n"
                                "      Connected:\n"
                                "          Fake Charged Mouse:\n"
                                "              Address: F0:00:00:00:00:01\n"
                                "              Minor Type: Mouse\n"
                                "              Battery Level: 63%\n"
                                "          Fake Earbuds:\n"
                                "              Address: F0:00:00:00:00:02\n"
                                "              Vendor ID: 0x004C\n"
                                "              Product ID: 0x2014\n"
                                "              Case Battery Level: 45%\n"
                                "          Fake Keyboard:\n"
                                "              Minor Type: Keyboard\n"
                                "          Fake Pad:\n"
                                "              Address: F0:00:00:00:00:03\n"
                                "              Minor Type: Gamepad\n"
                                "          Fake Single Mouse:\n"
                                "              Address: F0:00:00:00:00:05\n"
                                "              Minor Type: Mouse\n"
                                "          Fake Single Mouse:\n"
                                "              Address: F0:00:00:00:00:05\n"
                                "          Fake Multi Buds:\n"
                                "              Address: F0:00:00:00:00:06\n"
                                "              Minor Type: Headphones\n"
                                "          Fake Missing Pad:\n"
                                "              Address: F0:00:00:00:00:07\n"
                                "              Minor Type: Gamepad\n"
                                "          Fake Beacon:\n"
                                "              Address: F0:00:00:00:00:08\n"
                                "              RSSI: -70\n"
                                "      Not Connected:\n"
                                "          Fake Old Mouse:\n"
                                "              Address: F0:00:00:00:00:09\n";

// A helper that records each run in COUNTER and answers by address.
void writeCountingHelper(const QString& directory, const QString& counter) {
    FakeExecutable::write(directory, "Fenwright",
                          QStringLiteral("printf '%s\\n' \"$1\" >> '%1'\n"
                                         "case \"$1\" in\n"
                                         "F0:00:00:00:00:05) echo single:40 ;;\n"
                                         "F0:00:00:00:00:06) echo multi:80,70,-1 ;;\n"
                                         "*) exit 2 ;;\n"
                                         "esac")
                              .arg(counter));
}

QStringList helperRuns(const QString& counter) {
    QFile file(counter);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
}

QList<AccessoryReading> expectedHelperReadings(Percent padPercent) {
    return {
        {"F0:00:00:00:00:01", "Fake Charged Mouse", DeviceKind::mouse, 63, true, {}},
        {"F0:00:00:00:00:02", "Fake Earbuds", DeviceKind::airpodsPro, {}, true, components({}, {}, 45)},
        {"Fake Keyboard", "Fake Keyboard", DeviceKind::keyboard, {}, true, {}},
        {"F0:00:00:00:00:03", "Fake Pad", DeviceKind::gameController, padPercent, true, {}},
        {"F0:00:00:00:00:05", "Fake Single Mouse", DeviceKind::mouse, 40, true, {}},
        {"F0:00:00:00:00:06", "Fake Multi Buds", DeviceKind::headphones, 70, true, components(80, 70, {})},
        {"F0:00:00:00:00:07", "Fake Missing Pad", DeviceKind::gameController, {}, true, {}},
    };
}

// A device battery with ATTRIBUTES.
SysfsAttributes battery(const SysfsAttributes& attributes) {
    SysfsAttributes all{{"type", "Battery\n"}, {"scope", "Device\n"}};
    all.insert(attributes);
    return all;
}

QStringList names(const QList<AccessoryReading>& readings) {
    QStringList result;
    for (const AccessoryReading& reading : readings)
        result << reading.name;
    return result;
}

} // namespace

class BluetoothBatteryReaderTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_state;

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_state.isValid());
        qputenv("XDG_STATE_HOME", QFile::encodeName(m_state.path()));
        // No BlueZ of the machine's: GATT readings come only from a test's own bus.
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + QFile::encodeName(m_state.filePath("no-bus")));
    }

    void init() { clearLog(); }

    void charge_data() {
        QTest::addColumn<ConnectedDevice>("device");
        QTest::addColumn<GattReadings>("gatt");
        QTest::addColumn<HidReadings>("hid");
        QTest::addColumn<HelperAnswer>("answer");
        QTest::addColumn<QString>("expectedId");
        QTest::addColumn<Percent>("expectedPercent");
        QTest::addColumn<Components>("expectedComponents");
        QTest::addColumn<QStringList>("expectedCalls");

        const GattReadings noGatt;
        const HidReadings noHid;
        const HelperAnswer silent;
        const QString dashed = QStringLiteral("AA-BB-CC-DD-EE-01");

        QTest::newRow("report's own charge wins, nobody else asked")
            << ConnectedDevice(Device("Desk Mouse").address(address1).charge(63))
            << GattReadings{{"id", "desk mouse", 10}}
            << HidReadings{{"Desk Mouse", 20, address1}, {"Desk Mouse", 30, {}}} << HelperAnswer{Single{99}}
            << address1 << Percent(63) << Components() << QStringList{};
        QTest::newRow("GATT by lower-cased name beats HID by address")
            << ConnectedDevice(Device("Desk Keyboard").address(address1))
            << GattReadings{{"id", "DESK KEYBOARD", 44}} << HidReadings{{"Desk Keyboard", 20, address1}}
            << silent << address1 << Percent(44) << Components() << QStringList{};
        QTest::newRow("GATT's 255 is no charge: HID by address takes over")
            << ConnectedDevice(Device("Desk Mouse").address(address1))
            << GattReadings{{"id", "desk mouse", 255}} << HidReadings{{"Desk Mouse", 20, address1}} << silent
            << address1 << Percent(20) << Components() << QStringList{};
        QTest::newRow("non-ASCII names fold on both sides")
            << ConnectedDevice(Device("Écran Clavier").address(address1))
            << GattReadings{{"id", "ÉCRAN CLAVIER", 41}} << noHid << silent << address1 << Percent(41)
            << Components() << QStringList{};
        QTest::newRow("HID by address")
            << ConnectedDevice(Device("Desk Mouse").address(address1)) << GattReadings{{"id", "Other", 5}}
            << HidReadings{{"Renamed In Registry", 20, address1}, {"Desk Mouse", 30, {}}} << silent
            << address1 << Percent(20) << Components() << QStringList{};
        QTest::newRow("address-less HID reading by lower-cased name")
            << ConnectedDevice(Device("Desk Mouse").address(address1)) << noGatt
            << HidReadings{{"DESK MOUSE", 30, {}}, {"Desk Mouse", 31, address2}} << silent << address1
            << Percent(30) << Components() << QStringList{};
        QTest::newRow("HID by name also for a device without address")
            << ConnectedDevice(Device("Desk Mouse")) << noGatt << HidReadings{{"desk mouse", 30, {}}}
            << silent << QString("Desk Mouse") << Percent(30) << Components() << QStringList{};
        QTest::newRow("dashed address never matches and is not tried by name")
            << ConnectedDevice(Device("Desk Mouse").address(dashed)) << noGatt
            << HidReadings{{"Desk Mouse", 20, address1}} << silent << dashed << Percent() << Components()
            << QStringList{dashed};
        QTest::newRow("own components stop before the private reader")
            << ConnectedDevice(Device("Travel Buds").address(address1).parts(components({}, {}, 40)))
            << noGatt << noHid << HelperAnswer{Single{99}} << address1 << Percent()
            << Components(components({}, {}, 40)) << QStringList{};
        QTest::newRow("own components keep their list under a GATT charge")
            << ConnectedDevice(Device("Travel Buds").address(address1).parts(components({}, {}, 40)))
            << GattReadings{{"id", "travel buds", 66}} << noHid << silent << address1 << Percent(66)
            << Components(components({}, {}, 40)) << QStringList{};
        QTest::newRow("no address stops before the private reader")
            << ConnectedDevice(Device("Desk Mouse").minor("Mouse")) << noGatt << noHid
            << HelperAnswer{Single{99}} << QString("Desk Mouse") << Percent() << Components()
            << QStringList{};
        QTest::newRow("private reader: nothing back")
            << ConnectedDevice(Device("Desk Mouse").address(address1)) << noGatt << noHid << silent
            << address1 << Percent() << Components() << QStringList{address1};
        QTest::newRow("private reader: single 55")
            << ConnectedDevice(Device("Desk Mouse").address(address1)) << noGatt << noHid
            << HelperAnswer{Single{55}} << address1 << Percent(55) << Components() << QStringList{address1};
        QTest::newRow("private reader: single passed on unclamped")
            << ConnectedDevice(Device("Desk Mouse").address(address1)) << noGatt << noHid
            << HelperAnswer{Single{250}} << address1 << Percent(250) << Components() << QStringList{address1};
        QTest::newRow("private reader: multi left 80 right 70")
            << ConnectedDevice(Device("Travel Buds").address(address1)) << noGatt << noHid
            << HelperAnswer{Multi{80, 70, {}}} << address1 << Percent(70)
            << Components(components(80, 70, {})) << QStringList{address1};
        QTest::newRow("private reader: multi with only the case")
            << ConnectedDevice(Device("Travel Buds").address(address1)) << noGatt << noHid
            << HelperAnswer{Multi{{}, {}, 35}} << address1 << Percent() << Components(components({}, {}, 35))
            << QStringList{address1};
    }

    void charge() {
        QFETCH(ConnectedDevice, device);
        QFETCH(GattReadings, gatt);
        QFETCH(HidReadings, hid);
        QFETCH(HelperAnswer, answer);
        QFETCH(QString, expectedId);
        QFETCH(Percent, expectedPercent);
        QFETCH(Components, expectedComponents);
        QFETCH(QStringList, expectedCalls);

        RecordingPrivateReader helper;
        if (answer.value)
            helper.answers.insert(device.address.value_or(device.name), *answer.value);
        const AccessoryReading reading = makeReading(device, makeGattByName(gatt), makeHidByAddress(hid),
                                                     makeHidByName(hid), helper.reader());
        QCOMPARE(reading.id, expectedId);
        QCOMPARE(reading.name, device.name);
        QCOMPARE(reading.batteryPercent, expectedPercent);
        QCOMPARE(reading.subReadings, expectedComponents);
        QVERIFY(reading.isConnected);
        QCOMPARE(helper.calls, expectedCalls);
    }

    void kind_data() {
        QTest::addColumn<ConnectedDevice>("device");
        QTest::addColumn<HelperAnswer>("answer");
        QTest::addColumn<DeviceKind>("expected");

        const auto buds = components(100, 90, 45);
        const HelperAnswer silent;
        QTest::newRow("0x004C 0x2014 with components beats minor type")
            << ConnectedDevice(Device("Studio Set").ids(0x004C, 0x2014).minor("Headphones").parts(buds))
            << silent << DeviceKind::airpodsPro;
        QTest::newRow("0x004C 0x200A") << ConnectedDevice(Device("X").ids(0x004C, 0x200A).parts(buds))
                                       << silent << DeviceKind::airpodsMax;
        QTest::newRow("0x004C 0x202D") << ConnectedDevice(Device("X").ids(0x004C, 0x202D).parts(buds))
                                       << silent << DeviceKind::airpodsMax;
        QTest::newRow("0x004C 0x2002")
            << ConnectedDevice(Device("X").ids(0x004C, 0x2002).parts(buds)) << silent << DeviceKind::airpods;
        QTest::newRow("0x004C 0x2027") << ConnectedDevice(Device("X").ids(0x004C, 0x2027).parts(buds))
                                       << silent << DeviceKind::airpodsPro;
        QTest::newRow("0x004C unknown product 0x2099")
            << ConnectedDevice(Device("Mouse Thing").ids(0x004C, 0x2099).minor("Mouse").parts(buds)) << silent
            << DeviceKind::airpods;
        QTest::newRow("0x004C without product")
            << ConnectedDevice(Device("Desk Keyboard").ids(0x004C, {}).parts(buds)) << silent
            << DeviceKind::airpods;
        QTest::newRow("0x004C without own components: minor type")
            << ConnectedDevice(Device("X").ids(0x004C, 0x2014).minor("Headphones").charge(50)) << silent
            << DeviceKind::headphones;
        QTest::newRow("0x004C without own components: name")
            << ConnectedDevice(Device("Smart Scale").ids(0x004C, 0x2014)) << silent
            << DeviceKind::otherAccessory;
        QTest::newRow("components from the private reader do not count")
            << ConnectedDevice(Device("Smart Scale").address(address1).ids(0x004C, 0x2014))
            << HelperAnswer{Multi{80, 70, 60}} << DeviceKind::otherAccessory;
        QTest::newRow("other vendor with components and 0x2014")
            << ConnectedDevice(Device("Gym Set").ids(0x0001, 0x2014).parts(buds)) << silent
            << DeviceKind::otherAccessory;

        QTest::newRow("minor Mouse") << ConnectedDevice(Device("Smart Scale").minor("Mouse")) << silent
                                     << DeviceKind::mouse;
        QTest::newRow("minor KEYBOARD in capitals")
            << ConnectedDevice(Device("Smart Scale").minor("KEYBOARD")) << silent << DeviceKind::keyboard;
        QTest::newRow("minor Headset")
            << ConnectedDevice(Device("Desk Keyboard").minor("Headset")) << silent << DeviceKind::headphones;
        QTest::newRow("minor Headphones")
            << ConnectedDevice(Device("X").minor("Headphones")) << silent << DeviceKind::headphones;
        QTest::newRow("minor Pointing")
            << ConnectedDevice(Device("Office Master 3").minor("Pointing")) << silent << DeviceKind::trackpad;
        QTest::newRow("minor Trackpad")
            << ConnectedDevice(Device("X").minor("Trackpad")) << silent << DeviceKind::trackpad;
        QTest::newRow("minor Gamepad")
            << ConnectedDevice(Device("X").minor("Gamepad")) << silent << DeviceKind::gameController;
        QTest::newRow("minor Joystick")
            << ConnectedDevice(Device("X").minor("Joystick")) << silent << DeviceKind::gameController;
        QTest::newRow("minor Phone") << ConnectedDevice(Device("X").minor("Phone")) << silent
                                     << DeviceKind::iphone;
        QTest::newRow("minor Smartphone")
            << ConnectedDevice(Device("X").minor("Smartphone")) << silent << DeviceKind::iphone;
        QTest::newRow("minor Keyboard/Mouse falls to the name")
            << ConnectedDevice(Device("Desk Trackpad").minor("Keyboard/Mouse")) << silent
            << DeviceKind::trackpad;
        QTest::newRow("minor type is compared whole, not contained")
            << ConnectedDevice(Device("Smart Scale").minor("Mouse Pad")) << silent
            << DeviceKind::otherAccessory;

        QTest::newRow("name Desk Trackpad")
            << ConnectedDevice(Device("Desk Trackpad")) << silent << DeviceKind::trackpad;
        QTest::newRow("name Office Master 3")
            << ConnectedDevice(Device("Office Master 3")) << silent << DeviceKind::mouse;
        QTest::newRow("name iPhone Keyboard")
            << ConnectedDevice(Device("iPhone Keyboard")) << silent << DeviceKind::iphone;
        QTest::newRow("name Headphone Controller")
            << ConnectedDevice(Device("Headphone Controller")) << silent << DeviceKind::headphones;
        QTest::newRow("name Travel Buds")
            << ConnectedDevice(Device("Travel Buds")) << silent << DeviceKind::headphones;
        QTest::newRow("name Wireless Controller")
            << ConnectedDevice(Device("Wireless Controller")) << silent << DeviceKind::gameController;
        QTest::newRow("name Smart Scale")
            << ConnectedDevice(Device("Smart Scale")) << silent << DeviceKind::otherAccessory;
        QTest::newRow("name MOUSE KEYBOARD: keyboard is tested first")
            << ConnectedDevice(Device("MOUSE KEYBOARD")) << silent << DeviceKind::keyboard;
        QTest::newRow("name Trackball Anywhere")
            << ConnectedDevice(Device("Trackball Anywhere")) << silent << DeviceKind::mouse;
        QTest::newRow("name Vertical Grip")
            << ConnectedDevice(Device("Vertical Grip")) << silent << DeviceKind::mouse;
        QTest::newRow("name Gaming Headset")
            << ConnectedDevice(Device("Gaming Headset")) << silent << DeviceKind::headphones;
        QTest::newRow("name Earbud Case")
            << ConnectedDevice(Device("Earbud Case")) << silent << DeviceKind::headphones;
        QTest::newRow("name Laptop Touchpad")
            << ConnectedDevice(Device("Laptop Touchpad")) << silent << DeviceKind::trackpad;
        QTest::newRow("name Flight Joystick")
            << ConnectedDevice(Device("Flight Joystick")) << silent << DeviceKind::gameController;
        QTest::newRow("name with AirPods never yields earbud kinds")
            << ConnectedDevice(Device("My AirPods Pro")) << silent << DeviceKind::otherAccessory;
    }

    void kind() {
        QFETCH(ConnectedDevice, device);
        QFETCH(HelperAnswer, answer);
        QFETCH(DeviceKind, expected);

        RecordingPrivateReader helper;
        if (answer.value)
            helper.answers.insert(address1, *answer.value);
        const AccessoryReading reading = makeReading(device, {}, {}, {}, helper.reader());
        QCOMPARE(rawValue(reading.kind), rawValue(expected));
    }

    void detailScore_data() {
        QTest::addColumn<ConnectedDevice>("device");
        QTest::addColumn<int>("expected");
        QTest::newRow("nothing") << ConnectedDevice(Device("A")) << 0;
        QTest::newRow("overall only") << ConnectedDevice(Device("A").charge(50)) << 1;
        QTest::newRow("empty component list") << ConnectedDevice(Device("A").parts({})) << 2;
        QTest::newRow("components without percents")
            << ConnectedDevice(Device("A").parts(components({}, {}, {}))) << 2;
        QTest::newRow("case only") << ConnectedDevice(Device("A").parts(components({}, {}, 40))) << 2;
        QTest::newRow("case only and overall")
            << ConnectedDevice(Device("A").parts(components({}, {}, 40)).charge(1)) << 3;
        QTest::newRow("right level") << ConnectedDevice(Device("A").parts(components({}, 70, {}))) << 6;
        QTest::newRow("left, right and overall")
            << ConnectedDevice(Device("A").parts(components(80, 70, 40)).charge(70)) << 7;
    }

    void detailScore() {
        QFETCH(ConnectedDevice, device);
        QFETCH(int, expected);
        QCOMPARE(BluetoothBatteryReader::detailScore(device), expected);
    }

    void collapse_data() {
        QTest::addColumn<Devices>("input");
        QTest::addColumn<Devices>("expected");
        QTest::addColumn<QStringList>("expectedLog");

        const ConnectedDevice overall = Device("Travel Buds").address(address1).charge(60);
        const ConnectedDevice levels = Device("Travel Buds").address(address2).parts(components(80, 70, 40));
        const ConnectedDevice mouse = Device("Desk Mouse").address(address3).minor("Mouse");
        QTest::newRow("score 1 then 6: second's data at first's place")
            << Devices{overall, mouse, levels} << Devices{levels, mouse}
            << QStringList{collapsedLine("Travel Buds", address2, address1)};
        QTest::newRow("score 6 then 1: first stays")
            << Devices{levels, overall} << Devices{levels}
            << QStringList{collapsedLine("Travel Buds", address2, address1)};

        const ConnectedDevice a = Device("Desk Mouse").address(address1).charge(50);
        const ConnectedDevice b = Device("Desk Mouse").address(address2).charge(60);
        QTest::newRow("equal scores: first stays")
            << Devices{a, b} << Devices{a} << QStringList{collapsedLine("Desk Mouse", address1, address2)};
        QTest::newRow("absent addresses are written as no address")
            << Devices{Device("Pad"), Device("Pad").charge(5)} << Devices{Device("Pad").charge(5)}
            << QStringList{collapsedLine("Pad", "no address", "no address")};

        const ConnectedDevice p1 = Device("Pad").address(address1).ids(1, 10);
        const ConnectedDevice p2 = Device("Pad").address(address2).ids(1, 11);
        const ConnectedDevice p2b = Device("Pad").address(address3).ids(1, 11).charge(90);
        QTest::newRow("differing product ids: both stay")
            << Devices{p1, p2} << Devices{p1, p2} << QStringList{};
        QTest::newRow("differing vendor ids: both stay")
            << Devices{p1, ConnectedDevice(Device("Pad").ids(2, 10))} << Devices{p1, Device("Pad").ids(2, 10)}
            << QStringList{};
        QTest::newRow("three entries: third compared with the first only")
            << Devices{p1, p2, p2b} << Devices{p1, p2, p2b} << QStringList{};
        QTest::newRow("first lacks vendor: duplicates whatever the second carries")
            << Devices{Device("Pad").address(address1).ids({}, 10), p2b} << Devices{p2b}
            << QStringList{collapsedLine("Pad", address3, address1)};
        QTest::newRow("second lacks product: duplicates")
            << Devices{p1, Device("Pad").ids(1, {}).charge(9)} << Devices{Device("Pad").ids(1, {}).charge(9)}
            << QStringList{collapsedLine("Pad", "no address", address1)};

        // Two controllers of one model are two BlueZ devices, not one listed twice.
        const ConnectedDevice pad1 =
            Device("Wireless Controller").address(address1).ids(0x054C, 0x0CE6).charge(40);
        const ConnectedDevice pad2 =
            Device("Wireless Controller").address(address2).ids(0x054C, 0x0CE6).charge(80);
        QTest::newRow("same model, two addresses: two devices")
            << Devices{pad1, pad2} << Devices{pad1, pad2} << QStringList{};
        QTest::newRow("same model, same address: duplicates")
            << Devices{pad1, Device("Wireless Controller").address(address1).ids(0x054C, 0x0CE6)}
            << Devices{pad1} << QStringList{collapsedLine("Wireless Controller", address1, address1)};
        QTest::newRow("same model, one address absent: duplicates")
            << Devices{Device("Wireless Controller").ids(0x054C, 0x0CE6), pad2} << Devices{pad2}
            << QStringList{collapsedLine("Wireless Controller", address2, "no address")};
        QTest::newRow("two addresses but missing ids: duplicates")
            << Devices{a, ConnectedDevice(Device("Desk Mouse").address(address2).parts(components(1, 2, 3)))}
            << Devices{Device("Desk Mouse").address(address2).parts(components(1, 2, 3))}
            << QStringList{collapsedLine("Desk Mouse", address2, address1)};

        QTest::newRow("names compare case-sensitively")
            << Devices{Device("Desk Mouse"), Device("desk mouse")}
            << Devices{Device("Desk Mouse"), Device("desk mouse")} << QStringList{};
        QTest::newRow("empty list") << Devices{} << Devices{} << QStringList{};
    }

    void collapse() {
        QFETCH(Devices, input);
        QFETCH(Devices, expected);
        QFETCH(QStringList, expectedLog);
        QCOMPARE(collapseDuplicates(input), expected);
        QCOMPARE(logEntries(), expectedLog);
    }

    void signalSightings_data() {
        QTest::addColumn<ConnectedDevice>("device");
        QTest::addColumn<bool>("kept");
        QTest::newRow("RSSI and charge only: dropped")
            << ConnectedDevice(Device("Beacon").rssi(-60).charge(50)) << false;
        QTest::newRow("RSSI only: dropped")
            << ConnectedDevice(Device("Beacon").address(address1).rssi(-79)) << false;
        QTest::newRow("RSSI and minor type")
            << ConnectedDevice(Device("Beacon").rssi(-60).minor("Mouse")) << true;
        QTest::newRow("RSSI and vendor") << ConnectedDevice(Device("Beacon").rssi(-60).ids(5, {})) << true;
        QTest::newRow("RSSI and product") << ConnectedDevice(Device("Beacon").rssi(-60).ids({}, 5)) << true;
        QTest::newRow("name only") << ConnectedDevice(Device("Desk Trackpad")) << true;
    }

    void signalSightings() {
        QFETCH(ConnectedDevice, device);
        QFETCH(bool, kept);
        const ConnectedDevice before = Device("First").minor("Mouse");
        const ConnectedDevice after = Device("Last");
        const QList<AccessoryReading> result = aggregate({before, device, after}, {}, {}, {});
        const QStringList expected =
            kept ? QStringList{"First", device.name, "Last"} : QStringList{"First", "Last"};
        QCOMPARE(names(result), expected);
    }

    void nameOnlyEntryKeepsItsNameKind() {
        const QList<AccessoryReading> result = aggregate({Device("Desk Trackpad")}, {}, {}, {});
        QCOMPARE(result.size(), 1);
        QCOMPARE(result[0],
                 (AccessoryReading{"Desk Trackpad", "Desk Trackpad", DeviceKind::trackpad, {}, true, {}}));
    }

    void mergeRunsBeforeSightingRule() {
        const ConnectedDevice a = Device("Desk Mouse").minor("Mouse");
        const ConnectedDevice b = Device("Desk Mouse").rssi(-60).charge(50);
        const ConnectedDevice other = Device("Desk Keyboard").minor("Keyboard");
        const QList<AccessoryReading> result = aggregate({a, other, b}, {}, {}, {});
        QCOMPARE(names(result), QStringList{"Desk Keyboard"});
        QCOMPARE(logEntries(), QStringList{collapsedLine("Desk Mouse", "no address", "no address")});
    }

    void sourcesAskedOnceInOrder_data() {
        QTest::addColumn<Devices>("profiler");
        QTest::addColumn<QStringList>("expectedCalls");
        QTest::addColumn<QStringList>("expectedNames");

        QTest::newRow("empty list") << Devices{} << QStringList{"gatt", "registry"} << QStringList{};
        QTest::newRow("every device dropped") << Devices{Device("Beacon").address(address1).rssi(-70)}
                                              << QStringList{"gatt", "registry"} << QStringList{};
        QTest::newRow("mixed list")
            << Devices{Device("Charged").address(address1).charge(10),
                       Device("Matched By Name").address(address2),
                       Device("Matched By Address").address("AA:BB:CC:DD:EE:10"),
                       Device("Cased").address("AA:BB:CC:DD:EE:11").parts(components({}, {}, 5)),
                       Device("No Address"),
                       Device("Needs Helper").address("AA:BB:CC:DD:EE:12"),
                       Device("Needs Helper").address("AA:BB:CC:DD:EE:13"),
                       Device("Needs Helper Too").address("AA:BB:CC:DD:EE:14").minor("Mouse")}
            << QStringList{"gatt", "registry", "private AA:BB:CC:DD:EE:12", "private AA:BB:CC:DD:EE:14"}
            << QStringList{"Charged",    "Matched By Name", "Matched By Address", "Cased",
                           "No Address", "Needs Helper",    "Needs Helper Too"};
    }

    void sourcesAskedOnceInOrder() {
        QFETCH(Devices, profiler);
        QFETCH(QStringList, expectedCalls);
        QFETCH(QStringList, expectedNames);

        QStringList calls;
        const auto gatt = [&] {
            calls << "gatt";
            return GattReadings{{"id", "matched by name", 1}};
        };
        const auto registry = [&] {
            calls << "registry";
            return HidReadings{{"Registry Name", 2, QStringLiteral("AA:BB:CC:DD:EE:10")}};
        };
        const auto helper = [&](const QString& address) -> PrivateAnswer {
            calls << "private " + address;
            return std::nullopt;
        };
        const QList<AccessoryReading> result = aggregate(profiler, gatt, registry, helper);
        QCOMPARE(names(result), expectedNames);
        QCOMPARE(calls, expectedCalls);
    }

    void aggregateKeepsReportOrderAndValues() {
        RecordingPrivateReader helper;
        helper.answers.insert(address3, Multi{90, 85, 20});
        const QList<AccessoryReading> result = aggregate(
            {Device("Studio Buds").address(address1).ids(0x004C, 0x2014).parts(components({}, {}, 30)),
             Device("Desk Keyboard").address(address2).minor("Keyboard"),
             Device("Travel Buds").address(address3)},
            [] {
                return GattReadings{{"id", "DESK KEYBOARD", 77}};
            },
            [] { return HidReadings{}; }, helper.reader());
        const QList<AccessoryReading> expected = {
            {address1, "Studio Buds", DeviceKind::airpodsPro, {}, true, components({}, {}, 30)},
            {address2, "Desk Keyboard", DeviceKind::keyboard, 77, true, {}},
            {address3, "Travel Buds", DeviceKind::headphones, 85, true, components(90, 85, 20)},
        };
        QCOMPARE(result, expected);
        QCOMPARE(helper.calls, QStringList{address3});
    }

    // Advertised levels of a connected pair: components, the lower bud as
    // the charge whatever else is known, the kind from the model.
    void advertisedLevels_data() {
        QTest::addColumn<ConnectedDevice>("device");
        QTest::addColumn<AdvertisedBattery::Levels>("levels");
        QTest::addColumn<Percent>("charge");
        QTest::addColumn<Components>("parts");
        QTest::addColumn<DeviceKind>("kind");
        QTest::addColumn<QStringList>("helperCalls");
        QTest::addColumn<std::optional<bool>>("charging");
        const auto level = [](qint64 percent) { return AdvertisedBattery::Level{percent, false, 5000}; };
        const auto buds = [&](Percent left, Percent right, Percent caseLevel) {
            AdvertisedBattery::Levels levels;
            if (left)
                levels.left = level(*left);
            if (right)
                levels.right = level(*right);
            if (caseLevel)
                levels.caseLevel = level(*caseLevel);
            return levels;
        };
        const auto seen = [](Components parts) {
            for (SubBatteryReading& part : *parts)
                if (part.percent)
                    part.seenAt = 5000;
            return parts;
        };
        const Device pods = Device("Pods").address(address1).minor("Headphones").ids(0x004C, 0x2014);
        QTest::newRow("no other source")
            << ConnectedDevice(pods) << buds(40, 60, 90) << Percent(40) << (seen(components(40, 60, 90)))
            << DeviceKind::airpodsPro << QStringList{} << std::optional<bool>(false);
        QTest::newRow("one reading of the device gives way to the lower bud")
            << Device(pods).charge(90).d << buds(50, 30, {}) << Percent(30) << (seen(components(50, 30, {})))
            << DeviceKind::airpodsPro << QStringList{} << std::optional<bool>(false);
        QTest::newRow("only the case: the device's own charge stays")
            << Device(pods).charge(70).d << buds({}, {}, 20) << Percent(70) << (seen(components({}, {}, 20)))
            << DeviceKind::airpodsPro << QStringList{} << std::optional<bool>(std::nullopt);
        QTest::newRow("the report's own components stay")
            << Device(pods).parts(components(80, 80, {})).d << buds(10, 10, 10) << Percent()
            << Components(components(80, 80, {})) << DeviceKind::airpodsPro << QStringList{}
            << std::optional<bool>(std::nullopt);
        AdvertisedBattery::Levels single;
        single.single = level(60);
        QTest::newRow("single battery")
            << Device("Max").address(address1).ids(0x004C, 0x200A).d << single << Percent(60) << Components()
            << DeviceKind::airpodsMax << QStringList{} << std::optional<bool>(false);
        QTest::newRow("lower-case address, not Apple: kind by name")
            << Device("Travel Buds").address(address1.toLower()).d << buds(70, {}, {}) << Percent(70)
            << (seen(components(70, {}, {}))) << DeviceKind::headphones << QStringList{}
            << std::optional<bool>(false);
        AdvertisedBattery::Levels charging = buds(30, 30, 80);
        charging.left->charging = true;
        QTest::newRow("one of two level buds charging: not charging")
            << ConnectedDevice(pods) << charging << Percent(30) << seen(components(30, 30, 80))
            << DeviceKind::airpodsPro << QStringList{} << std::optional<bool>(false);
        charging.right->percent = 60;
        QTest::newRow("the lower bud charges")
            << ConnectedDevice(pods) << charging << Percent(30) << seen(components(30, 60, 80))
            << DeviceKind::airpodsPro << QStringList{} << std::optional<bool>(true);
        QTest::newRow("another device's levels")
            << Device("Other").address(address2).d << buds(70, 70, {}) << Percent() << Components()
            << DeviceKind::otherAccessory << QStringList{address2} << std::optional<bool>(std::nullopt);
    }
    void advertisedLevels() {
        QFETCH(ConnectedDevice, device);
        QFETCH(AdvertisedBattery::Levels, levels);
        QFETCH(Percent, charge);
        QFETCH(Components, parts);
        QFETCH(DeviceKind, kind);
        QFETCH(QStringList, helperCalls);
        QFETCH(std::optional<bool>, charging);
        RecordingPrivateReader helper;
        const AccessoryReading reading =
            makeReading(device, {}, {}, {}, helper.reader(), {{address1, levels}});
        QCOMPARE(reading.batteryPercent, charge);
        QCOMPARE(reading.subReadings, parts);
        QCOMPARE(reading.kind, kind);
        QCOMPARE(helper.calls, helperCalls);
        QCOMPARE(reading.isCharging, charging);
    }

    void realHelperRunsOnlyForDevicesNeedingIt() {
        QTemporaryDir libexec;
        QVERIFY(libexec.isValid());
        const QString counter = libexec.filePath("runs");
        FakeExecutable::writeReplying(libexec.path(), "bluez-report", helperReport, 0);
        writeCountingHelper(libexec.path(), counter);
        const TestBundle bundle(libexec.path());

        const QList<AccessoryReading> result = aggregate(
            SystemProfilerBluetoothInfo::connectedDevices(bundle).value_or(QList<ConnectedDevice>()),
            [] {
                return GattReadings{{"id", "FAKE PAD", 33}};
            },
            [] {
                return HidReadings{{"Registry Pad", 99, QStringLiteral("F0:00:00:00:00:03")}};
            },
            [&bundle](const QString& address) {
                return IOBluetoothPrivateBatteryReader::readBattery(address, bundle);
            });
        QCOMPARE(result, expectedHelperReadings(33));
        QCOMPARE(helperRuns(counter),
                 (QStringList{"F0:00:00:00:00:05", "F0:00:00:00:00:06", "F0:00:00:00:00:07"}));
    }

    void readAccessoriesRunsHelperOncePerDeviceNeedingIt() {
        // An empty system bus: the GATT reader finds no BlueZ and has no readings.
        PrivateBus systemBus;
        QVERIFY(systemBus.isValid());
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", systemBus.address().toUtf8());

        QTemporaryDir libexec;
        QVERIFY(libexec.isValid());
        const QString counter = libexec.filePath("runs");
        FakeExecutable::writeReplying(libexec.path(), "bluez-report", helperReport, 0);
        writeCountingHelper(libexec.path(), counter);
        const TestBundle bundle(libexec.path());

        // Off the main thread, as a refresh runs it.
        std::optional<QList<AccessoryReading>> result;
        std::thread worker([&] { result = readAccessories(bundle); });
        worker.join();

        QCOMPARE(result, std::optional(expectedHelperReadings({})));
        QCOMPARE(helperRuns(counter), (QStringList{"F0:00:00:00:00:03", "F0:00:00:00:00:05",
                                                   "F0:00:00:00:00:06", "F0:00:00:00:00:07"}));
    }

    void kernelAccessories_data() {
        QTest::addColumn<Supplies>("supplies");
        QTest::addColumn<Accessories>("expected");
        const auto desk = [](Percent percent) {
            return AccessoryReading{"AA:BB:CC:0D:0E:0F", "Desk Mouse", DeviceKind::mouse, percent, true, {}};
        };
        const auto own = [](const QString& id, const QString& name, DeviceKind kind, Percent percent,
                            bool connected = true) {
            return AccessoryReading{"power-supply:" + id, name, kind, percent, connected, {}};
        };
        const QString unknown = "Unknown Accessory";
        const DeviceKind other = DeviceKind::otherAccessory;
        const SysfsAttributes anywhere = battery({{"capacity", "15\n"},
                                                  {"model_name", "MX Anywhere 3\n"},
                                                  {"serial_number", "4a3b\n"},
                                                  {"online", "1"}});
        const Accessories anywhereRows{desk({}), own("serial:4a3b", "MX Anywhere 3", DeviceKind::mouse, 15)};
        const SysfsAttributes bluetoothMouse = battery({{"capacity", "42"},
                                                        {"model_name", "Desk Mouse"},
                                                        {"device/uevent", "HID_UNIQ=aa:bb:cc:0d:0e:0f\n"}});
        const SysfsAttributes receiverDeskMouse = battery({{"capacity", "70"}, {"model_name", "Desk Mouse"}});

        QTest::newRow("receiver mouse with serial")
            << Supplies{{"hidpp_battery_0", anywhere}} << anywhereRows;
        QTest::newRow("re-plugged, same id") << Supplies{{"hidpp_battery_1", anywhere}} << anywhereRows;
        QTest::newRow("receiver device switched off")
            << Supplies{{"hidpp_battery_2", battery({{"capacity", "60"}, {"online", "0"}})}}
            << Accessories{desk({}), own("supply:hidpp_battery_2", unknown, other, 60, false)};
        QTest::newRow("cabled controller, address unknown to BlueZ")
            << Supplies{{"ps-controller-battery-11:22:33:44:55:66",
                         battery({{"capacity", "45"}, {"device/uevent", "HID_NAME=Wireless Controller\n"}})}}
            << Accessories{desk({}), own("address:11:22:33:44:55:66", "Wireless Controller",
                                         DeviceKind::gameController, 45)};
        QTest::newRow("Bluetooth mouse's battery stays in its row")
            << Supplies{{"hid-aa:bb:cc:0d:0e:0f-battery", bluetoothMouse}} << Accessories{desk(42)};
        QTest::newRow("receiver's charge taken by name")
            << Supplies{{"hidpp_battery_0", receiverDeskMouse}} << Accessories{desk(70)};
        QTest::newRow("same-named receiver mouse beside the Bluetooth one")
            << Supplies{{"hid-aa:bb:cc:0d:0e:0f-battery", bluetoothMouse},
                        {"hidpp_battery_0", receiverDeskMouse}}
            << Accessories{desk(42), own("supply:hidpp_battery_0", "Desk Mouse", DeviceKind::mouse, 70)};
        QTest::newRow("capacity_level only, or nothing reported yet")
            << Supplies{{"a", battery({{"capacity_level", "Critical"}, {"model_name", "Gamepad"}})},
                        {"b", battery({{"capacity_level", "Normal"}})},
                        {"c", battery({{"status", "Unknown"}, {"capacity", "0"}, {"capacity_level", "Low"}})}}
            << Accessories{desk({}), own("supply:a", "Gamepad", DeviceKind::gameController, 5),
                           own("supply:b", unknown, other, 55), own("supply:c", unknown, other, {})};
        QTest::newRow("kind from the kernel")
            << Supplies{{"e", battery({{"device/input/input7/capabilities/ev", "17"},
                                       {"device/input/input7/capabilities/key", "1f0000 0 0 0 0"},
                                       {"device/input/input7/capabilities/rel", "3"}})},
                        {"f", battery({{"device/uevent", "DRIVER=nintendo\n"}})},
                        {"g", battery({{"device/uevent", "DRIVER=logitech-hidpp-device\n"}})}}
            << Accessories{desk({}), own("supply:e", unknown, DeviceKind::mouse, {}),
                           own("supply:f", unknown, DeviceKind::gameController, {}),
                           own("supply:g", unknown, other, {})};
        QTest::newRow("laptop battery, mains and USB not listed")
            << Supplies{{"AC", {{"type", "Mains"}, {"online", "1"}}},
                        {"BAT0", {{"type", "Battery"}, {"scope", "System"}, {"capacity", "80"}}},
                        {"BAT1", {{"type", "Battery"}, {"capacity", "80"}}},
                        {"ucsi-source-psy-USBC000:001",
                         {{"type", "USB"}, {"scope", "Device"}, {"capacity", "9"}}}}
            << Accessories{desk({})};
    }

    void kernelAccessories() {
        QFETCH(Supplies, supplies);
        QTemporaryDir dir;
        const QString root = dir.filePath("sys/class/power_supply");
        for (auto supply = supplies.cbegin(); supply != supplies.cend(); ++supply)
            writePowerSupply(root, supply.key(), supply.value());
        FakeExecutable::writeReplying(
            dir.path(), "bluez-report",
            "Bluetooth:\n      Connected:\n          Desk Mouse:\n"
            "              Address: AA:BB:CC:0D:0E:0F\n              Minor Type: Mouse\n",
            0);
        QTEST(readAccessories(TestBundle(dir.path()), SysfsPowerSupplies(root)).value_or(Accessories{}),
              "expected");
    }
};

QTEST_GUILESS_MAIN(BluetoothBatteryReaderTest)
#include "tst_bluetoothbatteryreader.moc"
