#pragma once

#include <QDBusConnection>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

// A private dbus-daemon for one test, with no service activation, killed
// when the object goes. Use one for the "system" bus and one for the
// "session" bus, and point programs at them through their environment.
class PrivateBus {
public:
    explicit PrivateBus(const QString& role = QStringLiteral("system"));
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    bool isValid() const { return !m_address.isEmpty(); }
    const QString& address() const { return m_address; }
    // A connection of this test process to the bus.
    QDBusConnection connection() const;
    // Waits (bounded) until NAME is owned on the bus.
    bool waitForName(const QString& name, int timeoutMs = 10000) const;

private:
    QTemporaryDir m_dir;
    QString m_address;
    qint64 m_pid = 0;
    QString m_connectionName;
};

// A python3-dbusmock server on a private bus (Debian's /usr/bin/python3).
class DbusMock {
public:
    // TEMPLATE_OR_NAME and the rest of ARGUMENTS as dbusmock takes them,
    // for example {"-t", "bluez5"}; waits until BUS_NAME appears.
    DbusMock(const PrivateBus& bus, bool systemBus, const QStringList& arguments, const QString& busName,
             const QString& logFile = {});
    ~DbusMock();
    DbusMock(const DbusMock&) = delete;
    DbusMock& operator=(const DbusMock&) = delete;

    bool isValid() const { return m_valid; }
    QString standardError() const;
    // The server's process, for tests that stop and continue it.
    qint64 processId() const;

private:
    std::unique_ptr<class QProcess> m_process;
    bool m_valid = false;
};

// The environment for a child process that should use these buses.
QProcessEnvironment environmentWithBuses(const PrivateBus* systemBus, const PrivateBus* sessionBus);
