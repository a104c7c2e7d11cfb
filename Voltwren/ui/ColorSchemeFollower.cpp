#include "ColorSchemeFollower.h"

#include "Style.h"
#include "app/Console.h"

#include <QApplication>
#include <QStyle>

ColorSchemeFollower::ColorSchemeFollower(Appearance& appearance, QObject* parent)
    : QObject(parent)
    , m_platformPalette(QApplication::palette()) {
    appearance.observeColorScheme([this](ColorScheme scheme) { apply(scheme); });
}

void ColorSchemeFollower::apply(ColorScheme scheme) {
    // The platform theme reads its colours once, at start; a preference
    // that differs from them gets ours.
    Colors colors = Colors::platform;
    if (scheme == ColorScheme::preferDark && !Style::isDark(m_platformPalette))
        colors = Colors::dark;
    else if (scheme == ColorScheme::preferLight && Style::isDark(m_platformPalette))
        colors = Colors::light;
    if (colors == m_colors)
        return;
    m_colors = colors;
    switch (colors) {
    case Colors::platform:
        QApplication::setPalette(m_platformPalette);
        Console::printLine(QStringLiteral("Voltwren [debug]: the platform theme's colours"));
        break;
    case Colors::dark:
        QApplication::setPalette(Style::darkPalette());
        Console::printLine(QStringLiteral("Voltwren [debug]: dark colours, as the desktop prefers"));
        break;
    case Colors::light:
        QApplication::setPalette(QApplication::style()->standardPalette());
        Console::printLine(QStringLiteral("Voltwren [debug]: light colours, as the desktop prefers"));
        break;
    }
}
