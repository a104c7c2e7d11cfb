#include "OverrideListEditor.h"

#include "AddDevicePopover.h"
#include "AppState.h"
#include "FormSection.h"
#include "KindIcons.h"
#include "OverrideRow.h"
#include "Style.h"
#include "ThresholdPicker.h"
#include "model/DeviceName.h"

#include <QCoreApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPainter>
#include <QPainterPath>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr qreal boxRadius = 6;

// The list with room above and below its rows.
class PaddedList final : public QListWidget {
public:
    explicit PaddedList(QWidget* parent)
        : QListWidget(parent) {
        setViewportMargins(0, OverrideListEditor::listPadding, 0, OverrideListEditor::listPadding);
    }
};

// Drawn over the box: the rounded outline, and the group's fill outside
// it, so the rectangular list and tool bar read as clipped to the corners.
class BoxOutline final : public QWidget {
public:
    explicit BoxOutline(QWidget* parent)
        : QWidget(parent) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath outside;
        outside.addRect(QRectF(rect()));
        QPainterPath inside;
        inside.addRoundedRect(QRectF(rect()), boxRadius, boxRadius);
        painter.fillPath(outside.subtracted(inside), FormSection::groupFill(palette()));
        // A 1-point line inside the edge.
        painter.setPen(QPen(FormSection::separatorColor(palette()), 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), boxRadius - 0.5,
                                boxRadius - 0.5);
    }
};

class Divider final : public QWidget {
public:
    explicit Divider(QWidget* parent)
        : QWidget(parent) {
        setFixedHeight(1);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter(this).fillRect(rect(), FormSection::separatorColor(palette()));
    }
};

class ToolBar final : public QWidget {
public:
    explicit ToolBar(QWidget* parent)
        : QWidget(parent) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), palette().color(QPalette::Base));
        painter.fillRect(rect(), Style::quinaryFill(palette()));
    }
};

QToolButton* toolButton(const QString& name, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setAutoRaise(true);
    button->setAccessibleName(name);
    button->setToolTip(name);
    button->setIconSize(QSize(14, 14));
    button->setFixedSize(22, 20);
    return button;
}

QStringList addressesOf(const QList<DeviceThresholdOverride>& overrides) {
    QStringList addresses;
    for (const DeviceThresholdOverride& entry : overrides)
        addresses << entry.address;
    return addresses;
}

} // namespace

OverrideListEditor::OverrideListEditor(AppState& state, QWidget* parent)
    : QWidget(parent)
    , m_state(state)
    , m_list(new PaddedList(this))
    , m_toolBar(new ToolBar(this))
    , m_add(toolButton(QCoreApplication::translate("OverrideListEditor", "Add"), m_toolBar))
    , m_remove(toolButton(QCoreApplication::translate("OverrideListEditor", "Remove"), m_toolBar))
    , m_outline(nullptr) {
    m_list->setObjectName(QStringLiteral("overrideList"));
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setAutoFillBackground(true);
    m_list->setBackgroundRole(QPalette::Base);
    m_list->setAlternatingRowColors(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_list->setUniformItemSizes(true);
    m_add->setObjectName(QStringLiteral("addOverrideButton"));
    m_remove->setObjectName(QStringLiteral("removeOverrideButton"));
    updateToolIcons();

    auto* tools = new QHBoxLayout(m_toolBar);
    tools->setContentsMargins(6, 6, 6, 6);
    tools->setSpacing(8);
    tools->addWidget(m_add);
    tools->addWidget(m_remove);
    tools->addStretch(1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_list);
    layout->addWidget(new Divider(this));
    layout->addWidget(m_toolBar);

    m_outline = new BoxOutline(this);
    m_outline->raise();

    connect(m_list, &QListWidget::itemSelectionChanged, this, &OverrideListEditor::onSelectionChanged);
    connect(m_add, &QToolButton::clicked, this, &OverrideListEditor::showAddPicker);
    connect(m_remove, &QToolButton::clicked, this, &OverrideListEditor::removeSelected);
    sync();
}

QList<DeviceThresholdOverride>
OverrideListEditor::sortedOverrides(const DeviceThresholdOverride::Collection& overrides) {
    QList<DeviceThresholdOverride> sorted(overrides.cbegin(), overrides.cend());
    // Equal names keep the collection's (address) order, so rows never swap
    // places between redraws.
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const DeviceThresholdOverride& a, const DeviceThresholdOverride& b) {
                         return nameLess(a.name, b.name);
                     });
    return sorted;
}

bool OverrideListEditor::nameLess(const QString& a, const QString& b) {
    // Code points, not UTF-16 units: a character beyond the BMP sorts after
    // U+E000…U+FFFF, as its scalar value says.
    const QList<uint> left = a.normalized(QString::NormalizationForm_C).toUcs4();
    const QList<uint> right = b.normalized(QString::NormalizationForm_C).toUcs4();
    return std::lexicographical_compare(left.cbegin(), left.cend(), right.cbegin(), right.cend());
}

int OverrideListEditor::listHeight(qsizetype count) {
    return rowHeight * int(std::clamp<qsizetype>(count, 1, 4)) + 2 * listPadding;
}

bool OverrideListEditor::isShowingAddPicker() const {
    return m_popover && m_popover->isVisible();
}

void OverrideListEditor::sync() {
    const QList<DeviceThresholdOverride> sorted = sortedOverrides(m_state.deviceThresholdOverrides());
    QStringList shown;
    for (const OverrideRow* row : std::as_const(m_rows))
        shown << row->address();
    if (shown == addressesOf(sorted)) {
        // Same rows in the same order: only their contents change, so a
        // picker the user is working with stays where it is.
        for (qsizetype i = 0; i < sorted.size(); ++i)
            m_rows[i]->setOverride(sorted[i]);
    } else {
        rebuildRows(sorted);
    }
    m_list->setFixedHeight(listHeight(sorted.size()));
    // An override removed elsewhere cannot stay selected.
    if (m_selectedOverrideID && !m_state.deviceThresholdOverrides().contains(*m_selectedOverrideID))
        m_selectedOverrideID.reset();
    applySelection();
    if (isShowingAddPicker())
        m_popover->setDevices(addableDevices());
}

void OverrideListEditor::rebuildRows(const QList<DeviceThresholdOverride>& sorted) {
    m_syncing = true;
    m_list->clear(); // the row widgets go with their items
    m_rows.clear();
    for (const DeviceThresholdOverride& entry : sorted) {
        auto* item = new QListWidgetItem(m_list);
        item->setData(Qt::UserRole, entry.address);
        item->setData(Qt::AccessibleTextRole, DeviceName::forDisplay(entry.name));
        item->setSizeHint(QSize(0, rowHeight));
        auto* row = new OverrideRow(entry);
        m_list->setItemWidget(item, row);
        const QString address = entry.address;
        connect(row->picker(), &ThresholdPicker::thresholdChosen, this,
                [this, address](double value) { setThresholdOf(address, value); });
        m_rows.append(row);
    }
    m_syncing = false;
}

void OverrideListEditor::applySelection() {
    m_syncing = true;
    for (int i = 0; i < m_list->count(); ++i) {
        QListWidgetItem* item = m_list->item(i);
        const bool selected =
            m_selectedOverrideID && item->data(Qt::UserRole).toString() == *m_selectedOverrideID;
        if (item->isSelected() != selected)
            item->setSelected(selected);
        if (selected)
            m_list->setCurrentItem(item, QItemSelectionModel::NoUpdate);
        m_rows[i]->setSelected(selected);
    }
    m_syncing = false;
    m_remove->setEnabled(m_selectedOverrideID.has_value());
}

void OverrideListEditor::onSelectionChanged() {
    if (m_syncing)
        return;
    const QList<QListWidgetItem*> selected = m_list->selectedItems();
    if (selected.isEmpty())
        m_selectedOverrideID.reset();
    else
        m_selectedOverrideID = selected.first()->data(Qt::UserRole).toString();
    applySelection();
}

QList<MonitoredDevice> OverrideListEditor::addableDevices() const {
    QList<MonitoredDevice> addable;
    for (const MonitoredDevice& device : m_state.devices()) {
        if (!m_state.deviceThresholdOverrides().contains(device.id))
            addable << device;
    }
    return addable;
}

void OverrideListEditor::showAddPicker() {
    if (!m_popover) {
        m_popover = new AddDevicePopover(this);
        connect(m_popover, &AddDevicePopover::chosen, this, &OverrideListEditor::add);
    }
    m_popover->setDevices(addableDevices());
    m_popover->popup(m_add);
}

void OverrideListEditor::add(const MonitoredDevice& device) {
    DeviceThresholdOverride::Collection overrides = m_state.deviceThresholdOverrides();
    overrides.insert(device.id, {device.id, device.name, device.kind, m_state.threshold()});
    m_state.setDeviceThresholdOverrides(overrides);
}

void OverrideListEditor::removeSelected() {
    if (!m_selectedOverrideID)
        return;
    DeviceThresholdOverride::Collection overrides = m_state.deviceThresholdOverrides();
    overrides.remove(*m_selectedOverrideID);
    m_selectedOverrideID.reset();
    m_state.setDeviceThresholdOverrides(overrides);
    applySelection();
}

void OverrideListEditor::setThresholdOf(const QString& address, double value) {
    DeviceThresholdOverride::Collection overrides = m_state.deviceThresholdOverrides();
    const auto found = overrides.find(address);
    if (found == overrides.end())
        return;
    found->threshold = value;
    m_state.setDeviceThresholdOverrides(overrides);
}

void OverrideListEditor::updateToolIcons() {
    const QColor color = palette().color(QPalette::WindowText);
    m_add->setIcon(KindIcons::symbol(QStringLiteral("plus"), color));
    m_remove->setIcon(KindIcons::symbol(QStringLiteral("minus"), color));
}

void OverrideListEditor::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        updateToolIcons();
}

void OverrideListEditor::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    m_outline->setGeometry(rect());
    m_outline->raise();
}
