#include "LinkButton.h"

#include <QEnterEvent>
#include <QPainter>
#include <QStyleOptionFocusRect>
#include <QStylePainter>

namespace {
constexpr int margin = 2; // room for the focus frame
}

LinkButton::LinkButton(const QString& text, QWidget* parent)
    : QAbstractButton(parent) {
    setText(text);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setAttribute(Qt::WA_Hover);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize LinkButton::sizeHint() const {
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(text()) + 2 * margin, metrics.height() + 2 * margin};
}

void LinkButton::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QFont shown = font();
    // Underlined under the pointer, so it reads as clickable before a click.
    shown.setUnderline(underMouse() && isEnabled());
    painter.setFont(shown);
    QColor color = palette().color(QPalette::Link);
    if (!isEnabled())
        color = palette().color(QPalette::Disabled, QPalette::WindowText);
    else if (isDown())
        color = color.darker(130);
    painter.setPen(color);
    const QRect textRect = rect().adjusted(margin, margin, -margin, -margin);
    painter.drawText(textRect, Qt::AlignCenter | Qt::TextSingleLine, text());
    if (hasFocus()) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = rect();
        painter.drawPrimitive(QStyle::PE_FrameFocusRect, option);
    }
}

void LinkButton::enterEvent(QEnterEvent* event) {
    QAbstractButton::enterEvent(event);
    update();
}

void LinkButton::leaveEvent(QEvent* event) {
    QAbstractButton::leaveEvent(event);
    update();
}
