#pragma once

#include "model/DeviceThresholdOverride.h"

#include <QWidget>

class IconView;
class QLabel;
class ThresholdPicker;

// One device-specific threshold in the list: kind icon, the stored name as
// it is, and the picker of its threshold.
class OverrideRow final : public QWidget {
    Q_OBJECT

public:
    static constexpr int height = 34;
    static constexpr int pickerWidth = 80;

    explicit OverrideRow(const DeviceThresholdOverride& entry, QWidget* parent = nullptr);

    // Shows ENTRY (same address) without rebuilding anything.
    void setOverride(const DeviceThresholdOverride& entry);
    void setSelected(bool selected);

    const QString& address() const { return m_entry.address; }
    const QString& name() const { return m_entry.name; }
    ThresholdPicker* picker() const { return m_picker; }

protected:
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void updateIcon();
    void updateName();

    DeviceThresholdOverride m_entry;
    bool m_selected = false;
    IconView* m_icon;
    QLabel* m_name;
    ThresholdPicker* m_picker;
};
