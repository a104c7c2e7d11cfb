#pragma once

#include <QWidget>

class QToolButton;

// Up and down arrows that step a value within a range. Only the user's
// steps are signalled; setValue() is silent.
class Stepper final : public QWidget {
    Q_OBJECT

public:
    Stepper(double minimum, double maximum, double step, QWidget* parent = nullptr);

    double value() const { return m_value; }
    void setValue(double value);

    QToolButton* incrementButton() const { return m_up; }
    QToolButton* decrementButton() const { return m_down; }

Q_SIGNALS:
    void stepped(double value);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void stepBy(int direction);
    void updateButtons();

    double m_minimum;
    double m_maximum;
    double m_step;
    double m_value;
    QToolButton* m_up;
    QToolButton* m_down;
};
