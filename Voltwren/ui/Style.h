#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>

class QWidget;

// The few colours and fonts the views share, derived from the palette so they
// read on light and dark themes alike.
namespace Style {

// A colour between A and B: AMOUNT_OF_B 0 is A, 1 is B.
QColor mix(const QColor& a, const QColor& b, qreal amountOfB);

// Gives WIDGET's text COLOR; every other role follows its parent's palette.
void setTextColor(QWidget* widget, const QColor& color);

// A dark window background.
bool isDark(const QPalette& palette);

// Our colours for a desktop that prefers dark but whose platform theme
// offers only light ones.
QPalette darkPalette();

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
