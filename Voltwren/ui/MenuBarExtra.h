#pragma once

#include <QObject>
#include <QPoint>

#include <memory>
#include <optional>

class AppState;
class MenuBarContentView;
class MenuBarLabel;
class QMenu;
class QSystemTrayIcon;
class TrayHostWatcher;

// The program's one scene: the tray icon (made only once a tray host is
// there), its menu, and the device panel it opens. Both observe the one
// AppState.
class MenuBarExtra final : public QObject {
    Q_OBJECT

public:
    // WATCHER says when a tray host appears; null means no display, so no
    // tray at all (the program then only monitors and notifies).
    MenuBarExtra(AppState& state, TrayHostWatcher* watcher, QObject* parent = nullptr);
    ~MenuBarExtra() override;

    void showPanel();
    void togglePanel();
    void showSettings();
    void showHistory();

    MenuBarContentView& panel();
    QSystemTrayIcon* trayIcon() const { return m_trayIcon.get(); }

private:
    void createTrayIcon();
    // Next to the tray icon where the tray says where it is, else at the
    // pointer; nothing under Wayland, where the compositor places popups.
    std::optional<QPoint> anchor() const;

    AppState& m_state;
    std::unique_ptr<MenuBarContentView> m_panel;
    std::unique_ptr<QMenu> m_menu;
    std::unique_ptr<QSystemTrayIcon> m_trayIcon;
    MenuBarLabel* m_label = nullptr;
};
