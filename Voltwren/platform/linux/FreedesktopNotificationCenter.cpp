#include "FreedesktopNotificationCenter.h"

#include "LinuxBundle.h"
#include "platform/Bundle.h"

#include <QCoreApplication>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QMetaObject>
#include <QTimer>

#include <QVariantMap>
#include <memory>

namespace {

const QString service = QStringLiteral("org.freedesktop.Notifications");
const QString path = QStringLiteral("/org/freedesktop/Notifications");
constexpr qsizetype shownLimit = 32;

const QString noAnswerText = QStringLiteral("the notification server did not answer in time");

NotificationError errorOf(const QDBusMessage& reply) {
    const QString name = reply.errorName();
    const QString message = reply.errorMessage();
    // Nobody there, or a server that could not be started.
    const bool noServer = name == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
                          name == QLatin1String("org.freedesktop.DBus.Error.Disconnected") ||
                          name.startsWith(QLatin1String("org.freedesktop.DBus.Error.Spawn."));
    // A server that is there but did not answer in time.
    const bool timedOut = name == QLatin1String("org.freedesktop.DBus.Error.NoReply") ||
                          name == QLatin1String("org.freedesktop.DBus.Error.TimedOut");
    // The bus's own timeout and ours say the same thing, in the same words.
    if (timedOut)
        return {noAnswerText, false, true};
    return {message.isEmpty() ? name : message, noServer, timedOut};
}

} // namespace

FreedesktopNotificationCenter::FreedesktopNotificationCenter(const QDBusConnection& connection, int timeoutMs,
                                                             QObject* parent)
    : QObject(parent)
    , m_connection(connection)
    , m_timeout(timeoutMs) {
    auto* watcher =
        new QDBusServiceWatcher(service, m_connection, QDBusServiceWatcher::WatchForOwnerChange, this);
    QObject::connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
                     [this](const QString&, const QString&, const QString& newOwner) {
                         m_capabilities.reset();
                         ++m_serverGeneration;
                         m_shown.clear(); // ids belong to the server that gave them
                         if (!newOwner.isEmpty() && onServerAppeared)
                             onServerAppeared();
                     });
    // Matched against the name's current owner, so only the server we post to is heard.
    m_connection.connect(service, path, service, QStringLiteral("ActionInvoked"), this,
                         SLOT(onActionInvoked(uint, QString)));
    m_connection.connect(service, path, service, QStringLiteral("NotificationClosed"), this,
                         SLOT(onNotificationClosed(uint)));
}

QString FreedesktopNotificationCenter::bodyText(const QString& body, const QStringList& capabilities) {
    if (!capabilities.contains(QStringLiteral("body-markup")))
        return body;
    QString escaped = body;
    escaped.replace(QLatin1Char('&'), QStringLiteral("&amp;"));
    escaped.replace(QLatin1Char('<'), QStringLiteral("&lt;"));
    escaped.replace(QLatin1Char('>'), QStringLiteral("&gt;"));
    return escaped;
}

QDBusMessage FreedesktopNotificationCenter::methodCall(const QString& method) const {
    return QDBusMessage::createMethodCall(service, path, service, method);
}

void FreedesktopNotificationCenter::call(const QDBusMessage& message,
                                         std::function<void(const QDBusMessage& reply)> handler,
                                         int timeoutMs) {
    if (!m_connection.isConnected()) {
        QString error = m_connection.lastError().message();
        if (error.isEmpty())
            error = QStringLiteral("not connected to the session bus");
        QMetaObject::invokeMethod(
            this,
            [handler, message, error] { handler(message.createErrorReply(QDBusError::Disconnected, error)); },
            Qt::QueuedConnection);
        return;
    }
    // The watcher reports even an already failed call through the event loop.
    auto* watcher = new QDBusPendingCallWatcher(
        m_connection.asyncCall(message, timeoutMs > 0 ? timeoutMs : m_timeout), this);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, this,
                     [handler](QDBusPendingCallWatcher* w) {
                         w->deleteLater();
                         handler(w->reply());
                     });
}

void FreedesktopNotificationCenter::requestAuthorization(
    std::function<void(bool granted, std::optional<QString> error)> completion) {
    call(methodCall(QStringLiteral("GetServerInformation")), [completion](const QDBusMessage& reply) {
        if (reply.type() == QDBusMessage::ReplyMessage)
            completion(true, std::nullopt);
        else
            completion(false, errorOf(reply).text);
    });
}

void FreedesktopNotificationCenter::post(
    const Notification& notification,
    std::function<void(std::optional<NotificationError> error)> completion) {
    // The caller hears within the timeout; a server that answers later may
    // still show it, and then that is told as a late delivery.
    auto reported = std::make_shared<bool>(false);
    QTimer::singleShot(m_timeout, this, [reported, completion] {
        if (!std::exchange(*reported, true))
            completion(NotificationError{noAnswerText, false, true});
    });
    const std::function<void(std::optional<NotificationError>)> finish =
        [this, reported, completion,
         request = notification.requestIdentifier](std::optional<NotificationError> error) {
            if (!std::exchange(*reported, true))
                completion(error);
            else if (!error && onDeliveredLate)
                onDeliveredLate(request);
        };
    if (m_capabilities) {
        // Still asynchronous, so the completion never runs inside post().
        const QStringList capabilities = *m_capabilities;
        QMetaObject::invokeMethod(
            this, [this, notification, capabilities, finish] { notify(notification, capabilities, finish); },
            Qt::QueuedConnection);
        return;
    }
    call(
        methodCall(QStringLiteral("GetCapabilities")),
        [this, notification, finish, generation = m_serverGeneration](const QDBusMessage& reply) {
            if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
                // Without its capabilities we cannot tell how the body would be shown.
                finish(reply.type() == QDBusMessage::ErrorMessage
                           ? errorOf(reply)
                           : NotificationError{QStringLiteral("invalid GetCapabilities reply")});
                return;
            }
            const QStringList capabilities = reply.arguments().first().toStringList();
            if (generation == m_serverGeneration)
                m_capabilities = capabilities;
            notify(notification, capabilities, finish);
        },
        lateAnswerTimeout);
}

void FreedesktopNotificationCenter::notify(
    const Notification& notification, const QStringList& capabilities,
    std::function<void(std::optional<NotificationError> error)> completion) {
    const QString identifier = QLatin1String(Bundle::identifier);
    QVariantMap hints;
    if (!notification.defaultSound)
        hints.insert(QStringLiteral("suppress-sound"), true);
    else if (notification.batteryLow)
        hints.insert(QStringLiteral("sound-name"), QStringLiteral("battery-low"));
    else
        hints.insert(QStringLiteral("sound-name"), QStringLiteral("message-new-instant"));
    hints.insert(QStringLiteral("desktop-entry"), identifier);
    if (!m_imagePath.isEmpty())
        hints.insert(QStringLiteral("image-path"), m_imagePath);
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue(uchar(1)));
    hints.insert(QStringLiteral("x-voltwren-request-id"), notification.requestIdentifier);
    // A click on the notification is its default action.
    QStringList actions;
    if (capabilities.contains(QStringLiteral("actions"))) {
        if (onActivated)
            actions << QStringLiteral("default")
                    << QCoreApplication::translate("FreedesktopNotificationCenter", "Show Devices");
        for (const Notification::Action& action : notification.actions)
            actions << action.key << action.label;
    }

    QDBusMessage message = methodCall(QStringLiteral("Notify"));
    message << QStringLiteral("Voltwren") << uint(0) << identifier << notification.title
            << bodyText(notification.body, capabilities) << actions << hints << int(-1);
    call(
        message,
        [this, completion, generation = m_serverGeneration,
         request = notification.requestIdentifier](const QDBusMessage& reply) {
            if (reply.type() != QDBusMessage::ReplyMessage) {
                completion(errorOf(reply));
                return;
            }
            if (generation == m_serverGeneration && !reply.arguments().isEmpty()) {
                m_shown.append({reply.arguments().constFirst().toUInt(), request});
                if (m_shown.size() > shownLimit)
                    m_shown.removeFirst();
            }
            completion(std::nullopt);
        },
        lateAnswerTimeout);
}

void FreedesktopNotificationCenter::withdraw(const QString& requestIdentifier) {
    for (const auto& [shownID, request] : std::as_const(m_shown)) {
        if (request == requestIdentifier) {
            QDBusMessage message = methodCall(QStringLiteral("CloseNotification"));
            message << shownID;
            call(message, [](const QDBusMessage&) {});
            return;
        }
    }
}

void FreedesktopNotificationCenter::onActionInvoked(uint id, const QString& actionKey) {
    for (const auto& [shownID, request] : std::as_const(m_shown)) {
        if (shownID != id)
            continue;
        if (actionKey == QLatin1String("default")) {
            if (onActivated)
                onActivated(request);
        } else if (onAction) {
            onAction(request, actionKey);
        }
        return;
    }
}

void FreedesktopNotificationCenter::onNotificationClosed(uint id) {
    m_shown.removeIf([id](const std::pair<uint, QString>& shown) { return shown.first == id; });
}

NotificationCenter& notificationCenter() {
    static FreedesktopNotificationCenter center(QDBusConnection::sessionBus());
    // The icon installed with the program: a bare icon name finds nothing
    // on servers that do not look in its data folder.
    [[maybe_unused]] static const bool withImage = [] {
        center.setImagePath(LinuxBundle::forRunningExecutable()
                                .dataFile(QStringLiteral("icons/hicolor/64x64/apps/") +
                                          QLatin1String(Bundle::identifier) + QStringLiteral(".png"))
                                .value_or(QString()));
        return true;
    }();
    return center;
}
