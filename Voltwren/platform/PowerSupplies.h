#pragma once

#include <QList>
#include <QVariant>
#include <QVariantMap>

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

    virtual ~PowerSupplies() = default;

    // Fills ENTRIES in registry order; returns 0, or an errno value when the
    // registry cannot be walked at all.
    virtual int registryEntries(QList<RegistryEntry>& entries) const = 0;
    // One description per power source ("Transport Type", "Current Capacity",
    // "Max Capacity"); empty when there is none or nothing can be read.
    virtual QList<QVariantMap> powerSourceDescriptions() const = 0;
};

// The running system's power supplies. Safe to call from any thread.
const PowerSupplies& systemPowerSupplies();
