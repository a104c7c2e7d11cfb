#include "Style.h"

#include <QWidget>

QColor Style::mix(const QColor& a, const QColor& b, qreal amountOfB) {
    return QColor::fromRgbF(a.redF() * (1 - amountOfB) + b.redF() * amountOfB,
                            a.greenF() * (1 - amountOfB) + b.greenF() * amountOfB,
                            a.blueF() * (1 - amountOfB) + b.blueF() * amountOfB);
}

void Style::setTextColor(QWidget* widget, const QColor& color) {
    QPalette palette;
    palette.setColor(QPalette::WindowText, color);
    widget->setPalette(palette);
}

bool Style::isDark(const QPalette& palette) {
    return palette.color(QPalette::Window).lightnessF() < 0.5;
}

QColor Style::secondaryText(const QPalette& palette) {
    // Between text and background, as far from the background as legibility asks.
    return mix(palette.color(QPalette::Window), palette.color(QPalette::WindowText), 0.62);
}

QColor Style::alertRed(const QPalette& palette) {
    return isDark(palette) ? QColor(0xff, 0x45, 0x3a) : QColor(0xd7, 0x00, 0x15);
}

QColor Style::warningOrange(const QPalette& palette) {
    return isDark(palette) ? QColor(0xff, 0x9f, 0x0a) : QColor(0xe0, 0x7a, 0x00);
}

QColor Style::quinaryFill(const QPalette& palette) {
    QColor fill = palette.color(QPalette::WindowText);
    fill.setAlphaF(0.06);
    return fill;
}

QFont Style::captionFont(const QFont& base) {
    QFont font = base;
    if (font.pointSizeF() > 0)
        font.setPointSizeF(font.pointSizeF() * 0.85);
    else
        font.setPixelSize(qMax(9, qRound(font.pixelSize() * 0.85)));
    return font;
}
