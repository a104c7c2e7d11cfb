#pragma once

#include <QString>

#include <optional>
#include <variant>

// Reads the levels of one Bluetooth device by running the Fenwright helper.
namespace IOBluetoothPrivateBatteryReader {

struct Single {
    qint64 percent = 0;
    bool operator==(const Single&) const = default;
};

struct Multi {
    std::optional<qint64> left;
    std::optional<qint64> right;
    std::optional<qint64> caseLevel;
    bool operator==(const Multi&) const = default;
};

using Reading = std::variant<Single, Multi>;

} // namespace IOBluetoothPrivateBatteryReader
