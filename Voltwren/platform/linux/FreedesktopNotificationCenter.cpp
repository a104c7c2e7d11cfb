#include "FreedesktopNotificationCenter.h"

#include "platform/Bundle.h"

#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QMetaObject>
#include <QVariantMap>

namespace {

const QString service = QStringLiteral("org.freedesktop.Notifications");
const QString path = QStringLiteral("/org/freedesktop/Notifications");

QString errorText(const QDBusMessage& reply) {
    const QString message = reply.errorMessage();
    return message.isEmpty() ? reply.errorName() : message;
}

} // namespace

FreedesktopNotificationCenter::FreedesktopNotificationCenter(const QDBusConnection& connection, int timeoutMs,
                                                             QObject* parent)
    : QObject(parent)
    , m_connection(connection)
    , m_timeout(timeoutMs) {
    auto* watcher =
        new QDBusServiceWatcher(service, m_connection, QDBusServiceWatcher::WatchForOwnerChange, this);
    QObject::connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this, [this] {
        m_capabilities.reset();
        ++m_serverGeneration;
    });
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
                                         std::function<void(const QDBusMessage& reply)> handler) {
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
    auto* watcher = new QDBusPendingCallWatcher(m_connection.asyncCall(message, m_timeout), this);
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
            completion(false, errorText(reply));
    });
}

void FreedesktopNotificationCenter::post(const Notification& notification,
                                         std::function<void(std::optional<QString> error)> completion) {
    if (m_capabilities) {
        // Still asynchronous, so the completion never runs inside post().
        const QStringList capabilities = *m_capabilities;
        QMetaObject::invokeMethod(
            this,
            [this, notification, capabilities, completion] {
                notify(notification, capabilities, completion);
            },
            Qt::QueuedConnection);
        return;
    }
    call(methodCall(QStringLiteral("GetCapabilities")),
         [this, notification, completion, generation = m_serverGeneration](const QDBusMessage& reply) {
             if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
                 // Without its capabilities we cannot tell how the body would be shown.
                 completion(reply.type() == QDBusMessage::ErrorMessage
                                ? errorText(reply)
                                : QStringLiteral("invalid GetCapabilities reply"));
                 return;
             }
             const QStringList capabilities = reply.arguments().first().toStringList();
             if (generation == m_serverGeneration)
                 m_capabilities = capabilities;
             notify(notification, capabilities, completion);
         });
}

void FreedesktopNotificationCenter::notify(const Notification& notification, const QStringList& capabilities,
                                           std::function<void(std::optional<QString> error)> completion) {
    const QString identifier = QLatin1String(Bundle::identifier);
    QVariantMap hints;
    if (notification.defaultSound)
        hints.insert(QStringLiteral("sound-name"), QStringLiteral("message-new-instant"));
    else
        hints.insert(QStringLiteral("suppress-sound"), true);
    hints.insert(QStringLiteral("desktop-entry"), identifier);
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue(uchar(1)));
    hints.insert(QStringLiteral("x-voltwren-request-id"), notification.requestIdentifier);

    QDBusMessage message = methodCall(QStringLiteral("Notify"));
    message << QStringLiteral("Voltwren") << uint(0) << identifier << notification.title
            << bodyText(notification.body, capabilities) << QStringList() << hints << int(-1);
    call(message, [completion](const QDBusMessage& reply) {
        if (reply.type() == QDBusMessage::ReplyMessage)
            completion(std::nullopt);
        else
            completion(errorText(reply));
    });
}

NotificationCenter& notificationCenter() {
    static FreedesktopNotificationCenter center(QDBusConnection::sessionBus());
    return center;
}
