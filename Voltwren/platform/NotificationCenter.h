#pragma once

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
};

// Why a notification was not delivered.
struct NotificationError {
    QString text;
    // No notification service answered (none runs, or it did not reply in
    // time): one that appears later could still show it.
    bool noServer = false;
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
    // A notification service appeared (or another took over): what failed
    // for want of one may be posted again.
    std::function<void()> onServerAppeared;
};

// The desktop's notification service. Main thread only.
NotificationCenter& notificationCenter();
