#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

class NotificationCenter;
class TrayHostWatcher;

// A desktop without a tray (stock GNOME) shows a running Voltwren nowhere.
// On the very first start, when no tray host has appeared after a few
// seconds, one notification says so and how to get one. It is not a
// low-battery alert, so it is sent whatever the notification setting says.
// A marker in the state folder remembers the first start, so that it is
// said once per user, not at every login.
class FirstStartNotice final : public QObject {
    Q_OBJECT

public:
    // A bar may come up late (waybar waits for a portal at login).
    static constexpr int defaultDelay = 30000;
    static const QString title;
    static const QString body;

    // $XDG_STATE_HOME/app.voltwren.Voltwren/first-start
    static QString defaultMarkerPath();

    FirstStartNotice(TrayHostWatcher& watcher, NotificationCenter& notifications, QString markerPath,
                     int delayMs = defaultDelay, QObject* parent = nullptr);

    // Does nothing after the first start; otherwise waits for a tray host.
    void start();

private:
    void tell();
    // Writes the marker; OUTCOME is what the first start came to.
    void remember(const QString& outcome);

    TrayHostWatcher& m_watcher;
    NotificationCenter& m_notifications;
    QString m_markerPath;
    QTimer m_wait;
};
