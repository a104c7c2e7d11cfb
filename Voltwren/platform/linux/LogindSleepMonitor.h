#pragma once

#include "platform/SleepMonitor.h"

#include <QDBusConnection>
#include <QObject>

// logind's PrepareForSleep on the system bus: false means the system has
// just resumed.
class LogindSleepMonitor final : public QObject, public SleepMonitor {
    Q_OBJECT

public:
    // How long the check that logind runs may take.
    static constexpr int callTimeout = 5000;

    explicit LogindSleepMonitor(const QDBusConnection& connection, QObject* parent = nullptr);
    ~LogindSleepMonitor() override;

    void start(std::function<void()> woke, std::function<void(const QString& problem)> problem) override;
    void stop() override;

private Q_SLOTS:
    void onPrepareForSleep(bool goingToSleep);

private:
    QDBusConnection m_connection;
    std::function<void()> m_woke;
    bool m_subscribed = false;
    // Each start gets its own; an answer for an older one is dropped.
    quint64 m_generation = 0;
};
