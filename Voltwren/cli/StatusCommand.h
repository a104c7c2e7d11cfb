#pragma once

#include "CommandLine.h"

#include <QDBusConnection>
#include <QJsonArray>
#include <QObject>

#include <memory>
#include <optional>

class OneOffReading;
class QDBusMessage;
class QDBusServiceWatcher;

// `voltwren status`: the running program's device list over the session
// bus, or, when none runs, a one-off reading of the sources. With --watch
// it follows the program: a new line whenever what it shows changes (the
// not-running state while there is no program), until its reader or the
// session bus goes.
class StatusCommand final : public QObject {
    Q_OBJECT

public:
    StatusCommand(const CommandLine& commandLine, const QDBusConnection& session, QObject* parent = nullptr);
    ~StatusCommand() override;

    // Returns at once; the application exits with the status when done.
    void start();

private Q_SLOTS:
    void onPropertiesChanged(const QDBusMessage& message);
    void onDisconnected();

private:
    void askProgram();
    void readOnce();
    void endWhenReaderGoes();
    // DEVICES, or the program is not running.
    void show(const std::optional<QJsonArray>& devices);
    QString format(const std::optional<QJsonArray>& devices) const;
    void done(int status);

    CommandLine m_commandLine;
    QDBusConnection m_session;
    QDBusServiceWatcher* m_watcher = nullptr;
    std::unique_ptr<OneOffReading> m_reading;
    // The program's last list; nullopt while it is not known to run.
    std::optional<QJsonArray> m_devices;
    std::optional<QString> m_lastPrinted;
    bool m_done = false;
};
