#pragma once

#include <QString>

#include <functional>
#include <optional>

// One notification, shown at once; it carries no actions.
struct Notification {
    QString title;
    QString body;
    // Unique per request, so that successive ones never replace each other.
    QString requestIdentifier;
    // The desktop's default notification sound, or silence.
    bool defaultSound = true;
};

// Posts user notifications. Completions run later on the calling (main)
// thread, never inside the call itself; nothing blocks.
class NotificationCenter {
public:
    virtual ~NotificationCenter() = default;

    virtual void
    requestAuthorization(std::function<void(bool granted, std::optional<QString> error)> completion) = 0;
    // COMPLETION gets nullopt once delivered, else the error's text.
    virtual void post(const Notification& notification,
                      std::function<void(std::optional<QString> error)> completion) = 0;
};

// The desktop's notification service. Main thread only.
NotificationCenter& notificationCenter();
