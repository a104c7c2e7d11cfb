#include "DeviceRow.h"

#include "ChevronIndicator.h"
#include "ComponentBlock.h"
#include "KindIcons.h"
#include "Style.h"
#include "model/DeviceName.h"

#include <QCoreApplication>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>

namespace {

constexpr int iconSide = 16;
// Icon column plus this gap is the component rows' indent, so their labels
// line up with the names.
constexpr int iconGap = ComponentBlock::indent - DeviceRow::iconColumnWidth;

} // namespace

DeviceRow::DeviceRow(QWidget* parent)
    : QWidget(parent)
    , m_name(new QLabel(this))
    , m_status(new QLabel(this))
    , m_chevron(new ChevronIndicator(this)) {
    setObjectName(QStringLiteral("deviceRow"));
    setFocusPolicy(Qt::StrongFocus);
    m_name->setObjectName(QStringLiteral("deviceName"));
    m_status->setObjectName(QStringLiteral("deviceStatus"));
    m_chevron->setObjectName(QStringLiteral("deviceChevron"));
    // Names are shown as they are, never as markup.
    m_name->setTextFormat(Qt::PlainText);
    m_status->setTextFormat(Qt::PlainText);
    m_chevron->hide();

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(iconGap);
    // The icon is painted into the column's first iconColumnWidth pixels (see
    // paintEvent); the gap is part of the spacer, which a layout never spaces.
    layout->addSpacerItem(
        new QSpacerItem(iconColumnWidth + iconGap, iconSide, QSizePolicy::Fixed, QSizePolicy::Minimum));
    layout->addWidget(m_name);
    layout->addStretch(1);
    layout->addWidget(m_status);
    layout->addWidget(m_chevron);
}

QString DeviceRow::percentText(qint64 percent) {
    return QCoreApplication::translate("DeviceRow", "%1%").arg(QLocale().toString(percent));
}

QString DeviceRow::spokenCharge(std::optional<qint64> percent) {
    return percent ? QCoreApplication::translate("DeviceRow", "%1 percent").arg(*percent)
                   : QCoreApplication::translate("DeviceRow", "charge unknown");
}

QString DeviceRow::statusText(const MonitoredDevice& device) {
    if (!device.isConnected)
        return QCoreApplication::translate("DeviceRow", "Not connected");
    // A bolt after the charge: it is on its charger.
    const QString charging = device.isCharging.value_or(false) ? QStringLiteral(" \u26A1") : QString();
    if (device.batteryPercent)
        return percentText(*device.batteryPercent) + charging;
    return QStringLiteral("\u2014") + charging;
}

void DeviceRow::setDevice(const MonitoredDevice& device, double threshold) {
    const bool iconChanged = device.kind != m_device.kind;
    m_device = device;
    m_threshold = threshold;
    const QString name = DeviceName::forDisplay(device.name);
    m_name->setText(name);
    m_status->setText(statusText(device));
    m_chevron->setVisible(device.subReadings.has_value());
    setAccessibleName(name + QStringLiteral(", ") +
                      (device.isConnected ? spokenCharge(device.batteryPercent) +
                                                (device.isCharging.value_or(false)
                                                     ? QCoreApplication::translate("DeviceRow", ", charging")
                                                     : QString())
                                          : QCoreApplication::translate("DeviceRow", "not connected")));
    restyle();
    if (iconChanged)
        update();
}

void DeviceRow::setExpanded(bool expanded, bool animated) {
    m_chevron->pointDown(expanded, animated);
}

void DeviceRow::restyle() {
    const QPalette& palette = this->palette();
    Style::setTextColor(m_name, palette.color(QPalette::WindowText));

    QFont statusFont = font();
    QColor statusColor = Style::secondaryText(palette);
    if (!m_device.isConnected) {
        statusFont = Style::captionFont(font());
    } else if (m_device.batteryPercent) {
        const bool low = !m_device.isCharging.value_or(false) &&
                         m_threshold > static_cast<double>(*m_device.batteryPercent);
        statusFont.setWeight(low ? QFont::DemiBold : QFont::Normal);
        statusColor = low ? Style::alertRed(palette) : palette.color(QPalette::WindowText);
    }
    m_status->setFont(statusFont);
    Style::setTextColor(m_status, statusColor);
}

void DeviceRow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::FontChange)
        restyle();
    QWidget::changeEvent(event);
}

void DeviceRow::focusInEvent(QFocusEvent* event) {
    // A ring only where the keyboard put the focus; a click or the panel
    // opening shows none.
    m_showFocus = event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason ||
                  event->reason() == Qt::OtherFocusReason;
    update();
    QWidget::focusInEvent(event);
}

void DeviceRow::focusOutEvent(QFocusEvent* event) {
    m_showFocus = false;
    update();
    QWidget::focusOutEvent(event);
}

void DeviceRow::keyPressEvent(QKeyEvent* event) {
    // The keyboard is in use: let the focus show.
    if (!m_showFocus) {
        m_showFocus = true;
        update();
    }
    switch (event->key()) {
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (event->modifiers() & ~Qt::KeypadModifier)
            break;
        Q_EMIT activated();
        return;
    default:
        break;
    }
    // Arrows and Escape are the panel's.
    QWidget::keyPressEvent(event);
}

void DeviceRow::mousePressEvent(QMouseEvent* event) {
    m_pressed = event->button() == Qt::LeftButton;
    event->accept();
}

void DeviceRow::mouseReleaseEvent(QMouseEvent* event) {
    const bool click =
        m_pressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    m_pressed = false;
    event->accept();
    if (click)
        Q_EMIT activated();
}

void DeviceRow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (m_showFocus && hasFocus()) {
        QColor fill = palette().color(QPalette::Highlight);
        // A tint rather than an outline: the row has no margin for a ring to sit in.
        fill.setAlphaF(Style::isDark(palette()) ? 0.45 : 0.28);
        QPainterPath path;
        path.addRoundedRect(QRectF(rect()), 4, 4);
        painter.fillPath(path, fill);
    }
    // The layout puts the spacer for the icon on the right, right to left.
    const QRect column =
        QStyle::visualRect(layoutDirection(), rect(), QRect(0, 0, iconColumnWidth, height()));
    QRect glyph(0, 0, iconSide, iconSide);
    glyph.moveCenter(column.center());
    KindIcons::icon(m_device.kind, palette().color(QPalette::WindowText)).paint(&painter, glyph);
}
