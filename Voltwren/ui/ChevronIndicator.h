#pragma once

#include <QVariantAnimation>
#include <QWidget>

// The disclosure chevron of a device row: points right while folded and
// turns a quarter to point down while unfolded.
class ChevronIndicator final : public QWidget {
    Q_OBJECT

public:
    explicit ChevronIndicator(QWidget* parent = nullptr);

    // Degrees clockwise from pointing right.
    qreal angle() const { return m_angle; }
    void pointDown(bool down, bool animated);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void setAngle(qreal angle);

    qreal m_angle = 0;
    qreal m_target = 0;
    QVariantAnimation m_animation;
};
