#pragma once

#include <QString>

#include <functional>

// Announcements of the system's power supplies: one added, removed or
// changed (a charger plugged in, a battery's charge moved, a controller
// connected). Nothing is polled: nothing runs while nothing is announced.
class PowerSupplyMonitor {
public:
    virtual ~PowerSupplyMonitor() = default;

    // CHANGED runs on the main thread after each announcement. PROBLEM runs
    // once, at once or later, when changes cannot be followed; the readings
    // are then as fresh as the last poll.
    virtual void start(std::function<void()> changed,
                       std::function<void(const QString& problem)> problem) = 0;
    // No callback runs after this; start may be called again.
    virtual void stop() = 0;
};

// The system's power-supply announcements. Main thread only.
PowerSupplyMonitor& powerSupplyMonitor();
