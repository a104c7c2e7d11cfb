#include "BluetoothBatteryReader.h"

#include "ChargePercent.h"
#include "app/DiagnosticLog.h"
#include "model/DeviceName.h"

#include <array>
#include <utility>

namespace BluetoothBatteryReader {

namespace {

constexpr qint64 appleVendorID = 0x004C;

QString addressText(const std::optional<QString>& address) {
    return address ? *address : QStringLiteral("no address");
}

bool areDuplicates(const ConnectedDevice& earlier, const ConnectedDevice& later) {
    if (!earlier.vendorID || !earlier.productID || !later.vendorID || !later.productID)
        return true;
    if (*earlier.vendorID != *later.vendorID || *earlier.productID != *later.productID)
        return false;
    // Every report entry is its own BlueZ device here: two of the same model
    // (two identical controllers) carry different addresses and are both real.
    if (earlier.address && later.address && *earlier.address != *later.address)
        return false;
    return true;
}

void insertFirst(PercentTable& table, const QString& key, qint64 percent) {
    // The first value seen for a key is kept; later ones are ignored.
    if (!table.contains(key))
        table.insert(key, percent);
}

} // namespace

QString lowercased(const QString& text) {
    return text.toLower();
}

int detailScore(const ConnectedDevice& device) {
    int score = 0;
    if (device.subReadings) {
        score = 2;
        for (const SubBatteryReading& component : *device.subReadings) {
            if (component.id != QLatin1String("case") && component.percent) {
                score = 6;
                break;
            }
        }
    }
    if (device.batteryPercent)
        ++score;
    return score;
}

QList<ConnectedDevice> collapseDuplicates(const QList<ConnectedDevice>& devices) {
    QList<ConnectedDevice> result;
    result.reserve(devices.size());
    // Index of the first result entry of each name: only that one is compared.
    QHash<QString, qsizetype> firstByName;
    for (const ConnectedDevice& device : devices) {
        const auto found = firstByName.constFind(device.name);
        if (found == firstByName.cend()) {
            firstByName.insert(device.name, result.size());
            result.append(device);
            continue;
        }
        ConnectedDevice& earlier = result[*found];
        if (!areDuplicates(earlier, device)) {
            result.append(device);
            continue;
        }
        const bool laterWins = detailScore(earlier) < detailScore(device);
        const ConnectedDevice& winner = laterWins ? device : earlier;
        const ConnectedDevice& loser = laterWins ? earlier : device;
        diagnosticLog(QStringLiteral("BluetoothBatteryReader: collapsed duplicate \"") +
                      DeviceName::forDisplay(device.name) + QStringLiteral("\" entry \u2014 kept ") +
                      addressText(winner.address) + QStringLiteral(", discarded ") +
                      addressText(loser.address));
        if (laterWins)
            earlier = device;
    }
    return result;
}

bool isSignalSighting(const ConnectedDevice& device) {
    return device.rssi && !device.minorType && !device.vendorID && !device.productID;
}

QList<ConnectedDevice> withoutSignalSightings(const QList<ConnectedDevice>& devices) {
    QList<ConnectedDevice> kept;
    kept.reserve(devices.size());
    for (const ConnectedDevice& device : devices) {
        if (!isSignalSighting(device))
            kept.append(device);
    }
    return kept;
}

PercentTable makeGattByName(const QList<GATTBatteryReader::Reading>& readings) {
    PercentTable table;
    table.reserve(readings.size());
    for (const GATTBatteryReader::Reading& reading : readings) {
        // The reader takes its value as the peripheral sends it: 255 is "unknown".
        const QString what = QStringLiteral("GATT reading of ") + DeviceName::forDisplay(reading.name);
        if (const std::optional<qint64> percent = ChargePercent::checked(reading.batteryPercent, what))
            insertFirst(table, lowercased(reading.name), *percent);
    }
    return table;
}

PercentTable makeHidByAddress(const QList<HIDBatteryReader::Reading>& readings) {
    PercentTable table;
    for (const HIDBatteryReader::Reading& reading : readings) {
        if (reading.address)
            insertFirst(table, *reading.address, reading.percent);
    }
    return table;
}

PercentTable makeHidByName(const QList<HIDBatteryReader::Reading>& readings) {
    PercentTable table;
    for (const HIDBatteryReader::Reading& reading : readings) {
        if (!reading.address)
            insertFirst(table, lowercased(reading.name), reading.percent);
    }
    return table;
}

const QHash<qint64, DeviceKind>& appleProductKinds() {
    // A function-local static is initialised exactly once, safely from any thread.
    static const QHash<qint64, DeviceKind> table = {
        {0x2002, DeviceKind::airpods},    {0x200F, DeviceKind::airpods},    {0x2013, DeviceKind::airpods},
        {0x201B, DeviceKind::airpods},    {0x200E, DeviceKind::airpodsPro}, {0x2014, DeviceKind::airpodsPro},
        {0x2024, DeviceKind::airpodsPro}, {0x2027, DeviceKind::airpodsPro}, {0x200A, DeviceKind::airpodsMax},
        {0x201F, DeviceKind::airpodsMax}, {0x202D, DeviceKind::airpodsMax},
    };
    return table;
}

std::optional<DeviceKind> kindForAppleProduct(std::optional<qint64> productID) {
    if (!productID)
        return std::nullopt;
    const QHash<qint64, DeviceKind>& table = appleProductKinds();
    const auto found = table.constFind(*productID);
    if (found == table.cend())
        return std::nullopt;
    return *found;
}

std::optional<DeviceKind> kindForMinorType(const QString& minorType) {
    static const QHash<QString, DeviceKind> table = {
        {QStringLiteral("mouse"), DeviceKind::mouse},
        {QStringLiteral("keyboard"), DeviceKind::keyboard},
        {QStringLiteral("pointing"), DeviceKind::trackpad},
        {QStringLiteral("trackpad"), DeviceKind::trackpad},
        {QStringLiteral("headphones"), DeviceKind::headphones},
        {QStringLiteral("headset"), DeviceKind::headphones},
        {QStringLiteral("gamepad"), DeviceKind::gameController},
        {QStringLiteral("joystick"), DeviceKind::gameController},
        {QStringLiteral("smartphone"), DeviceKind::iphone},
        {QStringLiteral("phone"), DeviceKind::iphone},
    };
    const auto found = table.constFind(lowercased(minorType));
    if (found == table.cend())
        return std::nullopt;
    return *found;
}

DeviceKind inferKind(const QString& name) {
    struct Rule {
        std::initializer_list<const char*> words;
        DeviceKind kind;
    };
    // Order matters: "iPhone Keyboard" is a phone, "Headphone Controller" headphones.
    static const std::array<Rule, 6> rules = {{
        {{"iphone"}, DeviceKind::iphone},
        {{"trackpad", "touchpad"}, DeviceKind::trackpad},
        {{"keyboard"}, DeviceKind::keyboard},
        {{"mouse", "anywhere", "master", "vertical", "trackball"}, DeviceKind::mouse},
        {{"headphone", "headset", "buds", "earbud", "earphone"}, DeviceKind::headphones},
        {{"controller", "gamepad", "joystick"}, DeviceKind::gameController},
    }};
    const QString lower = lowercased(name);
    for (const Rule& rule : rules) {
        for (const char* word : rule.words) {
            if (lower.contains(QLatin1String(word)))
                return rule.kind;
        }
    }
    return DeviceKind::otherAccessory;
}

DeviceKind kindOf(const ConnectedDevice& device) {
    if (device.vendorID == appleVendorID && device.subReadings)
        return kindForAppleProduct(device.productID).value_or(DeviceKind::airpods);
    if (device.minorType) {
        if (const std::optional<DeviceKind> kind = kindForMinorType(*device.minorType))
            return *kind;
    }
    return inferKind(device.name);
}

namespace {

AccessoryReading readingFromSources(const ConnectedDevice& device, const PercentTable& gattByName,
                                    const PercentTable& hidByAddress, const PercentTable& hidByName,
                                    const PrivateReader& privateReader) {
    AccessoryReading reading;
    reading.id = device.address ? *device.address : device.name;
    reading.name = device.name;
    reading.kind = kindOf(device);
    reading.isConnected = true;
    reading.batteryPercent = device.batteryPercent;
    reading.subReadings = device.subReadings;
    if (reading.batteryPercent)
        return reading;

    const QString lowerName = lowercased(device.name);
    if (const auto found = gattByName.constFind(lowerName); found != gattByName.cend()) {
        reading.batteryPercent = *found;
        return reading;
    }
    if (device.address) {
        if (const auto found = hidByAddress.constFind(*device.address); found != hidByAddress.cend()) {
            reading.batteryPercent = *found;
            return reading;
        }
    }
    if (const auto found = hidByName.constFind(lowerName); found != hidByName.cend()) {
        reading.batteryPercent = *found;
        return reading;
    }
    // Devices that list their own components were already read in full by the report.
    if (device.subReadings || !device.address || !privateReader)
        return reading;

    const std::optional<IOBluetoothPrivateBatteryReader::Reading> answer = privateReader(*device.address);
    if (!answer)
        return reading;
    if (const auto* single = std::get_if<IOBluetoothPrivateBatteryReader::Single>(&*answer)) {
        reading.batteryPercent = single->percent;
    } else if (const auto* multi = std::get_if<IOBluetoothPrivateBatteryReader::Multi>(&*answer)) {
        SystemProfilerBluetoothInfo::ComponentReadings components =
            SystemProfilerBluetoothInfo::componentReadings(multi->left, multi->right, multi->caseLevel);
        reading.subReadings = std::move(components.readings);
        reading.batteryPercent = components.overallPercent;
    }
    return reading;
}

std::optional<qint64> percentOf(const std::optional<AdvertisedBattery::Level>& level) {
    return level ? std::optional<qint64>(level->percent) : std::nullopt;
}

void applyAdvertised(AccessoryReading& reading, const ConnectedDevice& device,
                     const AdvertisedBattery::Levels& levels) {
    // What the report read itself stays.
    if (device.subReadings)
        return;
    if (device.vendorID == appleVendorID)
        reading.kind = kindForAppleProduct(device.productID ? device.productID : levels.productID)
                           .value_or(DeviceKind::airpods);
    if (!levels.left && !levels.right && !levels.caseLevel) {
        if (!reading.batteryPercent && levels.single) {
            reading.batteryPercent = levels.single->percent;
            reading.isCharging = levels.single->charging;
        }
        return;
    }
    SystemProfilerBluetoothInfo::ComponentReadings components =
        SystemProfilerBluetoothInfo::componentReadings(percentOf(levels.left), percentOf(levels.right),
                                                       percentOf(levels.caseLevel));
    const std::optional<AdvertisedBattery::Level> sources[] = {levels.left, levels.right, levels.caseLevel};
    for (qsizetype i = 0; i < components.readings.size() && i < 3; ++i) {
        if (sources[i])
            components.readings[i].seenAt = sources[i]->seenAt;
    }
    reading.subReadings = std::move(components.readings);
    if (components.overallPercent) {
        reading.batteryPercent = components.overallPercent;
        // The pair charges when the bud that sets its charge does (both, when they are level).
        bool charging = true;
        for (const std::optional<AdvertisedBattery::Level>& bud : {levels.left, levels.right}) {
            if (bud && bud->percent == *components.overallPercent)
                charging = charging && bud->charging;
        }
        reading.isCharging = charging;
    }
}

} // namespace

AccessoryReading makeReading(const ConnectedDevice& device, const PercentTable& gattByName,
                             const PercentTable& hidByAddress, const PercentTable& hidByName,
                             const PrivateReader& privateReader, const AdvertisedBattery::Table& advertised) {
    const auto levels = device.address ? advertised.constFind(device.address->toUpper()) : advertised.cend();
    if (levels == advertised.cend())
        return readingFromSources(device, gattByName, hidByAddress, hidByName, privateReader);
    // The adverts already say what the helper would be asked.
    AccessoryReading reading = readingFromSources(device, gattByName, hidByAddress, hidByName, {});
    applyAdvertised(reading, device, *levels);
    return reading;
}

QList<AccessoryReading> aggregate(const QList<ConnectedDevice>& profiler,
                                  const std::function<QList<GATTBatteryReader::Reading>()>& gattSnapshot,
                                  const std::function<QList<HIDBatteryReader::Reading>()>& registryScan,
                                  const PrivateReader& privateReader,
                                  const AdvertisedBattery::Table& advertised) {
    const QList<ConnectedDevice> devices = withoutSignalSightings(collapseDuplicates(profiler));
    const PercentTable gattByName =
        makeGattByName(gattSnapshot ? gattSnapshot() : QList<GATTBatteryReader::Reading>{});
    const QList<HIDBatteryReader::Reading> registry =
        registryScan ? registryScan() : QList<HIDBatteryReader::Reading>{};
    const PercentTable hidByAddress = makeHidByAddress(registry);
    const PercentTable hidByName = makeHidByName(registry);

    QList<AccessoryReading> readings;
    readings.reserve(devices.size());
    for (const ConnectedDevice& device : devices)
        readings.append(makeReading(device, gattByName, hidByAddress, hidByName, privateReader, advertised));
    return readings;
}

} // namespace BluetoothBatteryReader
