#include "OverrideRow.h"

#include "IconView.h"
#include "KindIcons.h"
#include "ThresholdPicker.h"
#include "model/DeviceName.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>

OverrideRow::OverrideRow(const DeviceThresholdOverride& entry, QWidget* parent)
    : QWidget(parent)
    , m_entry(entry)
    , m_icon(new IconView(20, 16, this))
    , m_name(new QLabel(this))
    , m_picker(new ThresholdPicker(this)) {
    m_name->setTextFormat(Qt::PlainText);
    m_name->setObjectName(QStringLiteral("overrideName"));
    m_name->setForegroundRole(QPalette::Text);
    // Long names are elided by us; the label must not widen the row.
    m_name->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_picker->setFixedWidth(pickerWidth);
    m_picker->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 0, 6, 0);
    layout->addWidget(m_icon);
    layout->addWidget(m_name, 1);
    layout->addWidget(m_picker);
    setOverride(entry);
}

void OverrideRow::setOverride(const DeviceThresholdOverride& entry) {
    const bool kindChanged = entry.kind != m_entry.kind || m_icon->icon().isNull();
    m_entry = entry;
    if (kindChanged)
        updateIcon();
    updateName();
    m_picker->setThreshold(entry.threshold);
}

void OverrideRow::setSelected(bool selected) {
    if (selected == m_selected)
        return;
    m_selected = selected;
    m_name->setForegroundRole(selected ? QPalette::HighlightedText : QPalette::Text);
    updateIcon();
}

void OverrideRow::updateIcon() {
    const QPalette::ColorRole role = m_selected ? QPalette::HighlightedText : QPalette::Text;
    m_icon->setIcon(KindIcons::icon(m_entry.kind, palette().color(role)));
}

void OverrideRow::updateName() {
    const QString name = DeviceName::forDisplay(m_entry.name);
    const int available = m_name->width();
    const QString shown =
        available > 0 ? m_name->fontMetrics().elidedText(name, Qt::ElideRight, available) : name;
    m_name->setText(shown);
    m_name->setToolTip(shown == name ? QString() : name);
    setAccessibleName(name);
}

void OverrideRow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        updateIcon();
    else if (event->type() == QEvent::FontChange)
        updateName();
}

void OverrideRow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    updateName();
}
