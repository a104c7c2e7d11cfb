#include "BluezReport.h"
#include "platform/linux/BluezCentral.h"
#include "sources/BluetoothBatteryReader.h"
#include "sources/SystemProfilerBluetoothInfo.h"

#include <QTest>

using namespace BluezReport;
using SystemProfilerBluetoothInfo::ConnectedDevice;

Q_DECLARE_METATYPE(std::optional<QString>)
Q_DECLARE_METATYPE(std::optional<BluezReport::DeviceIds>)
Q_DECLARE_METATYPE(std::optional<qint64>)
Q_DECLARE_METATYPE(std::optional<DeviceKind>)

namespace {

const QString device1 = QStringLiteral("org.bluez.Device1");

QDBusObjectPath path(const QString& text) {
    return QDBusObjectPath(text);
}

QVariantMap deviceProperties(const QString& address, const QString& alias, bool connected,
                             bool paired = true) {
    return {{"Address", address},     {"Alias", alias},   {"Name", alias},
            {"Connected", connected}, {"Paired", paired}, {"Class", QVariant::fromValue(0u)}};
}

ManagedObjects oneConnected(const QVariantMap& properties) {
    return {{path("/org/bluez/hci0/dev_1"), {{device1, properties}}}};
}

// The report read back through Voltwren's own reader, controllers dropped.
QList<SystemProfilerBluetoothInfo::DeviceBlock> readBack(const QString& report) {
    auto blocks = SystemProfilerBluetoothInfo::parseDeviceBlocks(report);
    blocks.removeIf([](const auto& block) { return block.name == QLatin1String("Bluetooth Controller"); });
    return blocks;
}

} // namespace

class BluezReportTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void fullReportLayout() {
        QVariantMap mouse = deviceProperties("AA:BB:CC:DD:EE:02", "Desk Mouse", true);
        mouse["Class"] = QVariant::fromValue(0x002580u);
        mouse["Modalias"] = "usb:v046Dpb01Ad0001";
        mouse["RSSI"] = QVariant::fromValue(static_cast<short>(-52));
        QVariantMap phone = deviceProperties("AA:BB:CC:DD:EE:01", "anna's phone", true);
        phone["Icon"] = "phone";
        QVariantMap keyboard = deviceProperties("AA:BB:CC:DD:EE:03", "Old Keyboard", false);
        const ManagedObjects objects{
            {path("/org/bluez/hci0"),
             {{"org.bluez.Adapter1", {{"Address", "00:01:02:03:04:05"}, {"Powered", true}}}}},
            {path("/org/bluez/hci1"),
             {{"org.bluez.Adapter1", {{"Address", "00:01:02:03:04:06"}, {"Powered", false}}}}},
            {path("/org/bluez/hci0/dev_AA_BB_CC_DD_EE_02"),
             {{device1, mouse}, {"org.bluez.Battery1", {{"Percentage", QVariant::fromValue(uchar(63))}}}}},
            {path("/org/bluez/hci0/dev_AA_BB_CC_DD_EE_01"), {{device1, phone}}},
            {path("/org/bluez/hci0/dev_AA_BB_CC_DD_EE_03"), {{device1, keyboard}}},
            {path("/org/bluez/hci0/dev_AA_BB_CC_DD_EE_04"),
             {{device1, deviceProperties("AA:BB:CC:DD:EE:04", "Stranger", false, false)}}},
        };
        QCOMPARE(build(objects), QStringLiteral("Bluetooth:\n"
                                                "\n"
                                                "      Bluetooth Controller:\n"
                                                "          Address: 00:01:02:03:04:05\n"
                                                "          State: On\n"
                                                "      Bluetooth Controller:\n"
                                                "          Address: 00:01:02:03:04:06\n"
                                                "          State: Off\n"
                                                "      Connected:\n"
                                                "          anna's phone:\n"
                                                "              Address: AA:BB:CC:DD:EE:01\n"
                                                "              Minor Type: Smartphone\n"
                                                "          Desk Mouse:\n"
                                                "              Address: AA:BB:CC:DD:EE:02\n"
                                                "              Vendor ID: 0x046D\n"
                                                "              Product ID: 0xB01A\n"
                                                "              Minor Type: Mouse\n"
                                                "              Battery Level: 63%\n"
                                                "      Not Connected:\n"
                                                "          Old Keyboard:\n"
                                                "              Address: AA:BB:CC:DD:EE:03\n"));
    }

    void nothingKnownGivesAnEmptyConnectedSection() {
        QCOMPARE(build({}), QStringLiteral("Bluetooth:\n\n      Connected:\n"));
    }

    void readsBackAsVoltwrenRecords() {
        QVariantMap headphones = deviceProperties("AA:BB:CC:DD:EE:01", "Earbuds", true);
        headphones["Class"] = QVariant::fromValue(0x240418u);
        headphones["Modalias"] = "bluetooth:v004Cp2014d0100";
        headphones["RSSI"] = QVariant::fromValue(static_cast<short>(-60));
        const ManagedObjects objects{
            {path("/org/bluez/hci0/dev_1"),
             {{device1, headphones},
              {"org.bluez.Battery1", {{"Percentage", QVariant::fromValue(uchar(90))}}}}},
            {path("/org/bluez/hci0/dev_2"), {{device1, deviceProperties("AA:BB:CC:DD:EE:02", "Bare", true)}}},
        };
        const auto blocks = readBack(build(objects));
        QCOMPARE(blocks.size(), 2);
        QCOMPARE(SystemProfilerBluetoothInfo::makeConnectedDevice(blocks[0]),
                 (ConnectedDevice{"Bare", "AA:BB:CC:DD:EE:02", std::nullopt, std::nullopt, std::nullopt,
                                  std::nullopt, std::nullopt, std::nullopt}));
        QCOMPARE(SystemProfilerBluetoothInfo::makeConnectedDevice(blocks[1]),
                 (ConnectedDevice{"Earbuds", "AA:BB:CC:DD:EE:01", "Headphones", 0x004C, 0x2014, std::nullopt,
                                  90, std::nullopt}));
    }

    void namesReadBackAsOneDevice_data() {
        QTest::addColumn<QString>("alias");
        QTest::addColumn<QString>("expected");
        QTest::newRow("plain") << "Desk Mouse"
                               << "Desk Mouse";
        QTest::newRow("colon space") << "Mouse: Pro" << QString::fromUtf16(u"Mouse:\u00a0Pro");
        QTest::newRow("two colon spaces") << "a: b: c" << QString::fromUtf16(u"a:\u00a0b:\u00a0c");
        QTest::newRow("line feed") << "Desk\nMouse"
                                   << "Desk Mouse";
        QTest::newRow("CR LF is one break") << "Desk\r\nMouse"
                                            << "Desk Mouse";
        QTest::newRow("lone CR") << "Desk\rMouse"
                                 << "Desk Mouse";
        QTest::newRow("U+2028 U+0085 VT FF") << QString::fromUtf16(u"a\u2028b\u0085c\vd\fe") << "a b c d e";
        QTest::newRow("colon then line break") << "Mouse:\nPro" << QString::fromUtf16(u"Mouse:\u00a0Pro");
        QTest::newRow("property lookalike") << "Address: 11:22" << QString::fromUtf16(u"Address:\u00a011:22");
        QTest::newRow("trailing colon") << "Mouse:"
                                        << "Mouse:";
        QTest::newRow("only a colon") << ":"
                                      << ":";
        QTest::newRow("surrounding blanks and breaks") << " \t\nMouse \n"
                                                       << "Mouse";
        QTest::newRow("section heading name") << "Connected" << QString::fromUtf16(u"Connected\u00a0");
        QTest::newRow("other section heading")
            << "Not Connected" << QString::fromUtf16(u"Not Connected\u00a0");
        QTest::newRow("controller name")
            << "Bluetooth Controller" << QString::fromUtf16(u"Bluetooth Controller\u00a0");
        QTest::newRow("non-Latin") << QString::fromUtf16(u"Кла\u0301виатура 🎧")
                                   << QString::fromUtf16(u"Кла\u0301виатура 🎧");
    }
    void namesReadBackAsOneDevice() {
        QFETCH(QString, alias);
        QFETCH(QString, expected);
        QVariantMap properties = deviceProperties("AA:BB:CC:DD:EE:01", alias, true);
        properties["Class"] = QVariant::fromValue(0x000580u);
        const auto blocks = readBack(build(oneConnected(properties)));
        QCOMPARE(blocks.size(), 1);
        const ConnectedDevice device = SystemProfilerBluetoothInfo::makeConnectedDevice(blocks[0]);
        QCOMPARE(device.name, expected);
        // The GATT reading of the same device carries the same name.
        QCOMPARE(BluezCentral::peripheralName(properties), std::optional(expected));
        QCOMPARE(device.address, std::optional<QString>("AA:BB:CC:DD:EE:01"));
        QCOMPARE(device.minorType, std::optional<QString>("Mouse"));
    }

    void headingFallsBackFromAliasToNameToAddress_data() {
        QTest::addColumn<QVariantMap>("names");
        QTest::addColumn<QString>("expected");
        QTest::newRow("alias wins") << QVariantMap{{"Alias", "Mine"}, {"Name", "Maker"}} << "Mine";
        QTest::newRow("empty alias") << QVariantMap{{"Alias", ""}, {"Name", "Maker"}} << "Maker";
        QTest::newRow("blank alias") << QVariantMap{{"Alias", " \n"}, {"Name", "Maker"}} << "Maker";
        QTest::newRow("alias not a string") << QVariantMap{{"Alias", 5}, {"Name", "Maker"}} << "Maker";
        QTest::newRow("no names") << QVariantMap{} << "AA:BB:CC:DD:EE:01";
    }
    void headingFallsBackFromAliasToNameToAddress() {
        QFETCH(QVariantMap, names);
        QFETCH(QString, expected);
        QVariantMap properties{{"Address", "AA:BB:CC:DD:EE:01"}, {"Connected", true}};
        properties.insert(names);
        const auto blocks = readBack(build(oneConnected(properties)));
        QCOMPARE(blocks.size(), 1);
        QCOMPARE(blocks[0].name, expected);
        QCOMPARE(BluezCentral::peripheralName(properties), std::optional(expected));
    }

    void devicesSortByNameIgnoringCaseThenAddress() {
        ManagedObjects objects;
        const QList<std::pair<QString, QString>> devices{
            {"zebra", "00:00:00:00:00:01"}, {"Apple", "00:00:00:00:00:09"}, {"apple", "00:00:00:00:00:02"},
            {"Mouse", "00:00:00:00:00:05"}, {"Mouse", "00:00:00:00:00:03"}, {"banana", "00:00:00:00:00:04"}};
        int index = 0;
        for (const auto& [name, address] : devices)
            objects.insert(path(QStringLiteral("/org/bluez/hci0/dev_%1").arg(index++)),
                           {{device1, deviceProperties(address, name, true)}});
        QStringList order;
        for (const auto& block : readBack(build(objects)))
            order << block.name + QLatin1Char(' ') +
                         *SystemProfilerBluetoothInfo::stringValue("Address", block.lines);
        QCOMPARE(order, (QStringList{"apple 00:00:00:00:00:02", "Apple 00:00:00:00:00:09",
                                     "banana 00:00:00:00:00:04", "Mouse 00:00:00:00:00:03",
                                     "Mouse 00:00:00:00:00:05", "zebra 00:00:00:00:00:01"}));
    }

    void unknownOrMalformedPropertiesAreLeftOut_data() {
        QTest::addColumn<QVariantMap>("extra");
        QTest::newRow("Class as a string") << QVariantMap{{"Class", "1408"}};
        QTest::newRow("RSSI as a string") << QVariantMap{{"RSSI", "-50"}};
        QTest::newRow("RSSI as a boolean") << QVariantMap{{"RSSI", true}};
        QTest::newRow("Modalias of another bus") << QVariantMap{{"Modalias", "pci:v8086p1234d0001"}};
        QTest::newRow("Modalias cut short") << QVariantMap{{"Modalias", "bluetooth:v004Cp20"}};
        QTest::newRow("Modalias not a string") << QVariantMap{{"Modalias", 42}};
        QTest::newRow("unknown icon") << QVariantMap{{"Icon", "printer"}};
        QTest::newRow("empty address") << QVariantMap{{"Address", ""}};
        QTest::newRow("Connected as a string makes it unconnected") << QVariantMap{{"Connected", "true"}};
    }
    void unknownOrMalformedPropertiesAreLeftOut() {
        QFETCH(QVariantMap, extra);
        QVariantMap properties{{"Alias", "Thing"}, {"Address", "AA:BB:CC:DD:EE:01"}, {"Connected", true}};
        properties.insert(extra);
        const auto blocks = readBack(build(oneConnected(properties)));
        if (extra.contains("Connected")) {
            QVERIFY(blocks.isEmpty());
            return;
        }
        QCOMPARE(blocks.size(), 1);
        QCOMPARE(blocks[0].name, QString("Thing"));
        QStringList lines = blocks[0].lines;
        lines.removeAll(QString());
        QCOMPARE(lines, extra.contains("Address") ? QStringList{}
                                                  : QStringList{"              Address: AA:BB:CC:DD:EE:01"});
    }

    void addressWithLineBreakCannotStartADevice() {
        QVariantMap properties{
            {"Alias", "Thing"}, {"Address", "AA\n          Ghost:\nBB"}, {"Connected", true}};
        const auto blocks = readBack(build(oneConnected(properties)));
        QCOMPARE(blocks.size(), 1);
        QCOMPARE(SystemProfilerBluetoothInfo::stringValue("Address", blocks[0].lines),
                 std::optional<QString>("AA           Ghost: BB"));
    }

    void batteryPercentageReadsBack_data() {
        QTest::addColumn<QVariant>("percentage");
        QTest::addColumn<std::optional<qint64>>("expected");
        QTest::newRow("byte") << QVariant::fromValue(uchar(0)) << std::optional<qint64>(0);
        QTest::newRow("wider integer") << QVariant::fromValue(42u) << std::optional<qint64>(42);
        QTest::newRow("string") << QVariant("42") << std::optional<qint64>();
    }
    void batteryPercentageReadsBack() {
        QFETCH(QVariant, percentage);
        QFETCH(std::optional<qint64>, expected);
        const ManagedObjects objects{{path("/org/bluez/hci0/dev_1"),
                                      {{device1, deviceProperties("AA:BB:CC:DD:EE:01", "Pad", true)},
                                       {"org.bluez.Battery1", {{"Percentage", percentage}}}}}};
        const auto blocks = readBack(build(objects));
        QCOMPARE(blocks.size(), 1);
        QCOMPARE(SystemProfilerBluetoothInfo::makeConnectedDevice(blocks[0]).batteryPercent, expected);
    }

    // An LE device has no Class, Icon or Modalias, and has an RSSI once
    // anything discovers: connected, it is never taken for a sighting.
    void connectedLowEnergyDeviceReadsBack_data() {
        QTest::addColumn<int>("appearance");
        QTest::addColumn<std::optional<DeviceKind>>("kind");
        const auto row = [](const char* name, int appearance, std::optional<DeviceKind> kind) {
            QTest::newRow(name) << appearance << kind;
        };
        row("keyboard", 0x03C1, DeviceKind::keyboard);
        row("mouse", 0x03C2, DeviceKind::mouse);
        row("gamepad", 0x03C4, DeviceKind::gameController);
        row("earbud", 0x0941, DeviceKind::headphones);
        row("headset", 0x0942, DeviceKind::headphones);
        row("phone", 0x0040, DeviceKind::iphone);
        row("generic HID", 0x03C0, std::nullopt);
        row("unknown", 0x0000, std::nullopt);
    }
    void connectedLowEnergyDeviceReadsBack() {
        QFETCH(int, appearance);
        QFETCH(std::optional<DeviceKind>, kind);
        QVariantMap properties{{"Alias", "Thing"},
                               {"Address", "AA:BB:CC:DD:EE:01"},
                               {"Connected", true},
                               {"RSSI", QVariant::fromValue(short(-60))},
                               {"Appearance", QVariant::fromValue(quint16(appearance))}};
        const auto blocks = readBack(build(oneConnected(properties)));
        QCOMPARE(blocks.size(), 1);
        const ConnectedDevice device = SystemProfilerBluetoothInfo::makeConnectedDevice(blocks[0]);
        QCOMPARE(device.rssi, std::nullopt);
        QVERIFY(!BluetoothBatteryReader::isSignalSighting(device));
        QCOMPARE(device.minorType ? BluetoothBatteryReader::kindForMinorType(*device.minorType)
                                  : std::nullopt,
                 kind);
        QCOMPARE(device.minorType.has_value(), appearance != 0 && appearance != 0x03C0);
    }

    void minorTypeForClass_data() {
        QTest::addColumn<quint32>("deviceClass");
        QTest::addColumn<std::optional<QString>>("expected");
        const auto row = [](const char* name, quint32 deviceClass, std::optional<QString> expected) {
            QTest::newRow(name) << deviceClass << expected;
        };
        row("zero", 0, std::nullopt);
        row("keyboard", 0x002540, "Keyboard");
        row("mouse", 0x002580, "Mouse");
        row("pointing only with service bits", 0x000580, "Mouse");
        row("combo", 0x0005C0, "Keyboard/Mouse");
        row("joystick", 0x000504, "Joystick");
        row("gamepad", 0x002508, "Gamepad");
        row("remote control", 0x00050C, "Remote Control");
        row("sensing device", 0x000510, "Sensing Device");
        row("pen tablet that also points", 0x000594, "Digitizer Tablet");
        row("card reader", 0x000518, "Card Reader");
        row("uncategorised peripheral", 0x000500, std::nullopt);
        row("unknown peripheral subtype with keyboard bits", 0x00057C, "Keyboard");
        row("unknown peripheral subtype alone", 0x00053C, std::nullopt);
        row("headset", 0x240404, "Headset");
        row("hands-free", 0x240408, "Hands-free");
        row("reserved audio minor", 0x24040C, std::nullopt);
        row("loudspeaker", 0x240414, "Loudspeaker");
        row("headphones", 0x240418, "Headphones");
        row("portable audio", 0x24041C, "Portable Audio");
        row("audio minor past the table", 0x24047C, std::nullopt);
        row("cellular", 0x000204, "Cellular");
        row("cordless", 0x000208, "Cordless");
        row("smartphone", 0x5A020C, "Smartphone");
        row("uncategorised phone", 0x000200, std::nullopt);
        row("desktop", 0x000104, "Desktop");
        row("laptop", 0x00010C, "Laptop");
        row("imaging major", 0x000680, std::nullopt);
        row("uncategorised major", 0x001F00, std::nullopt);
        row("bits above the class ignored", 0xFF002580, "Mouse");
    }
    void minorTypeForClass() {
        QFETCH(quint32, deviceClass);
        QFETCH(std::optional<QString>, expected);
        QCOMPARE(BluezReport::minorTypeForClass(deviceClass), expected);
    }

    void classWinsOverIconWhichFillsIn_data() {
        QTest::addColumn<quint32>("deviceClass");
        QTest::addColumn<QString>("icon");
        QTest::addColumn<std::optional<QString>>("expected");
        QTest::newRow("class names one")
            << 0x240418u << "input-gaming" << std::optional<QString>("Headphones");
        QTest::newRow("zero class, icon") << 0u << "input-gaming" << std::optional<QString>("Gamepad");
        QTest::newRow("unknown class, icon")
            << 0x000500u << "input-keyboard" << std::optional<QString>("Keyboard");
        QTest::newRow("icon mouse") << 0u << "input-mouse" << std::optional<QString>("Mouse");
        QTest::newRow("icon tablet") << 0u << "input-tablet" << std::optional<QString>("Digitizer Tablet");
        QTest::newRow("icon headset") << 0u << "audio-headset" << std::optional<QString>("Headset");
        QTest::newRow("icon headphones") << 0u << "audio-headphones" << std::optional<QString>("Headphones");
        QTest::newRow("icon phone") << 0u << "phone" << std::optional<QString>("Smartphone");
        QTest::newRow("icon computer") << 0u << "computer" << std::optional<QString>("Computer");
        QTest::newRow("icon case matters") << 0u << "Input-Mouse" << std::optional<QString>();
        QTest::newRow("neither") << 0u << "audio-card" << std::optional<QString>();
    }
    void classWinsOverIconWhichFillsIn() {
        QFETCH(quint32, deviceClass);
        QFETCH(QString, icon);
        QFETCH(std::optional<QString>, expected);
        QVariantMap properties = deviceProperties("AA:BB:CC:DD:EE:01", "Thing", true);
        properties["Class"] = QVariant::fromValue(deviceClass);
        properties["Icon"] = icon;
        const auto blocks = readBack(build(oneConnected(properties)));
        QCOMPARE(blocks.size(), 1);
        QCOMPARE(SystemProfilerBluetoothInfo::makeConnectedDevice(blocks[0]).minorType, expected);
    }

    void idsFromModalias_data() {
        QTest::addColumn<QString>("modalias");
        QTest::addColumn<std::optional<DeviceIds>>("expected");
        const auto row = [](const char* name, const char* modalias, std::optional<DeviceIds> expected) {
            QTest::newRow(name) << QString::fromLatin1(modalias) << expected;
        };
        row("bluetooth", "bluetooth:v004Cp2014d0100", DeviceIds{0x004C, 0x2014});
        row("usb", "usb:v046DpB01Ad0001", DeviceIds{0x046D, 0xB01A});
        row("lower-case digits", "usb:v046dpb01ad0001", DeviceIds{0x046D, 0xB01A});
        row("extreme values", "bluetooth:vFFFFp0000d0000", DeviceIds{0xFFFF, 0x0000});
        row("empty", "", std::nullopt);
        row("other bus", "pci:v8086p1234d0001", std::nullopt);
        row("no device version", "bluetooth:v004Cp2014", std::nullopt);
        row("trailing text", "bluetooth:v004Cp2014d0100x", std::nullopt);
        row("not hex", "bluetooth:v00GCp2014d0100", std::nullopt);
        row("sign in digits", "bluetooth:v+04Cp2014d0100", std::nullopt);
        row("letters swapped", "bluetooth:p004Cv2014d0100", std::nullopt);
        row("upper-case prefix", "Bluetooth:v004Cp2014d0100", std::nullopt);
    }
    void idsFromModalias() {
        QFETCH(QString, modalias);
        QFETCH(std::optional<DeviceIds>, expected);
        QCOMPARE(BluezReport::idsFromModalias(modalias), expected);
    }

    void failureLine_data() {
        QTest::addColumn<QString>("errorName");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("expected");
        QTest::newRow("no owner") << "org.freedesktop.DBus.Error.NameHasNoOwner"
                                  << "x"
                                  << "bluez-report: BlueZ (org.bluez) is not on the system bus\n";
        QTest::newRow("timeout") << "org.freedesktop.DBus.Error.Timeout"
                                 << "x"
                                 << "bluez-report: BlueZ did not answer within 5 s\n";
        QTest::newRow("access denied") << "org.freedesktop.DBus.Error.AccessDenied"
                                       << "policy says no"
                                       << "bluez-report: BlueZ refused access: policy says no\n";
        QTest::newRow("other, multi-line message")
            << "org.bluez.Error.Failed"
            << "line one\nline two"
            << "bluez-report: BlueZ failed: org.bluez.Error.Failed: line one "
               "line two\n";
    }
    void failureLine() {
        QFETCH(QString, errorName);
        QFETCH(QString, message);
        QFETCH(QString, expected);
        QCOMPARE(BluezReport::failureLine(errorName, message), expected);
    }
};

QTEST_GUILESS_MAIN(BluezReportTest)
#include "tst_bluezreport.moc"
