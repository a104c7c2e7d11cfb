#pragma once

#include "CommandLine.h"

#include <QDBusConnection>
#include <QJsonArray>
#include <QObject>
#include <QTimer>

#include <memory>
#include <optional>

class OneOffReading;
class QDBusMessage;
class QDBusServiceWatcher;

// `voltwren status`: the running program's device list over the session
// bus, or, when none runs (or it does not answer, or another program holds
// its name), a one-off reading of the sources. With --watch
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
    // Why the command reads the sources itself.
    enum class Absence { notRunning, notAnswering, otherOwner };

    void askProgram();
    void readOnce(Absence why);
    void endWhenReaderGoes();
    // DEVICES, or the program is not running.
    void show(const std::optional<QJsonArray>& devices);
    // A program holds the name but did not answer in time.
    void showNotAnswering();
    // TEXT, unless a watch printed it last.
    void printLine(const QString& text);
    QString format(const std::optional<QJsonArray>& devices) const;
    void done(int status);

    CommandLine m_commandLine;
    QDBusConnection m_session;
    QDBusServiceWatcher* m_watcher = nullptr;
    std::unique_ptr<OneOffReading> m_reading;
    // The program's last list; nullopt while it is not known to run.
    std::optional<QJsonArray> m_devices;
    std::optional<QString> m_lastPrinted;
    // The name's owner answered as a Voltwren: its announcements are followed.
    bool m_ownerIsVoltwren = false;
    QTimer m_askRetry;
    bool m_done = false;
};
