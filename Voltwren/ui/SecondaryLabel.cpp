#include "SecondaryLabel.h"

#include "Style.h"

#include <QApplication>
#include <QEvent>

SecondaryLabel::SecondaryLabel(const QString& text, QWidget* parent)
    : QLabel(text, parent) {
    setTextFormat(Qt::PlainText);
    recolour();
}

void SecondaryLabel::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ParentChange)
        recolour();
}

void SecondaryLabel::recolour() {
    if (m_recolouring)
        return;
    // Derived from the surroundings, not from our own (already dimmed) text.
    const QPalette base = parentWidget() ? parentWidget()->palette() : QApplication::palette(this);
    const QColor color = Style::secondaryText(base);
    if (palette().color(QPalette::WindowText) == color && palette().color(QPalette::Text) == color)
        return;
    m_recolouring = true;
    QPalette own = palette();
    own.setColor(QPalette::WindowText, color);
    own.setColor(QPalette::Text, color);
    setPalette(own);
    m_recolouring = false;
}
