#pragma once

#include <QObject>

#include <memory>

class AppState;
class QDBusServiceWatcher;
class ChargeHistory;
class ColorSchemeFollower;
class FirstStartNotice;
class MenuBarExtra;
class SessionService;
class TrayHostWatcher;
class UpdateAlerts;

// The top of the program: one instance per session, then the start-up
// order (launch location check, updater, the one AppState, the tray icon
// and the panel that observe it), and it owns all of them for the life of
// the process.
class VoltwrenApp final : public QObject {
    Q_OBJECT

public:
    explicit VoltwrenApp(QObject* parent = nullptr);
    ~VoltwrenApp() override;

    // Returns at once. When another instance owns the session, it is asked
    // to show its panel and this process exits with status 0. When another
    // program holds the name, this one runs without it (and takes it once
    // it is free).
    void start();

    // Created once, on first use, and kept until the process ends.
    AppState& appState();

private:
    void launch(bool ownsSessionName);
    void runBesideNameHolder(const QString& why);
    // The exported object answers for the running program from now on.
    void followState();

    std::unique_ptr<UpdateAlerts> m_updateAlerts;
    std::unique_ptr<SessionService> m_service;
    std::unique_ptr<ColorSchemeFollower> m_colorScheme;
    std::unique_ptr<TrayHostWatcher> m_trayWatcher;
    std::unique_ptr<ChargeHistory> m_history;
    std::unique_ptr<FirstStartNotice> m_firstStartNotice;
    std::unique_ptr<AppState> m_appState;
    std::unique_ptr<MenuBarExtra> m_menuBarExtra;
    // Waits for another program to give up the name.
    std::unique_ptr<QDBusServiceWatcher> m_nameWatcher;
};
