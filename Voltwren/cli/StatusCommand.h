#pragma once

#include "CommandLine.h"

#include <QDBusConnection>
#include <QJsonArray>
#include <QObject>

#include <memory>

class OneOffReading;
class QDBusMessage;
class QDBusServiceWatcher;

// `voltwren status`: the running program's device list over the session
// bus, or, when none runs, a one-off reading of the sources. With --watch
// it prints again on every change the program announces, until ended.
class StatusCommand final : public QObject {
    Q_OBJECT

public:
    StatusCommand(const CommandLine& commandLine, const QDBusConnection& session, QObject* parent = nullptr);
    ~StatusCommand() override;

    // Returns at once; the application exits with the status when done
    // (never, with --watch).
    void start();

private Q_SLOTS:
    void onPropertiesChanged(const QDBusMessage& message);

private:
    void askProgram();
    void readOnce();
    void print(const QJsonArray& devices);
    void done();

    CommandLine m_commandLine;
    QDBusConnection m_session;
    QDBusServiceWatcher* m_watcher = nullptr;
    std::unique_ptr<OneOffReading> m_reading;
    QJsonArray m_devices;
};
