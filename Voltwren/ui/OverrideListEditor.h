#pragma once

#include "AddDevicePopover.h"
#include "model/DeviceThresholdOverride.h"
#include "model/MonitoredDevice.h"

#include <QList>
#include <QPointer>
#include <QWidget>

#include <optional>

class AppState;
class OverrideRow;
class QListWidget;
class QToolButton;

// The device-specific thresholds: a list of the overrides sorted by name,
// each with its own picker, and a tool bar to add one (from a popover of the
// devices without one) and to remove the selected one. Every change is one
// assignment of the whole collection.
class OverrideListEditor final : public QWidget {
    Q_OBJECT

public:
    static constexpr int rowHeight = 34;
    static constexpr int listPadding = 8; // above and below the rows

    explicit OverrideListEditor(AppState& state, QWidget* parent = nullptr);

    // The overrides ordered by name: NFC, then Unicode scalar values, no
    // case folding or locale (so "Zebra" comes before "apple").
    static QList<DeviceThresholdOverride>
    sortedOverrides(const DeviceThresholdOverride::Collection& overrides);
    static bool nameLess(const QString& a, const QString& b);
    // 34 × n + 16 for n overrides, n clamped to 1…4; more rows scroll.
    static int listHeight(qsizetype count);

    // Follows the state; rows are rebuilt only when the set or order of the
    // overrides changes.
    void sync();

    std::optional<QString> selectedOverrideID() const { return m_selectedOverrideID; }
    bool isShowingAddPicker() const;

    QListWidget* list() const { return m_list; }
    QToolButton* addButton() const { return m_add; }
    QToolButton* removeButton() const { return m_remove; }
    // Null until first opened.
    AddDevicePopover* addPopover() const { return m_popover; }

protected:
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void rebuildRows(const QList<DeviceThresholdOverride>& sorted);
    void applySelection();
    void onSelectionChanged();
    QList<MonitoredDevice> addableDevices() const;
    void showAddPicker();
    void add(const MonitoredDevice& device);
    void removeSelected();
    void setThresholdOf(const QString& address, double value);
    void updateToolIcons();

    AppState& m_state;
    std::optional<QString> m_selectedOverrideID;
    QListWidget* m_list;
    QList<OverrideRow*> m_rows;
    QWidget* m_toolBar;
    QToolButton* m_add;
    QToolButton* m_remove;
    QWidget* m_outline;
    QPointer<AddDevicePopover> m_popover;
    bool m_syncing = false;
};
