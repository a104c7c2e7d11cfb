#pragma once

#include "DeviceKind.h"

#include <QString>
#include <QtGlobal>

#include <optional>

// One recorded reading of one device: what the list showed at a moment when
// the device's charge or its connection changed.
struct ChargePoint {
    static constexpr qint64 msPerDay = 24LL * 3600 * 1000;

    QString deviceID;
    QString name;
    DeviceKind kind = DeviceKind::otherAccessory;
    // Milliseconds since 1970-01-01 UTC.
    qint64 time = 0;
    // Absent when no source gave a charge.
    std::optional<qint64> percent;
    bool connected = false;

    bool operator==(const ChargePoint&) const = default;
};
