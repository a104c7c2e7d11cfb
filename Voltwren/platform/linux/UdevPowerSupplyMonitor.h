#pragma once

#include "platform/PowerSupplyMonitor.h"

#include <QString>

#include <memory>

class QSocketNotifier;
struct udev;
struct udev_monitor;

// The kernel's power-supply uevents as udev passes them on: a monitor on the
// power_supply subsystem whose descriptor wakes the event loop only when
// something is announced.
class UdevPowerSupplyMonitor final : public PowerSupplyMonitor {
public:
    ~UdevPowerSupplyMonitor() override;

    void start(std::function<void()> changed, std::function<void(const QString& problem)> problem) override;
    void stop() override;

private:
    void receive();

    udev* m_udev = nullptr;
    udev_monitor* m_monitor = nullptr;
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::function<void()> m_changed;
};
