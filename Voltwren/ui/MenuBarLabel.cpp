#include "MenuBarLabel.h"

#include "AppState.h"
#include "DeviceRow.h"
#include "KindIcons.h"
#include "model/DeviceName.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QSystemTrayIcon>

bool MenuBarLabel::showsAlert(const AppState& state) {
    return state.highlightMenubarIcon() && state.isAnyDeviceLow();
}

QString MenuBarLabel::imageName(const AppState& state) {
    return showsAlert(state) ? QStringLiteral("MenuBarIconAlert") : QStringLiteral("MenuBarIcon");
}

QIcon MenuBarLabel::image(const AppState& state, const QColor& foreground) {
    if (showsAlert(state))
        return KindIcons::artwork(QStringLiteral("MenuBarIconAlert"));
    // Our pixels dark or light as the scheme's text, ringed in the opposite:
    // the bar may not be in the scheme. Pure black and white, as on any bar
    // one of them reads at 4.5:1 or more. By name, the installed symbolic
    // icon, for hosts that recolour it to their own bar.
    const bool dark = foreground.lightnessF() < 0.5;
    return KindIcons::symbol(QStringLiteral("MenuBarIcon"), dark ? QColor(Qt::black) : QColor(Qt::white),
                             QLatin1String(symbolicIconName), dark ? QColor(Qt::white) : QColor(Qt::black));
}

QColor MenuBarLabel::foreground() {
    return QGuiApplication::palette().color(QPalette::WindowText);
}

QString MenuBarLabel::toolTip(const AppState& state) {
    QStringList lines{QStringLiteral("Voltwren")};
    // The panel's own status texts, so a hover and a click agree.
    for (const MonitoredDevice& device : state.devices())
        lines << DeviceName::forDisplay(device.name) + QStringLiteral(": ") + DeviceRow::statusText(device);
    if (state.devices().isEmpty() && state.lastPolled())
        lines << QCoreApplication::translate("MenuBarLabel", "No battery-powered devices found");
    return lines.join(QLatin1Char('\n'));
}

MenuBarLabel::MenuBarLabel(AppState& state, QSystemTrayIcon& trayIcon, QObject* parent)
    : QObject(parent)
    , m_state(state)
    , m_trayIcon(&trayIcon) {
    connect(&state, &AppState::changed, this, &MenuBarLabel::update);
    // The application palette follows the desktop's light or dark preference.
    qApp->installEventFilter(this);
    update();
}

bool MenuBarLabel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == qApp && event->type() == QEvent::ApplicationPaletteChange)
        update();
    return QObject::eventFilter(watched, event);
}

void MenuBarLabel::update() {
    if (!m_trayIcon)
        return;
    // Every publication redraws; the tray only hears of real changes, so a
    // panel is not asked to reload an unchanged icon many times a poll.
    const QColor color = foreground();
    const QString name = imageName(m_state) + QLatin1Char(' ') + color.name();
    if (name != m_shownImage) {
        m_shownImage = name;
        m_trayIcon->setIcon(image(m_state, color));
    }
    const QString tip = toolTip(m_state);
    if (tip != m_shownToolTip) {
        m_shownToolTip = tip;
        m_trayIcon->setToolTip(tip);
    }
}
