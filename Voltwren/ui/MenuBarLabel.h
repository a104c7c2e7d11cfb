#pragma once

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QString>

class AppState;
class QSystemTrayIcon;

// What the tray icon shows: the alert image while highlighting is on and a
// device is low, else the normal one; and a tooltip that answers the
// question without a click. It keeps a tray icon in step with the state.
class MenuBarLabel final : public QObject {
    Q_OBJECT

public:
    // The theme name of the normal icon, installed as a symbolic icon so
    // panels that recolour icons can.
    static constexpr const char* symbolicIconName = "app.voltwren.Voltwren-symbolic";

    static bool showsAlert(const AppState& state);
    // "MenuBarIconAlert" or "MenuBarIcon".
    static QString imageName(const AppState& state);
    // FOREGROUND: the colour of the normal glyph.
    static QIcon image(const AppState& state, const QColor& foreground);
    // The text colour of the preferred scheme: near-black or near-white.
    static QColor foreground();
    // "Voltwren", then one line per device ("Desk Mouse: 15%").
    static QString toolTip(const AppState& state);

    MenuBarLabel(AppState& state, QSystemTrayIcon& trayIcon, QObject* parent = nullptr);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void update();

    AppState& m_state;
    QPointer<QSystemTrayIcon> m_trayIcon;
    QString m_shownImage;
    QString m_shownToolTip;
};
