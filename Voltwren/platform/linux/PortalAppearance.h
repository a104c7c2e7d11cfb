#pragma once

#include "platform/Appearance.h"

#include <QDBusConnection>
#include <QObject>
#include <QVariant>

class QDBusMessage;

// The colour-scheme preference from the XDG desktop portal's settings
// (org.freedesktop.appearance color-scheme), which GNOME and Plasma keep
// in step with their own. Read once, asynchronously and bounded, then
// followed through SettingChanged. Without a portal there is no preference.
class PortalAppearance final : public QObject, public Appearance {
    Q_OBJECT

public:
    static constexpr int defaultTimeout = 5000;

    explicit PortalAppearance(const QDBusConnection& session, int timeoutMs = defaultTimeout,
                              QObject* parent = nullptr);

    void observeColorScheme(std::function<void(ColorScheme)> observer) override;

    // The portal's value (a uint32, 0 none, 1 dark, 2 light, possibly
    // wrapped in variants); anything else is no preference.
    static ColorScheme fromPortalValue(const QVariant& value);

private Q_SLOTS:
    void onSettingChanged(const QDBusMessage& message);

private:
    void read();

    QDBusConnection m_session;
    int m_timeout;
    std::function<void(ColorScheme)> m_observer;
    bool m_subscribed = false;
    // A change heard while the first read was under way is newer than its answer.
    int m_generation = 0;
};
