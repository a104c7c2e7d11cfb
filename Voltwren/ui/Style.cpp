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

QPalette Style::darkPalette() {
    const QColor window(0x2a, 0x2a, 0x2e);
    const QColor text(0xee, 0xee, 0xef);
    const QColor disabledText(0x7c, 0x7c, 0x82);
    QPalette palette(text, window);
    palette.setColor(QPalette::Base, QColor(0x1f, 0x1f, 0x22));
    palette.setColor(QPalette::AlternateBase, QColor(0x2f, 0x2f, 0x33));
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Button, QColor(0x3a, 0x3a, 0x3f));
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::BrightText, QColor(0xff, 0x6b, 0x6b));
    palette.setColor(QPalette::Light, QColor(0x52, 0x52, 0x58));
    palette.setColor(QPalette::Midlight, QColor(0x44, 0x44, 0x4a));
    palette.setColor(QPalette::Mid, QColor(0x32, 0x32, 0x36));
    palette.setColor(QPalette::Dark, QColor(0x1a, 0x1a, 0x1d));
    palette.setColor(QPalette::Shadow, Qt::black);
    palette.setColor(QPalette::Highlight, QColor(0x35, 0x84, 0xe4));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::Link, QColor(0x78, 0xae, 0xed));
    palette.setColor(QPalette::LinkVisited, QColor(0xc0, 0x61, 0xcb));
    palette.setColor(QPalette::ToolTipBase, QColor(0x1f, 0x1f, 0x22));
    palette.setColor(QPalette::ToolTipText, text);
    palette.setColor(QPalette::PlaceholderText, disabledText);
    for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, disabledText);
    palette.setColor(QPalette::Disabled, QPalette::Highlight, QColor(0x4a, 0x4a, 0x50));
    return palette;
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
