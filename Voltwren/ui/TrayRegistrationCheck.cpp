#include "TrayRegistrationCheck.h"

#include "app/Console.h"
#include "app/WhenAnswered.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QSet>
#include <QTimer>

#include <algorithm>

namespace {

const QString watcherService = QStringLiteral("org.kde.StatusNotifierWatcher");

} // namespace

TrayRegistrationCheck::TrayRegistrationCheck(const QDBusConnection& session, int delayMs, QObject* parent)
    : QObject(parent)
    , m_session(session)
    , m_delay(delayMs) {}

void TrayRegistrationCheck::start() {
    QTimer::singleShot(m_delay, this, &TrayRegistrationCheck::check);
}

void TrayRegistrationCheck::check() {
    QDBusMessage getAll = QDBusMessage::createMethodCall(
        watcherService, QStringLiteral("/StatusNotifierWatcher"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("GetAll"));
    getAll << watcherService;
    whenAnswered(m_session.asyncCall(getAll, callTimeout), this,
                 [this](const QDBusMessage& reply) { onWatcherProperties(reply); });
}

void TrayRegistrationCheck::onWatcherProperties(const QDBusMessage& reply) {
    // No watcher, or one without a host: Qt made an XEmbed icon, or none.
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return;
    const QVariantMap properties = qdbus_cast<QVariantMap>(reply.arguments().constFirst());
    if (!properties.value(QStringLiteral("IsStatusNotifierHostRegistered")).toBool())
        return;
    // Entries are "service/path" (KDE, LXQt), "service@path" (GNOME's
    // extension) or a bare service; the item's service is a connection of
    // Qt's own, so it is told apart by its process.
    QSet<QString> owners;
    for (const QString& entry :
         properties.value(QStringLiteral("RegisteredStatusNotifierItems")).toStringList()) {
        qsizetype serviceEnd = entry.size();
        for (const QChar separator : {QLatin1Char('/'), QLatin1Char('@')}) {
            if (const qsizetype at = entry.indexOf(separator); at >= 0)
                serviceEnd = std::min(serviceEnd, at);
        }
        owners.insert(entry.left(serviceEnd));
    }
    owners.remove(QString());
    if (owners.isEmpty()) {
        Q_EMIT missing();
        return;
    }
    m_pendingOwners = int(owners.size());
    for (const QString& owner : std::as_const(owners)) {
        QDBusMessage pid = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetConnectionUnixProcessID"));
        pid << owner;
        whenAnswered(m_session.asyncCall(pid, callTimeout), this,
                     [this](const QDBusMessage& answer) { onOwnerProcess(answer); });
    }
}

void TrayRegistrationCheck::onOwnerProcess(const QDBusMessage& reply) {
    if (m_found)
        return;
    if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
        reply.arguments().constFirst().toLongLong() == QCoreApplication::applicationPid()) {
        m_found = true;
        Console::printLine(QStringLiteral("Voltwren [debug]: the tray lists the icon"));
        return;
    }
    if (--m_pendingOwners == 0)
        Q_EMIT missing();
}
