#pragma once

#include "sources/ChildProcess.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <optional>
#include <variant>

class Bundle;

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

// The auxiliary executable that is run, with the address as its one argument.
inline constexpr const char* helperName = "Fenwright";

// Runs the helper for ADDRESS (as the report writes it) and reads its reply;
// nullopt when the helper is missing, fails, times out or replies in neither
// form; a level outside 0 to 100 is no level (with a debug line). Every
// outcome is one log entry. Blocks until the helper has exited: never call on
// the main thread.
std::optional<Reading> readBattery(const QString& address);
std::optional<Reading> readBattery(const QString& address, const Bundle& bundle,
                                   std::chrono::milliseconds timeout = ChildProcess::defaultTimeout);

// Interprets the standard output of a helper that exited with status 0, and logs the result.
std::optional<Reading> parseReply(const QString& address, const QByteArray& output);

} // namespace IOBluetoothPrivateBatteryReader
