#pragma once

#include "model/MonitoredDevice.h"

#include <QWidget>

class ChevronIndicator;
class QLabel;

// One device in the panel: kind icon in a fixed column, name, status text
// and, for devices with component batteries, a chevron. The whole row is one
// click target and one keyboard focus stop.
class DeviceRow final : public QWidget {
    Q_OBJECT

public:
    // Width of the icon column, so every row's name starts at the same x.
    static constexpr int iconColumnWidth = 20;

    explicit DeviceRow(QWidget* parent = nullptr);

    // THRESHOLD is the device's effective threshold.
    void setDevice(const MonitoredDevice& device, double threshold);
    void setExpanded(bool expanded, bool animated);

    const MonitoredDevice& device() const { return m_device; }
    QString deviceID() const { return m_device.id; }

    // The status column's text: "15%", "Not connected" or "—", with a bolt
    // ("15% ⚡") while the device charges.
    static QString statusText(const MonitoredDevice& device);
    // A percentage as the panel writes it ("15%").
    static QString percentText(qint64 percent);
    // The spoken form of a charge: "15 percent", or "charge unknown".
    static QString spokenCharge(std::optional<qint64> percent);

Q_SIGNALS:
    // Clicked, or Enter/Space while focused.
    void activated();

protected:
    void changeEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void restyle();

    MonitoredDevice m_device;
    double m_threshold = 0;
    QLabel* m_name;
    QLabel* m_status;
    ChevronIndicator* m_chevron;
    bool m_pressed = false;
    bool m_showFocus = false;
};
