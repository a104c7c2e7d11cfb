#pragma once

#include <QObject>
#include <QPoint>
#include <QTimer>

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
    // What the panel keeps from a click on a bar whose size is unknown.
    static constexpr int minimumTrayThickness = 32;

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

    // A closed panel is let go this long after it closed (past every guard
    // against reopening it by the closing click); the next opening makes it
    // anew.
    static constexpr int panelReleaseMilliseconds = 3500;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createTrayIcon();
    // The tray icon's centre where the tray says, else the pointer (which a
    // click has just put on the icon); nothing under Wayland, where the
    // compositor places windows.
    std::optional<QPoint> iconPosition() const;
    void noteIconPosition();
    // Where the icon was last clicked, so that the menu's "Show Devices" and
    // a second launch open the panel where a click on the icon does.
    std::optional<QPoint> anchor() const;
    int clearance() const;

    AppState& m_state;
    std::unique_ptr<MenuBarContentView> m_panel;
    std::unique_ptr<QMenu> m_menu;
    std::unique_ptr<QSystemTrayIcon> m_trayIcon;
    MenuBarLabel* m_label = nullptr;
    std::optional<QPoint> m_iconPosition;
    QTimer m_panelRelease;
};
