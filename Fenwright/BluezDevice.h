#pragma once

#include "ProbeDevice.h"

#include <QDBusConnection>

#include <chrono>
#include <memory>
#include <optional>

// A BlueZ org.bluez.Device1 as the probe sees it: batteryPercentSingle is
// org.bluez.Battery1's Percentage when the device has that interface; no
// other selector is supported, so every Linux device takes the single path.
class BluezDevice final : public ProbeDevice {
public:
    static constexpr std::chrono::milliseconds defaultTimeout{3000};

    explicit BluezDevice(std::optional<quint8> batteryPercentage)
        : m_batteryPercentage(batteryPercentage) {}

    // The device on BUS whose Address matches ADDRESS; nullptr when there is
    // none, BlueZ is absent, or its object list does not arrive within TIMEOUT.
    static std::unique_ptr<BluezDevice> find(const QString& address, const QDBusConnection& bus,
                                             std::chrono::milliseconds timeout = defaultTimeout);

    // Case-insensitive, with "-" taken for ":" (reports and users write
    // either); nothing else is normalised.
    static bool addressMatches(const QString& wanted, const QString& address);

    bool supports(const QString& selector) const override;
    quint8 byteFor(const QString& selector) const override;

private:
    std::optional<quint8> m_batteryPercentage;
};
