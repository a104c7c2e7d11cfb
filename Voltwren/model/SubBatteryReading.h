#pragma once

#include <QString>

#include <optional>

// One component battery of a device with several (left, right, case).
struct SubBatteryReading {
    QString id;
    QString label;
    std::optional<qint64> percent;

    bool operator==(const SubBatteryReading&) const = default;
};
