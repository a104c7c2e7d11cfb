#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QStringList>

class QDBusMessage;

// Whether the StatusNotifierWatcher lists this program's tray item a few
// seconds after it was made. A watcher has been seen to lose an item that
// registered during a login race, leaving a running program with no icon.
// Every call is asynchronous and bounded.
class TrayRegistrationCheck final : public QObject {
    Q_OBJECT

public:
    static constexpr int defaultDelay = 5000;
    static constexpr int callTimeout = 3000;

    explicit TrayRegistrationCheck(const QDBusConnection& session, int delayMs = defaultDelay,
                                   QObject* parent = nullptr);

    // Looks once, DELAY from now.
    void start();

Q_SIGNALS:
    // The watcher has a host but lists no item of this process.
    void missing();

private:
    void check();
    void onWatcherProperties(const QDBusMessage& reply);
    void onOwnerProcess(const QDBusMessage& reply);

    QDBusConnection m_session;
    int m_delay;
    int m_pendingOwners = 0;
    bool m_found = false;
};
