#include "ToggleSwitch.h"

#include "Style.h"

#include <QPainter>
#include <QPainterPath>
#include <QStyle>

namespace {

constexpr int trackWidth = 34;
constexpr int trackHeight = 20;
constexpr int knobInset = 2;
constexpr int titleGap = 12;

} // namespace

ToggleSwitch::ToggleSwitch(const QString& title, QWidget* parent)
    : QAbstractButton(parent) {
    setText(title);
    setCheckable(true);
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QSize ToggleSwitch::sizeHint() const {
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(text()) + titleGap + trackWidth + 4,
            qMax(metrics.height(), trackHeight) + 4};
}

QSize ToggleSwitch::minimumSizeHint() const {
    return {trackWidth + titleGap + 40, sizeHint().height()};
}

QRect ToggleSwitch::trackRect() const {
    return {width() - trackWidth - 2, (height() - trackHeight) / 2, trackWidth, trackHeight};
}

void ToggleSwitch::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette& colors = palette();
    const QRect track = trackRect();

    const QRect titleRect =
        QStyle::visualRect(layoutDirection(), rect(), QRect(0, 0, track.left() - titleGap, height()));
    painter.setPen(colors.color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    painter.drawText(titleRect,
                     QStyle::visualAlignment(layoutDirection(), Qt::AlignLeft) | Qt::AlignVCenter |
                         Qt::TextSingleLine,
                     fontMetrics().elidedText(text(), Qt::ElideRight, titleRect.width()));
    // Right to left, the switch sits before the title and turns on to the left.
    if (isRightToLeft()) {
        painter.translate(width(), 0);
        painter.scale(-1, 1);
    }

    const QColor window = colors.color(QPalette::Window);
    const QColor text = colors.color(QPalette::WindowText);
    QColor fill = isChecked() ? colors.color(QPalette::Highlight) : Style::mix(window, text, 0.22);
    if (!isEnabled())
        fill.setAlphaF(0.4);
    const qreal radius = track.height() / 2.0;
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawRoundedRect(QRectF(track), radius, radius);

    const int knobSide = track.height() - 2 * knobInset;
    const int knobX = isChecked() ? track.right() - knobInset - knobSide + 1 : track.left() + knobInset;
    const QRectF knob(knobX, track.top() + knobInset, knobSide, knobSide);
    painter.setBrush(isDown() ? QColor(0xe8, 0xe8, 0xe8) : QColor(Qt::white));
    painter.setPen(QPen(QColor(0, 0, 0, 40), 0.5));
    painter.drawEllipse(knob);

    if (hasFocus()) {
        QColor ring = colors.color(QPalette::Highlight);
        ring.setAlphaF(0.6);
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(ring, 2));
        painter.drawRoundedRect(QRectF(track).adjusted(-1.5, -1.5, 1.5, 1.5), radius + 1.5, radius + 1.5);
    }
}
