#include "LogindSleepMonitor.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QTimer>

namespace {

const QString logind = QStringLiteral("org.freedesktop.login1");
const QString managerPath = QStringLiteral("/org/freedesktop/login1");
const QString managerInterface = QStringLiteral("org.freedesktop.login1.Manager");
const QString signalName = QStringLiteral("PrepareForSleep");

} // namespace

LogindSleepMonitor::LogindSleepMonitor(const QDBusConnection& connection, QObject* parent)
    : QObject(parent)
    , m_connection(connection) {}

LogindSleepMonitor::~LogindSleepMonitor() {
    stop();
}

void LogindSleepMonitor::start(std::function<void()> woke,
                               std::function<void(const QString& problem)> problem) {
    stop();
    const quint64 generation = ++m_generation;
    const auto report = [this, generation, problem](const QString& text) {
        if (generation == m_generation && problem)
            problem(QStringLiteral("Sleep and wake are not followed: ") + text);
    };
    if (!m_connection.isConnected()) {
        QTimer::singleShot(0, this, [report] { report(QStringLiteral("no system bus")); });
        return;
    }
    m_woke = std::move(woke);
    // Bound to the name, so a logind that starts later is heard as well.
    m_subscribed = m_connection.connect(logind, managerPath, managerInterface, signalName, this,
                                        SLOT(onPrepareForSleep(bool)));
    const QDBusMessage hasOwner =
        QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                                       QStringLiteral("/org/freedesktop/DBus"),
                                       QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"))
        << logind;
    auto* watcher = new QDBusPendingCallWatcher(m_connection.asyncCall(hasOwner, callTimeout), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [report](QDBusPendingCallWatcher* finished) {
        finished->deleteLater();
        const QDBusMessage reply = finished->reply();
        if (reply.type() != QDBusMessage::ReplyMessage)
            report(reply.errorMessage());
        else if (reply.arguments().isEmpty() || !reply.arguments().constFirst().toBool())
            report(QStringLiteral("logind is not running"));
    });
}

void LogindSleepMonitor::stop() {
    ++m_generation;
    m_woke = nullptr;
    if (m_subscribed)
        m_connection.disconnect(logind, managerPath, managerInterface, signalName, this,
                                SLOT(onPrepareForSleep(bool)));
    m_subscribed = false;
}

void LogindSleepMonitor::onPrepareForSleep(bool goingToSleep) {
    if (!goingToSleep && m_woke)
        m_woke();
}

SleepMonitor& sleepMonitor() {
    // Never destroyed, like the connection it listens on.
    static LogindSleepMonitor* const monitor = new LogindSleepMonitor(QDBusConnection::systemBus());
    return *monitor;
}
