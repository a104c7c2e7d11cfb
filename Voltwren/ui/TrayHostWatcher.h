#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QTimer>

class QDBusMessage;
class QDBusServiceWatcher;

// Waits for somewhere to show a tray icon: a StatusNotifierItem host behind
// org.kde.StatusNotifierWatcher, or, on X11, an XEmbed tray manager. Qt
// settles which tray it uses at the first QSystemTrayIcon and never looks
// again, so that icon may only be made once a host is known to be there.
// Nothing here blocks: the watcher is asked asynchronously and the X11
// selection is polled.
class TrayHostWatcher final : public QObject {
    Q_OBJECT

public:
    static constexpr int callTimeout = 3000;
    static constexpr int xembedPollInterval = 2000;

    explicit TrayHostWatcher(const QDBusConnection& session, QObject* parent = nullptr);

    // Starts watching; hostAppeared() follows once, as soon as a host is there.
    void start();
    bool hasHost() const { return m_found; }

Q_SIGNALS:
    void hostAppeared();

private Q_SLOTS:
    void onHostRegistered(const QDBusMessage& message);

private:
    void askWatcher();
    void pollXembed();
    void found();

    QDBusConnection m_session;
    QDBusServiceWatcher* m_serviceWatcher = nullptr;
    QTimer m_xembedPoll;
    bool m_found = false;
};
