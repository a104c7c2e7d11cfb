#pragma once

#include "platform/PowerSupplies.h"

#include <QList>
#include <QVariantMap>

#include <optional>

// The computer's own entry in the device list; a Linux machine is never a MacBook.
inline constexpr const char* internalBatteryDeviceName = "Laptop";

// The charge of the computer's own battery in percent, or nullopt when it
// has none (or nothing usable is known). Queries the system afresh.
std::optional<qint64> readInternalBatteryPercent();
std::optional<qint64> readInternalBatteryPercent(const PowerSupplies& supplies);

// The computer's battery as one refresh reads it.
struct InternalBatteryReading {
    qint64 percent = 0;
    // Nullopt when the system does not say.
    std::optional<bool> isCharging;

    bool operator==(const InternalBatteryReading&) const = default;
};

// The charge with the charging state; nullopt without a charge.
std::optional<InternalBatteryReading> readInternalBattery();
std::optional<InternalBatteryReading> readInternalBattery(const PowerSupplies& supplies);
std::optional<InternalBatteryReading> internalBattery(const QList<QVariantMap>& descriptions);
// True when an "Internal" source charges, else false when one says it does
// not, else nullopt.
std::optional<bool> internalBatteryCharging(const QList<QVariantMap>& descriptions);

// Every "Internal" source with whole current and maximum (at least 1)
// capacities counts: their total current over their total maximum when all
// have the same "Capacity Unit", else the mean of their fractions; rounded
// half away from zero, limited to 0..100.
std::optional<qint64> internalBatteryPercent(const QList<QVariantMap>& descriptions);
