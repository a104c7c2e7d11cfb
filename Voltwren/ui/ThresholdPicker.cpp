#include "ThresholdPicker.h"

#include "AppState.h"

#include <QCoreApplication>
#include <QLocale>
#include <QWheelEvent>

#include <cmath>

ThresholdPicker::ThresholdPicker(QWidget* parent)
    : QComboBox(parent) {
    for (const double option : AppState::thresholdOptions)
        addItem(choiceLabel(option), option);
    setSizeAdjustPolicy(QComboBox::AdjustToContents);
    setFocusPolicy(Qt::StrongFocus);
    connect(this, &QComboBox::activated, this,
            [this](int index) { Q_EMIT thresholdChosen(itemData(index).toDouble()); });
}

QString ThresholdPicker::choiceLabel(double threshold) {
    if (threshold == 0)
        return QCoreApplication::translate("ThresholdPicker", "None");
    return QCoreApplication::translate("DeviceRow", "%1%")
        .arg(QLocale().toString(static_cast<qint64>(std::trunc(threshold))));
}

void ThresholdPicker::setThreshold(double value) {
    int index = findData(value);
    if (index < 0)
        index = findData(AppState::snapToThresholdOption(value));
    setCurrentIndex(index);
}

double ThresholdPicker::threshold() const {
    return currentData().toDouble();
}

void ThresholdPicker::wheelEvent(QWheelEvent* event) {
    // Scrolling the form over a picker must not change a threshold.
    if (!hasFocus()) {
        event->ignore();
        return;
    }
    QComboBox::wheelEvent(event);
}
