#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QPoint>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <optional>

class AppState;
class ComponentBlock;
class DeviceRow;
class QFrame;
class QLabel;
class QPushButton;
class QVBoxLayout;

// The device panel that opens from the tray icon: every device with its
// charge, the component batteries of one unfolded device, and the Settings
// and Quit buttons. A click elsewhere, the loss of focus, Escape or a second
// activation closes it.
class MenuBarContentView final : public QWidget {
    Q_OBJECT

public:
    static constexpr const char* windowTitle = "Voltwren";
    static constexpr int minimumWidth = 220;

    // A close by a click outside within this long keeps toggle() from
    // reopening: that click was most likely on the tray icon itself.
    static constexpr int reopenGuardMilliseconds = 300;
    // The longest a click's button is followed after its press closed the panel.
    static constexpr int maximumClickMilliseconds = 3000;

    explicit MenuBarContentView(AppState& state, QWidget* parent = nullptr);

    // Shows the panel beside ANCHOR (the tray icon's position or the
    // pointer), inside the screen that holds it: above when ANCHOR is in the
    // lower half, below otherwise, and CLEARANCE away from it where the
    // screen has no work area to keep it off the bar. Without an anchor the
    // window system places it. Showing runs a refresh; an open panel is only
    // moved.
    void popup(std::optional<QPoint> anchor, int clearance = 0);
    // Hides an open panel, else pops it up, unless a click outside has just
    // closed it.
    void toggle(std::optional<QPoint> anchor, int clearance = 0);

    // The id of the one device whose components are shown.
    std::optional<QString> expandedDeviceID() const { return m_expandedDeviceID; }

Q_SIGNALS:
    // "Settings…" or Ctrl+,; the panel has closed itself before this.
    void settingsRequested();
    // "Quit" or Ctrl+Q.
    void quitRequested();

protected:
    void changeEvent(QEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    struct Entry {
        DeviceRow* row = nullptr;
        ComponentBlock* block = nullptr; // made for devices with components
    };

    void rebuild();
    void restyle();
    void updateExpansion(bool animated);
    void toggleDevice(const QString& id);
    void moveRowFocus(int step);
    void fitToContent();
    QPoint placement(QPoint anchor, QSize size) const;
    void closeDeliberately();
    void watchRelease();
    QString summary() const;

    AppState& m_state;
    std::optional<QString> m_expandedDeviceID;
    QVBoxLayout* m_list;
    QLabel* m_emptyText;
    QFrame* m_divider;
    QPushButton* m_settingsButton;
    QPushButton* m_quitButton;
    QList<Entry> m_entries;
    std::optional<QPoint> m_anchor;
    int m_clearance = 0;
    bool m_showing = false;
    bool m_closingDeliberately = false;
    QElapsedTimer m_sinceOutsideClose;
    // The last press on the panel was outside it: it is what closes it.
    bool m_outsidePress = false;
    // After such a close, until the button is released; then since when.
    QTimer m_releasePoll;
    QElapsedTimer m_sinceRelease;
};
