#include "MenuBarLabel.h"

#include "AppState.h"
#include "DeviceRow.h"
#include "KindIcons.h"
#include "model/DeviceName.h"

#include <QSystemTrayIcon>

bool MenuBarLabel::showsAlert(const AppState& state) {
    return state.highlightMenubarIcon() && state.isAnyDeviceLow();
}

QString MenuBarLabel::imageName(const AppState& state) {
    return showsAlert(state) ? QStringLiteral("MenuBarIconAlert") : QStringLiteral("MenuBarIcon");
}

QIcon MenuBarLabel::image(const AppState& state) {
    if (showsAlert(state))
        return KindIcons::artwork(QStringLiteral("MenuBarIconAlert"));
    // Installed, the theme has it by name; from the build tree, our file.
    return QIcon::fromTheme(QLatin1String(symbolicIconName),
                            KindIcons::artwork(QStringLiteral("MenuBarIcon")));
}

QString MenuBarLabel::toolTip(const AppState& state) {
    QStringList lines{QStringLiteral("Voltwren")};
    // The panel's own status texts, so a hover and a click agree.
    for (const MonitoredDevice& device : state.devices())
        lines << DeviceName::forDisplay(device.name) + QStringLiteral(": ") + DeviceRow::statusText(device);
    if (state.devices().isEmpty() && state.lastPolled())
        lines << QStringLiteral("No battery-powered devices found");
    return lines.join(QLatin1Char('\n'));
}

MenuBarLabel::MenuBarLabel(AppState& state, QSystemTrayIcon& trayIcon, QObject* parent)
    : QObject(parent)
    , m_state(state)
    , m_trayIcon(&trayIcon) {
    connect(&state, &AppState::changed, this, &MenuBarLabel::update);
    update();
}

void MenuBarLabel::update() {
    if (!m_trayIcon)
        return;
    // Every publication redraws; the tray only hears of real changes, so a
    // panel is not asked to reload an unchanged icon many times a poll.
    const QString name = imageName(m_state);
    if (name != m_shownImage) {
        m_shownImage = name;
        m_trayIcon->setIcon(image(m_state));
    }
    const QString tip = toolTip(m_state);
    if (tip != m_shownToolTip) {
        m_shownToolTip = tip;
        m_trayIcon->setToolTip(tip);
    }
}
