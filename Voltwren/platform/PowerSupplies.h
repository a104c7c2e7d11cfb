#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <optional>

// The system's power supplies: peripheral batteries that accessories publish,
// and the power sources of the computer itself.
class PowerSupplies {
public:
    // One entry of the registry. Each value is invalid when the entry lacks it;
    // the readers check the types ("BatteryPercent" a whole number, "Product"
    // text, "BD_ADDR" a 6-byte byte string).
    struct RegistryEntry {
        QVariant batteryPercent;
        QVariant product;
        QVariant bdAddr;
    };

    // A battery that the kernel reports for a device other than the computer
    // (scope "Device", type "Battery"), with what it says of that device.
    // Texts are trimmed; an optional is empty when the attribute is missing,
    // unreadable or (for texts) empty.
    struct DeviceBattery {
        QString supplyName;
        std::optional<QString> modelName;
        std::optional<QString> serialNumber;
        std::optional<qint64> capacity;
        std::optional<QString> capacityLevel;
        std::optional<QString> status;
        std::optional<qint64> online;
        // 0 when the device has no battery in it now.
        std::optional<qint64> present;
        // The wireless_status of the USB interface above a headset's
        // receiver: "connected" or "disconnected".
        std::optional<QString> wirelessStatus;
        // The Bluetooth address as 6 bytes, as "BD_ADDR" has it; empty when none.
        QByteArray address;
        // From the device's uevent.
        std::optional<QString> hidName;
        std::optional<QString> driver;
        // HID_UNIQ, which all supplies of one device share.
        std::optional<QString> uniqueId;
        // One map per input device of the accessory: its capability bitmaps
        // ("ev", "key", "rel", "abs") as the kernel writes them.
        QList<QMap<QString, QString>> inputCapabilities;
    };

    virtual ~PowerSupplies() = default;

    // What the kernel's "status" says of charging: Charging and Full are on
    // the charger, Discharging and "Not charging" are not; anything else
    // (Unknown, absent) tells nothing.
    static std::optional<bool> chargingFromStatus(const std::optional<QString>& status) {
        if (status == QLatin1String("Charging") || status == QLatin1String("Full"))
            return true;
        if (status == QLatin1String("Discharging") || status == QLatin1String("Not charging"))
            return false;
        return std::nullopt;
    }

    // Fills ENTRIES in registry order; returns 0, or an errno value when the
    // registry cannot be walked at all.
    virtual int registryEntries(QList<RegistryEntry>& entries) const = 0;
    // One description per power source ("Transport Type", "Current Capacity",
    // "Max Capacity", "Capacity Unit" ("energy", "charge" or "percent"), and
    // "Is Charging" where the status tells); empty when there is none or
    // nothing can be read.
    virtual QList<QVariantMap> powerSourceDescriptions() const = 0;
    // Fills BATTERIES in name order; returns 0, or an errno value when the
    // supplies cannot be listed at all.
    virtual int deviceBatteries(QList<DeviceBattery>& batteries) const = 0;
};

// The running system's power supplies. Safe to call from any thread.
const PowerSupplies& systemPowerSupplies();
