#pragma once

#include "model/MonitoredDevice.h"

#include <QAbstractButton>
#include <QList>
#include <QWidget>

class QLabel;
class QVBoxLayout;

// The devices that can get a threshold of their own, in a popup under the
// add button. A click elsewhere closes it.
class AddDevicePopover final : public QWidget {
    Q_OBJECT

public:
    static constexpr int minimumWidth = 180;

    explicit AddDevicePopover(QWidget* parent);

    // Replaces the entries; none shows "No devices available".
    void setDevices(const QList<MonitoredDevice>& addable);
    // Opens under ANCHOR, left edges aligned, inside ANCHOR's screen.
    void popup(QWidget* anchor);

    // The entries, in list order (empty while "No devices available" shows).
    QList<QAbstractButton*> entries() const { return m_entries; }
    QLabel* emptyText() const { return m_emptyText; }

Q_SIGNALS:
    // The popover has closed itself before this.
    void chosen(const MonitoredDevice& device);
    void closed();

protected:
    void hideEvent(QHideEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QVBoxLayout* m_layout;
    QLabel* m_emptyText;
    QList<QAbstractButton*> m_entries;
};

// One device in the popover: its kind icon and name across the whole width.
class AddDeviceEntry final : public QAbstractButton {
    Q_OBJECT

public:
    AddDeviceEntry(const MonitoredDevice& device, QWidget* parent);

    const MonitoredDevice& device() const { return m_device; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    MonitoredDevice m_device;
};
