#include "AddDevicePopover.h"

#include "FormSection.h"
#include "KindIcons.h"
#include "SecondaryLabel.h"
#include "model/DeviceName.h"

#include <QCoreApplication>
#include <QEnterEvent>
#include <QPainter>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

namespace {

constexpr int iconColumn = 20;
constexpr int iconSide = 16;
constexpr int verticalPadding = 4;

int horizontalPadding(const QWidget* widget) {
    return widget->style()->pixelMetric(QStyle::PM_LayoutHorizontalSpacing, nullptr, widget) + 2;
}

} // namespace

AddDeviceEntry::AddDeviceEntry(const MonitoredDevice& device, QWidget* parent)
    : QAbstractButton(parent)
    , m_device(device) {
    setText(DeviceName::forDisplay(device.name));
    setAttribute(Qt::WA_Hover);
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QSize AddDeviceEntry::sizeHint() const {
    const QFontMetrics metrics(font());
    const int padding = horizontalPadding(this);
    return {2 * padding + iconColumn + 6 + metrics.horizontalAdvance(text()),
            qMax(metrics.height(), iconSide) + 2 * verticalPadding};
}

void AddDeviceEntry::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    // Focus only arrives by the keyboard (Tab), so it is shown as the pointer is.
    const bool highlighted = underMouse() || hasFocus();
    if (highlighted) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(palette().color(QPalette::Highlight));
        painter.drawRoundedRect(QRectF(rect()).adjusted(4, 0, -4, 0), 4, 4);
    }
    const QColor foreground = palette().color(highlighted ? QPalette::HighlightedText : QPalette::WindowText);
    const int padding = horizontalPadding(this);
    const QRect icon(padding + (iconColumn - iconSide) / 2, (height() - iconSide) / 2, iconSide, iconSide);
    KindIcons::icon(m_device.kind, foreground).paint(&painter, icon);
    const QRect textRect(padding + iconColumn + 6, 0, width() - 2 * padding - iconColumn - 6, height());
    painter.setPen(foreground);
    painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     fontMetrics().elidedText(text(), Qt::ElideRight, textRect.width()));
}

void AddDeviceEntry::enterEvent(QEnterEvent* event) {
    QAbstractButton::enterEvent(event);
    update();
}

void AddDeviceEntry::leaveEvent(QEvent* event) {
    QAbstractButton::leaveEvent(event);
    update();
}

AddDevicePopover::AddDevicePopover(QWidget* parent)
    : QWidget(parent, Qt::Popup)
    , m_layout(new QVBoxLayout(this))
    , m_emptyText(
          new SecondaryLabel(QCoreApplication::translate("AddDevicePopover", "No devices available"), this)) {
    setObjectName(QStringLiteral("addDevicePopover"));
    // A window of its own, yet in the settings window's palette.
    setAttribute(Qt::WA_WindowPropagation);
    setMinimumWidth(minimumWidth);
    m_layout->setContentsMargins(0, 8, 0, 8);
    m_layout->setSpacing(4);
    // The toolkit's own padding around the text.
    const int padding = style()->pixelMetric(QStyle::PM_LayoutLeftMargin, nullptr, this);
    m_emptyText->setContentsMargins(padding, padding / 2, padding, padding / 2);
    m_layout->addWidget(m_emptyText);
}

void AddDevicePopover::setDevices(const QList<MonitoredDevice>& addable) {
    for (QAbstractButton* entry : std::as_const(m_entries)) {
        // Later: this may run while one of them is delivering its click.
        entry->hide();
        m_layout->removeWidget(entry);
        entry->deleteLater();
    }
    m_entries.clear();
    for (const MonitoredDevice& device : addable) {
        auto* entry = new AddDeviceEntry(device, this);
        connect(entry, &QAbstractButton::clicked, this, [this, entry] {
            const MonitoredDevice device = entry->device();
            hide();
            Q_EMIT chosen(device);
        });
        m_layout->addWidget(entry);
        m_entries.append(entry);
    }
    m_emptyText->setVisible(addable.isEmpty());
    adjustSize();
}

void AddDevicePopover::popup(QWidget* anchor) {
    adjustSize();
    QPoint position = anchor->mapToGlobal(QPoint(0, anchor->height() + 2));
    if (const QScreen* screen = anchor->screen()) {
        const QRect available = screen->availableGeometry();
        position.setX(
            qBound(available.left(), position.x(), qMax(available.left(), available.right() - width())));
        // No room below: open above the button instead.
        if (position.y() + height() > available.bottom())
            position.setY(anchor->mapToGlobal(QPoint(0, 0)).y() - height() - 2);
    }
    move(position);
    show();
}

void AddDevicePopover::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    Q_EMIT closed();
}

void AddDevicePopover::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), FormSection::groupFill(palette()));
    painter.setPen(FormSection::separatorColor(palette()));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}
