#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>

// The few colours and fonts the views share, derived from the palette so they
// read on light and dark themes alike.
namespace Style {

// A dark window background.
bool isDark(const QPalette& palette);

// Text of lesser weight: captions, units, component labels.
QColor secondaryText(const QPalette& palette);

// A charge below its threshold.
QColor alertRed(const QPalette& palette);

// The warning glyph of the permission notices.
QColor warningOrange(const QPalette& palette);

// The quiet fill behind small tool bars.
QColor quinaryFill(const QPalette& palette);

// The caption size, a step below the base font.
QFont captionFont(const QFont& base);

} // namespace Style
