#pragma once

#include "DeviceKind.h"
#include "SubBatteryReading.h"

#include <QList>
#include <QString>

#include <optional>

// One row of the published device list, with its alert state.
struct MonitoredDevice {
    QString id;
    QString name;
    DeviceKind kind = DeviceKind::otherAccessory;
    std::optional<qint64> batteryPercent;
    bool isConnected = false;
    bool hasFiredAlert = false;
    // Absent for single-battery devices; absent and empty are different values.
    std::optional<QList<SubBatteryReading>> subReadings;
    // Nullopt when unknown. A charging device is never low.
    std::optional<bool> isCharging = std::nullopt;

    bool operator==(const MonitoredDevice&) const = default;
};
