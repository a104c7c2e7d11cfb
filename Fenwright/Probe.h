#pragma once

#include "ProbeDevice.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

// The whole of the probe program apart from the platform: argument check,
// path choice, validity rule, output line and exit status.
namespace Probe {

enum Status { printed = 0, usage = 1, noDevice = 2, noLevel = 4 };

struct Outcome {
    int status = noDevice;
    QByteArray standardOutput;
    QByteArray standardError;

    bool operator==(const Outcome&) const = default;
};

// The device object for an address, or nullptr when the platform has none.
using DeviceLookup = std::function<std::unique_ptr<ProbeDevice>(const QString& address)>;

inline constexpr const char* usageLine = "usage: Fenwright <address>\n";

// ARGUMENTS excludes the program name. LOOKUP is only called with a single argument.
Outcome run(const QStringList& arguments, const DeviceLookup& lookup);

// A level is valid from 1 to 100; an unsupported selector or any other byte is no level.
std::optional<int> level(const ProbeDevice& device, const QString& selector);

} // namespace Probe
