#include "ChevronIndicator.h"

#include "KindIcons.h"
#include "Style.h"

#include <QPainter>

ChevronIndicator::ChevronIndicator(QWidget* parent)
    : QWidget(parent) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_animation.setDuration(150);
    m_animation.setEasingCurve(QEasingCurve::InOutQuad);
    connect(&m_animation, &QVariantAnimation::valueChanged, this,
            [this](const QVariant& value) { setAngle(value.toReal()); });
}

void ChevronIndicator::pointDown(bool down, bool animated) {
    const qreal target = down ? 90 : 0;
    if (target == m_target && (m_animation.state() == QAbstractAnimation::Running || m_angle == target))
        return;
    m_target = target;
    m_animation.stop();
    if (!animated || !isVisible()) {
        setAngle(target);
        return;
    }
    // From wherever a running turn had got to, so a quick second click reverses smoothly.
    m_animation.setStartValue(m_angle);
    m_animation.setEndValue(target);
    m_animation.start();
}

QSize ChevronIndicator::sizeHint() const {
    // The chevron's glyph is a step smaller than the caption text.
    const int side = qMax(8, qRound(QFontMetricsF(Style::captionFont(font())).height() * 0.8));
    return {side, side};
}

void ChevronIndicator::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    QRect glyph(QPoint(0, 0), sizeHint());
    glyph.moveCenter(rect().center());
    // Turn about the glyph's own centre.
    const QPointF centre = QRectF(glyph).center();
    painter.translate(centre);
    painter.rotate(m_angle);
    painter.translate(-centre);
    KindIcons::symbol(QStringLiteral("chevron.right"), Style::secondaryText(palette()))
        .paint(&painter, glyph);
}

void ChevronIndicator::setAngle(qreal angle) {
    m_angle = angle;
    update();
}
