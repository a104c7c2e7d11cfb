#pragma once

#include "platform/NotificationCenter.h"

#include <QDBusConnection>
#include <QList>
#include <QObject>
#include <QStringList>

#include <optional>
#include <utility>

class QDBusMessage;
class QDBusPendingCall;

// Notifications through org.freedesktop.Notifications. "Authorization" is
// granted when a server answers. Every call is asynchronous and bounded.
class FreedesktopNotificationCenter final : public QObject, public NotificationCenter {
    Q_OBJECT

public:
    static constexpr int defaultTimeout = 5000;
    // How long a posted notification may still be answered after its
    // timeout was reported.
    static constexpr int lateAnswerTimeout = 120000;

    explicit FreedesktopNotificationCenter(const QDBusConnection& connection, int timeoutMs = defaultTimeout,
                                           QObject* parent = nullptr);

    void
    requestAuthorization(std::function<void(bool granted, std::optional<QString> error)> completion) override;
    void post(const Notification& notification,
              std::function<void(std::optional<NotificationError> error)> completion) override;
    void withdraw(const QString& requestIdentifier) override;

    // An image file (absolute path) every notification shows, for servers
    // that do not find the application's icon by its name.
    void setImagePath(const QString& path) { m_imagePath = path; }

    // BODY as the server shows it: with "body-markup" it is parsed as markup.
    static QString bodyText(const QString& body, const QStringList& capabilities);

private Q_SLOTS:
    void onActionInvoked(uint id, const QString& actionKey);
    void onNotificationClosed(uint id);

private:
    QDBusMessage methodCall(const QString& method) const;
    // Runs HANDLER with the reply (or error) of MESSAGE, later, on this thread.
    // TIMEOUT_MS 0 is the center's own timeout.
    void call(const QDBusMessage& message, std::function<void(const QDBusMessage& reply)> handler,
              int timeoutMs = 0);
    void notify(const Notification& notification, const QStringList& capabilities,
                std::function<void(std::optional<NotificationError> error)> completion);

    QDBusConnection m_connection;
    int m_timeout;
    QString m_imagePath;
    // Capabilities of the server that answered last; cleared when it changes.
    std::optional<QStringList> m_capabilities;
    // Counts owner changes, so a late answer of a former server is not cached.
    quint64 m_serverGeneration = 0;
    // The server's ids of the notifications it shows for us, with their
    // request identifiers; the oldest go first past a few dozen.
    QList<std::pair<uint, QString>> m_shown;
};
