#include "StdoutCapture.h"
#include "platform/linux/SysfsPowerSupplies.h"
#include "sources/DeviceBatteryReader.h"
#include "sources/HIDBatteryReader.h"
#include "sources/InternalBatteryReader.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using Attributes = QMap<QString, QByteArray>;
Q_DECLARE_METATYPE(Attributes)
Q_DECLARE_METATYPE(std::optional<bool>)

namespace {

const QByteArray deskAddress = QByteArray::fromHex("AABBCC0D0E0F");

// <tmp>/sys/class/power_supply/NAME -> ../../devices/dev-NAME/power_supply/NAME,
// with device -> ../.. as the kernel lays it out.
class SysfsTree {
public:
    SysfsTree() { QDir(m_dir.path()).mkpath(QStringLiteral("sys/class/power_supply")); }
    QString root() const { return m_dir.path() + QStringLiteral("/sys/class/power_supply"); }
    QString base() const { return m_dir.path(); }

    // Values "<dir>" and "<fifo>" make a folder or a FIFO instead of a file.
    void add(const QString& name, const Attributes& attributes, const QByteArray& uevent = {}) {
        const QString device = m_dir.path() + QStringLiteral("/sys/devices/dev-") + name;
        const QString folder = device + QStringLiteral("/power_supply/") + name;
        QVERIFY(QDir().mkpath(folder));
        for (auto it = attributes.begin(); it != attributes.end(); ++it)
            write(folder + QLatin1Char('/') + it.key(), it.value());
        if (!uevent.isNull())
            write(device + QStringLiteral("/uevent"), uevent);
        QVERIFY(QFile::link(QStringLiteral("../.."), folder + QStringLiteral("/device")));
        QVERIFY(QFile::link(QStringLiteral("../../devices/dev-%1/power_supply/%1").arg(name),
                            root() + QLatin1Char('/') + name));
    }

    static void write(const QString& path, const QByteArray& bytes) {
        if (bytes == "<dir>") {
            QVERIFY(QDir().mkpath(path));
        } else if (bytes == "<fifo>") {
            QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0644), 0);
        } else {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QCOMPARE(file.write(bytes), bytes.size());
        }
    }

private:
    QTemporaryDir m_dir;
};

Attributes deviceBattery(const QByteArray& capacity, const QByteArray& model = {}) {
    Attributes attributes{{"type", "Battery\n"}, {"scope", "Device\n"}, {"capacity", capacity + '\n'}};
    if (!model.isNull())
        attributes.insert("model_name", model + '\n');
    return attributes;
}

} // namespace

class SysfsPowerSuppliesTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void registryEntry_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<Attributes>("attributes");
        QTest::addColumn<QByteArray>("uevent");
        QTest::addColumn<QVariant>("percent");
        QTest::addColumn<QVariant>("product");
        QTest::addColumn<QVariant>("address");
        const QVariant none;
        const QByteArray noUevent;
        QTest::newRow("mouse with HID_UNIQ")
            << "hid-0005:046D:B023.0001-battery" << deviceBattery("42", "Desk Mouse")
            << QByteArray("HID_ID=0005:0000046D:0000B023\nHID_NAME=Desk Mouse\nHID_UNIQ=aa:bb:cc:0d:0e:0f\n")
            << QVariant(qint64(42)) << QVariant(QStringLiteral("Desk Mouse")) << QVariant(deskAddress);
        QTest::newRow("HID_UNIQ wins over name") << "hid-11:22:33:44:55:66-battery" << deviceBattery("42")
                                                 << QByteArray("HID_UNIQ=AA:BB:CC:0D:0E:0F")
                                                 << QVariant(qint64(42)) << none << QVariant(deskAddress);
        QTest::newRow("address only in name")
            << "hid-aa:bb:cc:0d:0e:0f-battery" << deviceBattery("7", "Keys") << noUevent
            << QVariant(qint64(7)) << QVariant(QStringLiteral("Keys")) << QVariant(deskAddress);
        QTest::newRow("controller address in name")
            << "ps-controller-battery-aa:bb:cc:0d:0e:0f" << deviceBattery("100") << QByteArray("HID_UNIQ=\n")
            << QVariant(qint64(100)) << none << QVariant(deskAddress);
        QTest::newRow("controller without address")
            << "ps-controller-battery-usb0" << deviceBattery("55", "Pad") << QByteArray("HID_UNIQ=\n")
            << QVariant(qint64(55)) << QVariant(QStringLiteral("Pad")) << none;
        QTest::newRow("capacity 101 passed on")
            << "hid-a-battery" << deviceBattery("101") << noUevent << QVariant(qint64(101)) << none << none;
        QTest::newRow("capacity -1 passed on")
            << "hid-b-battery" << deviceBattery("-1") << noUevent << QVariant(qint64(-1)) << none << none;
        QTest::newRow("capacity not a number")
            << "hid-c-battery" << deviceBattery("4x2") << noUevent << none << none << none;
        QTest::newRow("capacity unreadable folder")
            << "hid-d-battery" << Attributes{{"scope", "Device"}, {"capacity", "<dir>"}} << noUevent << none
            << none << none;
        QTest::newRow("capacity FIFO")
            << "hid-e-battery" << Attributes{{"scope", "Device"}, {"capacity", "<fifo>"}} << noUevent << none
            << none << none;
        QTest::newRow("capacity oversized") << "hid-f-battery" << deviceBattery("42" + QByteArray(5000, ' '))
                                            << noUevent << none << none << none;
        QTest::newRow("malformed uevent")
            << "hid-g-battery" << deviceBattery("30")
            << QByteArray(
                   "garbage\xff\xfe\n=\nHID_UNIQ\nHID_UNIQ=zz:bb:cc:0d:0e:0f\nHID_UNIQ=aa:bb:cc:0d:0e\n", 70)
            << QVariant(qint64(30)) << none << none;
        QTest::newRow("seven pairs") << "hid-aa:bb:cc:0d:0e:0f:10-battery" << deviceBattery("30")
                                     << QByteArray("HID_UNIQ=aa:bb:cc:0d:0e:0f:10") << QVariant(qint64(30))
                                     << none << none;
        QTest::newRow("system battery")
            << "BAT0" << Attributes{{"type", "Battery"}, {"scope", "System"}, {"capacity", "80"}} << noUevent
            << none << none << none;
        QTest::newRow("no scope") << "BAT1" << Attributes{{"type", "Battery"}, {"capacity", "80"}} << noUevent
                                  << none << none << none;
    }
    void registryEntry() {
        QFETCH(QString, name);
        QFETCH(Attributes, attributes);
        QFETCH(QByteArray, uevent);
        SysfsTree tree;
        tree.add(name, attributes, uevent);
        QList<PowerSupplies::RegistryEntry> entries;
        QCOMPARE(SysfsPowerSupplies(tree.root()).registryEntries(entries), 0);
        QCOMPARE(entries.size(), 1);
        QTEST(entries[0].batteryPercent, "percent");
        QTEST(entries[0].product, "product");
        QTEST(entries[0].bdAddr, "address");
        // A device battery, as the kernel-only accessories are read, has the same address.
        QList<PowerSupplies::DeviceBattery> batteries;
        QCOMPARE(SysfsPowerSupplies(tree.root()).deviceBatteries(batteries), 0);
        if (!batteries.isEmpty()) {
            QFETCH(QVariant, address);
            QCOMPARE(batteries[0].address, address.toByteArray());
        }
    }

    void powerSource_data() {
        QTest::addColumn<Attributes>("attributes");
        QTest::addColumn<QVariantMap>("expected");
        const QString internal = QStringLiteral("Internal");
        auto description = [](const QString& transport, const QVariant& current = {},
                              const QVariant& maximum = {}, const QString& unit = {}) {
            QVariantMap map{{QStringLiteral("Transport Type"), transport}};
            if (current.isValid())
                map.insert(QStringLiteral("Current Capacity"), current);
            if (maximum.isValid())
                map.insert(QStringLiteral("Max Capacity"), maximum);
            if (!unit.isEmpty())
                map.insert(QStringLiteral("Capacity Unit"), unit);
            return map;
        };
        QTest::newRow("energy") << Attributes{{"type", "Battery\n"},         {"energy_now", "30000000\n"},
                                              {"energy_full", "60000000\n"}, {"charge_now", "1"},
                                              {"charge_full", "9"},          {"capacity", "49\n"}}
                                << description(internal, qint64(30000000), qint64(60000000), "energy");
        QTest::newRow("charge") << Attributes{{"type", "Battery"},
                                              {"scope", "System"},
                                              {"charge_now", "2000"},
                                              {"charge_full", "4000"},
                                              {"capacity", "49"}}
                                << description(internal, qint64(2000), qint64(4000), "charge");
        QTest::newRow("energy incomplete, charge")
            << Attributes{{"type", "Battery"}, {"energy_now", "5"}, {"charge_now", "1"}, {"charge_full", "4"}}
            << description(internal, qint64(1), qint64(4), "charge");
        QTest::newRow("only capacity") << Attributes{{"type", "Battery"}, {"capacity", "77"}}
                                       << description(internal, qint64(77), qint64(100), "percent");
        QTest::newRow("nothing readable")
            << Attributes{{"type", "Battery"}, {"capacity", "<fifo>"}} << description(internal);
        QTest::newRow("mains") << Attributes{{"type", "Mains"}, {"online", "1"}} << description("Mains");
        QTest::newRow("usb") << Attributes{{"type", "USB"}, {"capacity", "50"}} << description("USB");
        QTest::newRow("device battery") << deviceBattery("50") << description("Device");
        QTest::newRow("no type") << Attributes{{"capacity", "50"}} << QVariantMap();
    }
    void powerSource() {
        QFETCH(Attributes, attributes);
        SysfsTree tree;
        tree.add(QStringLiteral("PS0"), attributes);
        const QList<QVariantMap> descriptions = SysfsPowerSupplies(tree.root()).powerSourceDescriptions();
        QCOMPARE(descriptions.size(), 1);
        QTEST(descriptions[0], "expected");
    }

    void internalPercent_data() {
        QTest::addColumn<QList<Attributes>>("supplies"); // named PS0, PS1, … in order
        QTest::addColumn<QVariant>("expected");
        const Attributes mains{{"type", "Mains"}, {"online", "1"}};
        QTest::newRow("desktop with mains") << QList<Attributes>{mains} << QVariant();
        QTest::newRow("empty class") << QList<Attributes>{} << QVariant();
        QTest::newRow("laptop energy")
            << QList<Attributes>{mains, {{"type", "Battery"}, {"energy_now", "43"}, {"energy_full", "50"}}}
            << QVariant(qint64(86));
        QTest::newRow("two batteries: total energy over total capacity")
            << QList<Attributes>{{{"type", "Battery"},
                                  {"energy_now", "48000000"},
                                  {"energy_full", "60000000"}},
                                 {{"type", "Battery"},
                                  {"energy_now", "1500000"},
                                  {"energy_full", "60000000"}}}
            << QVariant(qint64(41));
        QTest::newRow("every battery that passes, in different units")
            << QList<Attributes>{{{"type", "Battery"}, {"energy_now", "1"}, {"energy_full", "0"}},
                                 {{"type", "Battery"}, {"charge_now", "30"}, {"charge_full", "100"}},
                                 {{"type", "Battery"}, {"capacity", "90"}}}
            << QVariant(qint64(60));
        QTest::newRow("device battery ignored")
            << QList<Attributes>{deviceBattery("90"), {{"type", "Battery"}, {"capacity", "12"}}}
            << QVariant(qint64(12));
    }
    void internalPercent() {
        QFETCH(QList<Attributes>, supplies);
        QFETCH(QVariant, expected);
        SysfsTree tree;
        for (qsizetype i = 0; i < supplies.size(); ++i)
            tree.add(QStringLiteral("PS%1").arg(i), supplies[i]);
        const std::optional<qint64> result = readInternalBatteryPercent(SysfsPowerSupplies(tree.root()));
        QCOMPARE(result.has_value(), expected.isValid());
        if (result)
            QCOMPARE(*result, expected.toLongLong());
    }

    // The kernel's status, through to the laptop's reading and a device battery's row.
    void chargingFromStatus_data() {
        QTest::addColumn<QString>("status");
        QTest::addColumn<std::optional<bool>>("charging");
        QTest::newRow("charging") << "Charging" << std::optional(true);
        QTest::newRow("full on the charger") << "Full" << std::optional(true);
        QTest::newRow("discharging") << "Discharging" << std::optional(false);
        QTest::newRow("not charging") << "Not charging" << std::optional(false);
        QTest::newRow("unknown") << "Unknown" << std::optional<bool>();
        QTest::newRow("absent") << QString() << std::optional<bool>();
    }
    void chargingFromStatus() {
        QFETCH(QString, status);
        QFETCH(std::optional<bool>, charging);
        Attributes laptop{{"type", "Battery"}, {"capacity", "15"}};
        Attributes mouse{{"type", "Battery"}, {"scope", "Device"}, {"capacity", "12"}};
        if (!status.isNull()) {
            laptop.insert("status", status.toUtf8());
            mouse.insert("status", status.toUtf8());
        }
        SysfsTree tree;
        tree.add("BAT0", laptop);
        tree.add("hidpp_battery_0", mouse);
        const SysfsPowerSupplies supplies(tree.root());
        const std::optional<InternalBatteryReading> reading = readInternalBattery(supplies);
        QVERIFY(reading);
        QCOMPARE(reading->percent, 15);
        QCOMPARE(reading->isCharging, charging);
        const QList<PowerSupplies::DeviceBattery> batteries = DeviceBatteryReader::scan(supplies);
        QCOMPARE(batteries.size(), 1);
        QCOMPARE(DeviceBatteryReader::makeReading(batteries[0]).isCharging, charging);
    }

    void scanOverTree() {
        SysfsTree tree;
        tree.add(QStringLiteral("hid-aa:bb:cc:0d:0e:0f-battery"), deviceBattery("42", "Desk Mouse"));
        tree.add(QStringLiteral("hid-x-battery"), deviceBattery("101"));
        tree.add(QStringLiteral("hid-y-battery"), deviceBattery("-1"));
        tree.add(QStringLiteral("AC"), {{"type", "Mains"}});
        QList<HIDBatteryReader::Reading> readings;
        QStringList lines;
        {
            StdoutCapture capture;
            readings = HIDBatteryReader::scanRegistry(SysfsPowerSupplies(tree.root()));
            lines = capture.lines();
        }
        QCOMPARE(readings.size(), 1);
        QCOMPARE(readings[0],
                 (HIDBatteryReader::Reading{"Desk Mouse", 42, QStringLiteral("AA:BB:CC:0D:0E:0F")}));
        QCOMPARE(lines,
                 QStringList{"Voltwren [debug]: full IOService registry scan checked 4 entries, found 1 "
                             "with BatteryPercent: [\"Desk Mouse=42% [AA:BB:CC:0D:0E:0F]\"]"});
    }

    void symlinksLeavingTheTreeAreNotFollowed() {
        SysfsTree tree;
        // Outside <tmp>/sys: a whole entry, and one attribute of an entry inside.
        const QString outside = tree.base() + QStringLiteral("/outside");
        QVERIFY(QDir().mkpath(outside + QStringLiteral("/evil")));
        for (const auto& [name, value] :
             {std::pair{"scope", "Device"}, {"capacity", "50"}, {"type", "Battery"}})
            SysfsTree::write(outside + QStringLiteral("/evil/") + name, value);
        QVERIFY(QFile::link(outside + QStringLiteral("/evil"), tree.root() + QStringLiteral("/evil")));
        tree.add(QStringLiteral("hid-z-battery"), {{"scope", "Device"}});
        QVERIFY(QFile::link(outside + QStringLiteral("/evil/capacity"),
                            tree.base() + QStringLiteral("/sys/devices/dev-hid-z-battery/power_supply/"
                                                         "hid-z-battery/capacity")));
        const SysfsPowerSupplies supplies(tree.root());
        QList<PowerSupplies::RegistryEntry> entries;
        QCOMPARE(supplies.registryEntries(entries), 0);
        QCOMPARE(entries.size(), 2); // both counted, neither read
        for (const PowerSupplies::RegistryEntry& entry : std::as_const(entries))
            QVERIFY(!entry.batteryPercent.isValid());
        const QVariantMap device{{QStringLiteral("Transport Type"), QStringLiteral("Device")}};
        QCOMPARE(supplies.powerSourceDescriptions(), (QList<QVariantMap>{QVariantMap(), device}));
    }

    void missingRootIsEmpty() {
        QTemporaryDir dir;
        QList<PowerSupplies::RegistryEntry> entries;
        const SysfsPowerSupplies supplies(dir.path() + QStringLiteral("/sys/class/power_supply"));
        QCOMPARE(supplies.registryEntries(entries), 0);
        QVERIFY(entries.isEmpty());
        QVERIFY(supplies.powerSourceDescriptions().isEmpty());
    }

    void rootThatIsAFileFails() {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("sys/class")));
        SysfsTree::write(dir.path() + QStringLiteral("/sys/class/power_supply"), "x");
        QList<PowerSupplies::RegistryEntry> entries;
        QCOMPARE(SysfsPowerSupplies(dir.path() + QStringLiteral("/sys/class/power_supply"))
                     .registryEntries(entries),
                 ENOTDIR);
    }

    void realSystemDoesNotFail() {
        QList<PowerSupplies::RegistryEntry> entries;
        QCOMPARE(SysfsPowerSupplies().registryEntries(entries), 0);
        const std::optional<qint64> percent = readInternalBatteryPercent();
        if (percent)
            QVERIFY(*percent >= 0 && *percent <= 100);
        StdoutCapture capture;
        for (const HIDBatteryReader::Reading& reading : HIDBatteryReader::scanRegistry())
            QVERIFY(reading.percent >= 0 && reading.percent <= 100);
        QCOMPARE(capture.lines().size(), 1);
    }
};

QTEST_GUILESS_MAIN(SysfsPowerSuppliesTest)
#include "tst_sysfspowersupplies.moc"
