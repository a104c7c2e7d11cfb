#include "Stepper.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

QToolButton* arrowButton(Qt::ArrowType arrow, const QString& name, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setArrowType(arrow);
    button->setAccessibleName(name);
    button->setFixedSize(22, 13);
    button->setFocusPolicy(Qt::NoFocus);
    button->setAutoRepeat(true);
    return button;
}

} // namespace

Stepper::Stepper(double minimum, double maximum, double step, QWidget* parent)
    : QWidget(parent)
    , m_minimum(minimum)
    , m_maximum(maximum)
    , m_step(step)
    , m_value(minimum)
    , m_up(arrowButton(Qt::UpArrow, QCoreApplication::translate("Stepper", "Increase"), this))
    , m_down(arrowButton(Qt::DownArrow, QCoreApplication::translate("Stepper", "Decrease"), this)) {
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_up);
    layout->addWidget(m_down);
    connect(m_up, &QToolButton::clicked, this, [this] { stepBy(1); });
    connect(m_down, &QToolButton::clicked, this, [this] { stepBy(-1); });
    updateButtons();
}

void Stepper::setValue(double value) {
    m_value = value;
    updateButtons();
}

void Stepper::stepBy(int direction) {
    // From a value outside the range (a hand-edited setting) a step lands
    // inside it.
    const double next =
        std::isnan(m_value) ? m_minimum : std::clamp(m_value + direction * m_step, m_minimum, m_maximum);
    if (next == m_value)
        return;
    m_value = next;
    updateButtons();
    Q_EMIT stepped(m_value);
}

void Stepper::updateButtons() {
    // NaN compares false both ways: both arrows stay usable and clamp.
    m_up->setEnabled(!(m_value >= m_maximum));
    m_down->setEnabled(!(m_value <= m_minimum));
}

void Stepper::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Up)
        stepBy(1);
    else if (event->key() == Qt::Key_Down)
        stepBy(-1);
    else
        QWidget::keyPressEvent(event);
}
