#pragma once

#include <QList>
#include <QString>

#include <functional>
#include <optional>

// One notification, shown at once.
struct Notification {
    QString title;
    QString body;
    // Unique per request, so that successive ones never replace each other.
    QString requestIdentifier;
    // The desktop's default notification sound, or silence.
    bool defaultSound = true;
    // A warning that a battery runs low: the desktop's sound for that, if
    // it has one, rather than its default.
    bool batteryLow = false;

    // Buttons the desktop may show besides the click on the notification.
    struct Action {
        QString key;
        QString label;
        bool operator==(const Action&) const = default;
    };
    QList<Action> actions = {};
};

// Why a notification was not delivered.
struct NotificationError {
    QString text;
    // No notification service is there (none runs, or it left): one that
    // appears later could still show it.
    bool noServer = false;
    // The server did not answer in time. It may still show the notification:
    // onDeliveredLate then names it.
    bool timedOut = false;
};

// Posts user notifications. Completions run later on the calling (main)
// thread, never inside the call itself; nothing blocks.
class NotificationCenter {
public:
    virtual ~NotificationCenter() = default;

    virtual void
    requestAuthorization(std::function<void(bool granted, std::optional<QString> error)> completion) = 0;
    // COMPLETION gets nullopt once delivered, else the error.
    virtual void post(const Notification& notification,
                      std::function<void(std::optional<NotificationError> error)> completion) = 0;

    // The user activated (clicked) a notification posted here, named by its
    // request identifier. While it is unset, notifications offer no action.
    std::function<void(const QString& requestIdentifier)> onActivated;
    // The user chose one of a notification's own actions (by its key).
    std::function<void(const QString& requestIdentifier, const QString& actionKey)> onAction;
    // A request whose post timed out was shown after all.
    std::function<void(const QString& requestIdentifier)> onDeliveredLate;
    // A notification service appeared (or another took over): what failed
    // for want of one may be posted again.
    std::function<void()> onServerAppeared;

    // Takes back a notification that is shown; nothing when it is not.
    virtual void withdraw(const QString& requestIdentifier) { (void)requestIdentifier; }
};

// The desktop's notification service. Main thread only.
NotificationCenter& notificationCenter();
