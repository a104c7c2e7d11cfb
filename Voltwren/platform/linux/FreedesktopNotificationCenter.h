#pragma once

#include "platform/NotificationCenter.h"

#include <QDBusConnection>
#include <QObject>
#include <QStringList>

#include <optional>

class QDBusMessage;
class QDBusPendingCall;

// Notifications through org.freedesktop.Notifications. "Authorization" is
// granted when a server answers. Every call is asynchronous and bounded.
class FreedesktopNotificationCenter final : public QObject, public NotificationCenter {
    Q_OBJECT

public:
    static constexpr int defaultTimeout = 5000;

    explicit FreedesktopNotificationCenter(const QDBusConnection& connection, int timeoutMs = defaultTimeout,
                                           QObject* parent = nullptr);

    void
    requestAuthorization(std::function<void(bool granted, std::optional<QString> error)> completion) override;
    void post(const Notification& notification,
              std::function<void(std::optional<QString> error)> completion) override;

    // BODY as the server shows it: with "body-markup" it is parsed as markup.
    static QString bodyText(const QString& body, const QStringList& capabilities);

private:
    QDBusMessage methodCall(const QString& method) const;
    // Runs HANDLER with the reply (or error) of MESSAGE, later, on this thread.
    void call(const QDBusMessage& message, std::function<void(const QDBusMessage& reply)> handler);
    void notify(const Notification& notification, const QStringList& capabilities,
                std::function<void(std::optional<QString> error)> completion);

    QDBusConnection m_connection;
    int m_timeout;
    // Capabilities of the server that answered last; cleared when it changes.
    std::optional<QStringList> m_capabilities;
    // Counts owner changes, so a late answer of a former server is not cached.
    quint64 m_serverGeneration = 0;
};
