#include "ChoicePicker.h"

#include <QWheelEvent>

ChoicePicker::ChoicePicker(const QList<std::pair<QString, double>>& choices, QWidget* parent)
    : QComboBox(parent) {
    for (const auto& [label, value] : choices)
        addItem(label, value);
    setSizeAdjustPolicy(QComboBox::AdjustToContents);
    setFocusPolicy(Qt::StrongFocus);
    connect(this, &QComboBox::activated, this,
            [this](int index) { Q_EMIT chosen(itemData(index).toDouble()); });
}

void ChoicePicker::setValue(double value) {
    setCurrentIndex(std::max(0, findData(value)));
}

void ChoicePicker::wheelEvent(QWheelEvent* event) {
    // Scrolling the form over a picker must not change a setting.
    if (!hasFocus()) {
        event->ignore();
        return;
    }
    QComboBox::wheelEvent(event);
}
