#pragma once

#include <QString>

#include <optional>

// One component battery of a device with several (left, right, case).
struct SubBatteryReading {
    QString id;
    QString label;
    std::optional<qint64> percent;
    // When a device last advertised it (milliseconds since 1970); absent for
    // levels read over a connection, which are current.
    std::optional<qint64> seenAt = std::nullopt;

    bool operator==(const SubBatteryReading&) const = default;
};
