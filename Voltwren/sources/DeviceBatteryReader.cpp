#include "DeviceBatteryReader.h"

#include <QSet>

namespace DeviceBatteryReader {

namespace {

// Input event codes of the kernel's input ABI.
constexpr int evKey = 0x01, evRel = 0x02, evAbs = 0x03;
constexpr int relX = 0x00, relY = 0x01, absX = 0x00, absY = 0x01;
constexpr int btnLeft = 0x110, btnJoystick = 0x120, btnThumbRight = 0x13e, btnToolPen = 0x140,
              btnToolFinger = 0x145, btnTriggerHappy = 0x2c0, btnTriggerHappyLast = 0x2e7;

// One capability bitmap as sysfs writes it: hexadecimal words of the
// kernel's long, the most significant first.
class Bitmap {
public:
    explicit Bitmap(const QString& text) {
        const QStringList words = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        for (auto word = words.crbegin(); word != words.crend(); ++word)
            m_words.append(word->toULongLong(nullptr, 16));
    }
    bool has(int bit) const {
        const qsizetype word = bit / bitsPerWord;
        return word < m_words.size() && (m_words[word] >> (bit % bitsPerWord)) & 1u;
    }
    bool hasAny(int first, int last) const {
        for (int bit = first; bit <= last; ++bit) {
            if (has(bit))
                return true;
        }
        return false;
    }
    bool hasAll(int first, int last) const {
        for (int bit = first; bit <= last; ++bit) {
            if (!has(bit))
                return false;
        }
        return true;
    }

private:
    static constexpr int bitsPerWord = int(sizeof(long)) * 8;
    QList<qulonglong> m_words;
};

// What one input device is, as the desktop's input classification tells it.
std::optional<DeviceKind> kindOfInput(const QMap<QString, QString>& capabilities) {
    const Bitmap ev(capabilities.value(QStringLiteral("ev")));
    const Bitmap key(capabilities.value(QStringLiteral("key")));
    const Bitmap rel(capabilities.value(QStringLiteral("rel")));
    const Bitmap abs(capabilities.value(QStringLiteral("abs")));
    if (!ev.has(evKey))
        return std::nullopt;
    if (key.hasAny(btnJoystick, btnThumbRight) || key.hasAny(btnTriggerHappy, btnTriggerHappyLast))
        return DeviceKind::gameController;
    if (ev.has(evAbs) && abs.has(absX) && abs.has(absY) && key.has(btnToolFinger) && !key.has(btnToolPen))
        return DeviceKind::trackpad;
    if (ev.has(evRel) && rel.has(relX) && rel.has(relY) && key.has(btnLeft))
        return DeviceKind::mouse;
    // Escape, the digits and the first letters: a full keyboard.
    if (key.hasAll(1, 31))
        return DeviceKind::keyboard;
    return std::nullopt;
}

// Drivers that only ever drive one kind of accessory.
std::optional<DeviceKind> kindFromDriver(const QString& driver) {
    static const QHash<QString, DeviceKind> table = {
        {QStringLiteral("playstation"), DeviceKind::gameController},
        {QStringLiteral("sony"), DeviceKind::gameController},
        {QStringLiteral("nintendo"), DeviceKind::gameController},
        {QStringLiteral("steam"), DeviceKind::gameController},
        {QStringLiteral("wiimote"), DeviceKind::gameController},
        {QStringLiteral("xpadneo"), DeviceKind::gameController},
        {QStringLiteral("apple"), DeviceKind::keyboard},
    };
    const auto found = table.constFind(driver);
    return found == table.cend() ? std::nullopt : std::optional<DeviceKind>(*found);
}

DeviceKind kindOf(const Battery& battery) {
    for (const std::optional<QString>& name : {battery.modelName, battery.hidName}) {
        if (name) {
            if (const DeviceKind kind = BluetoothBatteryReader::inferKind(*name);
                kind != DeviceKind::otherAccessory)
                return kind;
        }
    }
    if (const std::optional<DeviceKind> kind = kindFromInputs(battery.inputCapabilities))
        return *kind;
    if (battery.driver) {
        if (const std::optional<DeviceKind> kind = kindFromDriver(*battery.driver))
            return *kind;
    }
    return DeviceKind::otherAccessory;
}

std::optional<qint64> validCapacity(const Battery& battery) {
    if (battery.capacity && *battery.capacity >= 0 && *battery.capacity <= 100)
        return battery.capacity;
    return std::nullopt;
}

// Whole-number stand-ins for the kernel's levels, as the desktop's power
// daemon maps them, so that a Low or Critical device still alerts.
std::optional<qint64> levelPercent(const QString& level) {
    static const QHash<QString, qint64> table = {
        {QStringLiteral("Full"), 100}, {QStringLiteral("High"), 70},    {QStringLiteral("Normal"), 55},
        {QStringLiteral("Low"), 10},   {QStringLiteral("Critical"), 5},
    };
    const auto found = table.constFind(level);
    return found == table.cend() ? std::nullopt : std::optional<qint64>(*found);
}

// A headset's receiver keeps its supply while the headset is off.
bool switchedOff(const Battery& battery) {
    return battery.wirelessStatus == QLatin1String("disconnected");
}

std::optional<qint64> chargeOf(const Battery& battery) {
    // No battery in it (a mouse's taken out, a controller's empty slot), or
    // a headset that is off: what capacity says is not its charge now.
    if (battery.present == 0 || switchedOff(battery))
        return std::nullopt;
    const std::optional<qint64> capacity = validCapacity(battery);
    // A HID battery that has not reported yet says "Unknown" and 0 or nothing.
    if (battery.status == QLatin1String("Unknown") && (!capacity || *capacity == 0))
        return std::nullopt;
    if (capacity)
        return capacity;
    return battery.capacityLevel ? levelPercent(*battery.capacityLevel) : std::nullopt;
}

QString addressText(const QByteArray& bytes) {
    return bytes.size() == 6 ? QString::fromLatin1(bytes.toHex(':').toUpper()) : QString();
}

// The name lookup of the aggregation hands an address-less battery's charge
// to the listed accessory of the same name ("Unknown Accessory" without a
// model), so a listed row of that name showing that charge took it.
bool chargeTakenByName(const QList<AccessoryReading>& listed, const Battery& battery) {
    const std::optional<qint64> capacity = chargeOf(battery) ? validCapacity(battery) : std::nullopt;
    if (!capacity)
        return false;
    const QString name =
        BluetoothBatteryReader::lowercased(battery.modelName.value_or(QStringLiteral("Unknown Accessory")));
    for (const AccessoryReading& reading : listed) {
        if (reading.batteryPercent == capacity && BluetoothBatteryReader::lowercased(reading.name) == name)
            return true;
    }
    return false;
}

} // namespace

std::optional<DeviceKind> kindFromInputs(const QList<QMap<QString, QString>>& inputs) {
    // A controller's touchpad and motion sensors are inputs of their own.
    QSet<DeviceKind> kinds;
    for (const QMap<QString, QString>& capabilities : inputs) {
        if (const std::optional<DeviceKind> kind = kindOfInput(capabilities)) {
            if (*kind == DeviceKind::gameController)
                return kind;
            kinds.insert(*kind);
        }
    }
    // A mouse with keys of a keyboard, a keyboard with a touchpad: not clear.
    return kinds.size() == 1 ? std::optional<DeviceKind>(*kinds.cbegin()) : std::nullopt;
}

AccessoryReading makeReading(const Battery& battery) {
    AccessoryReading reading;
    // Stable across reboots and re-plugging, unlike the supply's name
    // (hidpp_battery_0 comes back as hidpp_battery_1), so overrides keep applying.
    const QString address = addressText(battery.address);
    reading.id =
        QLatin1String(idPrefix) + (battery.serialNumber ? QStringLiteral("serial:") + *battery.serialNumber
                                   : !address.isEmpty() ? QStringLiteral("address:") + address
                                                        : QStringLiteral("supply:") + battery.supplyName);
    reading.name = battery.modelName.value_or(battery.hidName.value_or(QStringLiteral("Unknown Accessory")));
    reading.kind = kindOf(battery);
    reading.batteryPercent = chargeOf(battery);
    // A receiver keeps the supply while its device is off or asleep.
    reading.isConnected = !switchedOff(battery) && (!battery.online || *battery.online != 0);
    reading.isCharging = PowerSupplies::chargingFromStatus(battery.status);
    return reading;
}

namespace {

QList<Battery> onePerDevice(const QList<Battery>& batteries) {
    QList<Battery> kept;
    QHash<QString, qsizetype> byUniqueId;
    for (const Battery& battery : batteries) {
        if (!battery.uniqueId) {
            kept.append(battery);
            continue;
        }
        const auto found = byUniqueId.constFind(*battery.uniqueId);
        if (found == byUniqueId.cend()) {
            byUniqueId.insert(*battery.uniqueId, kept.size());
            kept.append(battery);
        } else if (!chargeOf(kept[*found]) && chargeOf(battery)) {
            kept[*found] = battery;
        }
    }
    return kept;
}

} // namespace

QList<AccessoryReading> unlisted(const QList<AccessoryReading>& listed, const QList<Battery>& batteries) {
    QSet<QString> ids;
    for (const AccessoryReading& reading : listed)
        ids.insert(reading.id);
    QList<AccessoryReading> rows;
    for (const Battery& battery : onePerDevice(batteries)) {
        const QString address = addressText(battery.address);
        if (address.isEmpty() ? chargeTakenByName(listed, battery) : ids.contains(address))
            continue;
        AccessoryReading reading = makeReading(battery);
        // One row per id: a device with two supplies is listed once.
        if (ids.contains(reading.id))
            continue;
        ids.insert(reading.id);
        rows.append(std::move(reading));
    }
    return rows;
}

void addCharging(QList<AccessoryReading>& listed, const QList<Battery>& batteries) {
    for (const Battery& battery : batteries) {
        const QString address = addressText(battery.address);
        if (address.isEmpty())
            continue;
        for (AccessoryReading& reading : listed) {
            if (reading.id == address && !reading.isCharging)
                reading.isCharging = PowerSupplies::chargingFromStatus(battery.status);
        }
    }
}

QList<Battery> scan(const PowerSupplies& supplies) {
    // A failure to list the supplies is already told by the registry scan of the same refresh.
    QList<Battery> batteries;
    return supplies.deviceBatteries(batteries) == 0 ? batteries : QList<Battery>{};
}

} // namespace DeviceBatteryReader
