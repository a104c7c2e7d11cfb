#pragma once

#include <QComboBox>
#include <QList>
#include <QString>

#include <utility>

// A choice among a few labelled values. Only the user's choices are
// signalled; setValue() is silent.
class ChoicePicker final : public QComboBox {
    Q_OBJECT

public:
    explicit ChoicePicker(const QList<std::pair<QString, double>>& choices, QWidget* parent = nullptr);

    // Shows VALUE's label, or the first choice's for a value not offered.
    void setValue(double value);
    double value() const { return currentData().toDouble(); }

Q_SIGNALS:
    void chosen(double value);

protected:
    void wheelEvent(QWheelEvent* event) override;
};
