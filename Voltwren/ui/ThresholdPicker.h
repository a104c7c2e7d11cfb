#pragma once

#include <QComboBox>

// A choice among the thirteen thresholds, labelled "None", "5%" … "90%".
// Only the user's choices are signalled; setThreshold() is silent.
class ThresholdPicker final : public QComboBox {
    Q_OBJECT

public:
    explicit ThresholdPicker(QWidget* parent = nullptr);

    // "None" for 0, else the whole number and "%".
    static QString choiceLabel(double threshold);

    // Shows VALUE's label (the nearest choice's, should VALUE be none).
    void setThreshold(double value);
    double threshold() const;

Q_SIGNALS:
    void thresholdChosen(double value);

protected:
    void wheelEvent(QWheelEvent* event) override;
};
