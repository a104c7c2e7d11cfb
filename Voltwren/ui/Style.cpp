#include "Style.h"

bool Style::isDark(const QPalette& palette) {
    return palette.color(QPalette::Window).lightnessF() < 0.5;
}

QColor Style::secondaryText(const QPalette& palette) {
    // Between text and background, as far from the background as legibility asks.
    const QColor text = palette.color(QPalette::WindowText);
    const QColor window = palette.color(QPalette::Window);
    const qreal keep = 0.62;
    return QColor::fromRgbF(text.redF() * keep + window.redF() * (1 - keep),
                            text.greenF() * keep + window.greenF() * (1 - keep),
                            text.blueF() * keep + window.blueF() * (1 - keep));
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
