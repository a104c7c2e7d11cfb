#include "ColorSchemeFollower.h"

#include "Style.h"
#include "app/Console.h"

#include <QApplication>
#include <QEvent>
#include <QScopedValueRollback>
#include <QStyle>

ColorSchemeFollower::ColorSchemeFollower(Appearance& appearance, QObject* parent)
    : QObject(parent) {
    appearance.observeColorScheme([this](ColorScheme scheme) { apply(scheme); });
    // A platform theme may change its colours after the desktop's answer,
    // or without one.
    qApp->installEventFilter(this);
}

bool ColorSchemeFollower::contradicts(const QPalette& palette) const {
    return (m_scheme == ColorScheme::preferDark && !Style::isDark(palette)) ||
           (m_scheme == ColorScheme::preferLight && Style::isDark(palette));
}

void ColorSchemeFollower::apply(ColorScheme scheme) {
    m_scheme = scheme;
    const QScopedValueRollback applying(m_applying, true);
    // Undo ours first: a palette with no role of its own takes the platform
    // theme's colours as they are now, and keeps taking them when it changes
    // them later. Only then is it known whether they fit the preference.
    if (m_colors != Colors::platform) {
        QPalette platform = QApplication::palette();
        platform.setResolveMask(0);
        QApplication::setPalette(platform);
    }
    Colors colors = Colors::platform;
    if (contradicts(QApplication::palette()))
        colors = scheme == ColorScheme::preferDark ? Colors::dark : Colors::light;
    if (colors == Colors::dark)
        QApplication::setPalette(Style::darkPalette());
    else if (colors == Colors::light)
        QApplication::setPalette(QApplication::style()->standardPalette());
    if (colors == m_colors)
        return;
    m_colors = colors;
    switch (colors) {
    case Colors::platform:
        Console::printLine(QStringLiteral("Voltwren [debug]: the platform theme's colours"));
        break;
    case Colors::dark:
        Console::printLine(QStringLiteral("Voltwren [debug]: dark colours, as the desktop prefers"));
        break;
    case Colors::light:
        Console::printLine(QStringLiteral("Voltwren [debug]: light colours, as the desktop prefers"));
        break;
    }
}

bool ColorSchemeFollower::eventFilter(QObject* watched, QEvent* event) {
    // Only the platform's colours change under us: ours have every role set.
    if (watched == qApp && event->type() == QEvent::ApplicationPaletteChange && !m_applying &&
        m_colors == Colors::platform && contradicts(QApplication::palette()))
        apply(m_scheme);
    return QObject::eventFilter(watched, event);
}
