#pragma once

#include <QString>

#include <functional>

// The system going to sleep and waking up again.
class SleepMonitor {
public:
    virtual ~SleepMonitor() = default;

    // WOKE runs on the main thread each time the system has resumed. PROBLEM
    // runs once, at once or later, when sleep cannot be followed.
    virtual void start(std::function<void()> woke, std::function<void(const QString& problem)> problem) = 0;
    // No callback runs after this; start may be called again.
    virtual void stop() = 0;
};

// The system's sleep and wake announcements. Main thread only.
SleepMonitor& sleepMonitor();
