#include "ColorSchemeFollower.h"

#include "Style.h"
#include "app/Console.h"

#include <QApplication>

ColorSchemeFollower::ColorSchemeFollower(Appearance& appearance, QObject* parent)
    : QObject(parent)
    , m_platformPalette(QApplication::palette()) {
    appearance.observeColorScheme([this](ColorScheme scheme) { apply(scheme); });
}

void ColorSchemeFollower::apply(ColorScheme scheme) {
    const bool dark = scheme == ColorScheme::preferDark;
    if (dark == m_dark)
        return;
    m_dark = dark;
    QApplication::setPalette(dark && !Style::isDark(m_platformPalette) ? Style::darkPalette()
                                                                       : m_platformPalette);
    Console::printLine(dark ? QStringLiteral("Voltwren [debug]: dark colours, as the desktop prefers")
                            : QStringLiteral("Voltwren [debug]: the platform theme's colours"));
}
