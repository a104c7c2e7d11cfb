#include "UdevPowerSupplyMonitor.h"

#include <QSocketNotifier>

#include <libudev.h>

#include <cerrno>
#include <cstring>

namespace {

// Enough for a charger's and a battery's uevents together; more waits for
// the next turn of the event loop, so a storm cannot starve it.
constexpr int maxEventsPerWakeUp = 64;

QString failure(const char* what, int error) {
    return QStringLiteral("Power supply changes are not followed: %1 (%2)")
        .arg(QString::fromLatin1(what), QString::fromLocal8Bit(std::strerror(error)));
}

} // namespace

UdevPowerSupplyMonitor::~UdevPowerSupplyMonitor() {
    stop();
}

void UdevPowerSupplyMonitor::start(std::function<void()> changed,
                                   std::function<void(const QString& problem)> problem) {
    stop();
    // Without udevd (containers, minimal systems, test beds) the monitor is
    // still made: it then hears nothing, which is no change, not a failure.
    m_udev = udev_new();
    if (!m_udev) {
        if (problem)
            problem(failure("libudev could not start", errno));
        return;
    }
    m_monitor = udev_monitor_new_from_netlink(m_udev, "udev");
    // libudev answers with a negative errno value.
    int result = m_monitor
                     ? udev_monitor_filter_add_match_subsystem_devtype(m_monitor, "power_supply", nullptr)
                     : -errno;
    if (result >= 0)
        result = udev_monitor_enable_receiving(m_monitor);
    if (result < 0) {
        stop();
        if (problem)
            problem(failure("no udev monitor", -result));
        return;
    }
    m_changed = std::move(changed);
    // libudev's socket is non-blocking: a read never stalls the loop.
    m_notifier = std::make_unique<QSocketNotifier>(udev_monitor_get_fd(m_monitor), QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(), [this] { receive(); });
}

void UdevPowerSupplyMonitor::stop() {
    m_notifier.reset();
    m_changed = nullptr;
    if (m_monitor)
        udev_monitor_unref(m_monitor);
    m_monitor = nullptr;
    if (m_udev)
        udev_unref(m_udev);
    m_udev = nullptr;
}

void UdevPowerSupplyMonitor::receive() {
    bool any = false;
    for (int i = 0; i < maxEventsPerWakeUp; ++i) {
        udev_device* device = udev_monitor_receive_device(m_monitor);
        if (!device)
            break;
        udev_device_unref(device);
        any = true;
    }
    // One call per wake-up: the events of one moment are one change.
    if (any && m_changed)
        m_changed();
}

PowerSupplyMonitor& powerSupplyMonitor() {
    // Never destroyed: it may outlive the application object, and its
    // descriptor goes with the process.
    static UdevPowerSupplyMonitor* const monitor = new UdevPowerSupplyMonitor;
    return *monitor;
}
