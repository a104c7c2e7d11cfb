#include "MenuBarContentView.h"

#include "AppState.h"
#include "ComponentBlock.h"
#include "DeviceRow.h"
#include "Style.h"
#include "app/Console.h"
#include "history/TimeLeftEstimate.h"
#include "model/DeviceName.h"

#include <QCoreApplication>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHash>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <QtGui/qguiapplication_platform.h>

#include <algorithm>

#include <xcb/xcb.h>

namespace {

QString emptyListText() {
    return QCoreApplication::translate("MenuBarContentView", "No battery-powered devices found");
}

bool onWayland() {
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

// On X11 a popup: placed by us, closed by a click anywhere else. A Wayland
// popup needs a parent window, which a tray has not, and a parentless one
// becomes a tiled window; a fixed-size dialog is floated instead.
Qt::WindowFlags panelFlags() {
    return (onWayland() ? Qt::Dialog : Qt::Popup) | Qt::FramelessWindowHint;
}

// Whether a mouse button is held down now, as the X server says; false
// elsewhere, where a popup's outside press is not followed further.
bool anyPointerButtonDown() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return false;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    xcb_query_pointer_reply_t* pointer =
        xcb_query_pointer_reply(connection, xcb_query_pointer(connection, root), nullptr);
    const uint16_t buttons = XCB_BUTTON_MASK_1 | XCB_BUTTON_MASK_2 | XCB_BUTTON_MASK_3;
    const bool down = pointer && (pointer->mask & buttons);
    free(pointer);
    return down;
}

} // namespace

MenuBarContentView::MenuBarContentView(AppState& state, QWidget* parent)
    : QWidget(parent, panelFlags())
    , m_state(state)
    , m_list(new QVBoxLayout)
    , m_emptyText(new QLabel(emptyListText(), this))
    , m_divider(new QFrame(this))
    , m_settingsButton(new QPushButton(QCoreApplication::translate("MenuBarContentView", "Settings…"), this))
    , m_quitButton(new QPushButton(QCoreApplication::translate("MenuBarContentView", "Quit"), this)) {
    setObjectName(QStringLiteral("menuBarContentView"));
    // What a window rule of a tiling compositor can match.
    setWindowTitle(QString::fromUtf8(windowTitle));

    m_releasePoll.setInterval(20);
    connect(&m_releasePoll, &QTimer::timeout, this, &MenuBarContentView::watchRelease);

    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(12, 12, 12, 12);
    stack->setSpacing(8);
    // Sized by fitToContent() so it follows the list.
    stack->setSizeConstraint(QLayout::SetNoConstraint);

    m_list->setContentsMargins(0, 0, 0, 0);
    m_list->setSpacing(8);
    stack->addLayout(m_list);

    m_emptyText->setObjectName(QStringLiteral("emptyText"));
    m_divider->setObjectName(QStringLiteral("divider"));
    m_divider->setFrameShape(QFrame::HLine);
    m_divider->setFrameShadow(QFrame::Plain);
    m_divider->setFixedHeight(1);
    stack->addWidget(m_divider);

    auto* footer = new QHBoxLayout;
    m_settingsButton->setObjectName(QStringLiteral("settingsButton"));
    m_quitButton->setObjectName(QStringLiteral("quitButton"));
    m_settingsButton->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    m_quitButton->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    footer->addWidget(m_settingsButton);
    footer->addStretch(1);
    footer->addWidget(m_quitButton);
    stack->addLayout(footer);

    connect(m_settingsButton, &QPushButton::clicked, this, [this] {
        closeDeliberately();
        Q_EMIT settingsRequested();
    });
    connect(m_quitButton, &QPushButton::clicked, this, &MenuBarContentView::quitRequested);
    connect(&m_state, &AppState::changed, this, &MenuBarContentView::rebuild);

    restyle();
    rebuild();
}

void MenuBarContentView::popup(std::optional<QPoint> anchor, int clearance) {
    m_anchor = anchor;
    m_clearance = clearance;
    fitToContent();
    if (anchor)
        move(placement(*anchor, size()));
    if (isVisible()) {
        raise();
        activateWindow();
        return;
    }
    show(); // showEvent refreshes
}

void MenuBarContentView::toggle(std::optional<QPoint> anchor, int clearance) {
    if (isVisible()) {
        closeDeliberately();
        return;
    }
    if (m_sinceOutsideClose.isValid()) {
        const qint64 since = m_sinceOutsideClose.elapsed();
        const bool stillTheClosingClick =
            since < reopenGuardMilliseconds ||
            (m_sinceRelease.isValid() ? m_sinceRelease.elapsed() < reopenGuardMilliseconds
                                      : m_releasePoll.isActive());
        m_sinceOutsideClose.invalidate();
        m_sinceRelease.invalidate();
        m_releasePoll.stop();
        if (stillTheClosingClick)
            return;
    }
    popup(anchor, clearance);
}

void MenuBarContentView::watchRelease() {
    if (!anyPointerButtonDown()) {
        m_releasePoll.stop();
        m_sinceRelease.start();
    } else if (m_sinceOutsideClose.elapsed() > maximumClickMilliseconds) {
        m_releasePoll.stop();
    }
}

void MenuBarContentView::rebuild() {
    const QList<MonitoredDevice>& devices = m_state.devices();
    // Rows are kept by device id, so focus and a turning chevron survive a refresh.
    QHash<QString, Entry> previous;
    for (const Entry& entry : std::as_const(m_entries))
        previous.insert(entry.row->deviceID(), entry);

    QList<Entry> entries;
    entries.reserve(devices.size());
    for (const MonitoredDevice& device : devices) {
        Entry entry = previous.take(device.id);
        if (!entry.row) {
            entry.row = new DeviceRow(this);
            const QString id = device.id;
            connect(entry.row, &DeviceRow::activated, this, [this, id] { toggleDevice(id); });
        }
        const double threshold = m_state.effectiveThreshold(device.id);
        entry.row->setDevice(device, threshold);
        const std::optional<TimeLeft> left = m_state.timeLeft(device);
        entry.row->setToolTip(left ? TimeLeftEstimate::sentence(*left) : QString());
        entry.row->setAccessibleDescription(entry.row->toolTip());
        if (device.subReadings) {
            if (!entry.block)
                entry.block = new ComponentBlock(this);
            entry.block->setReadings(*device.subReadings, threshold);
        }
        entries.append(entry);
    }
    // Only ever reached from the state's signal, never from a row's own handler.
    for (const Entry& gone : std::as_const(previous)) {
        delete gone.row;
        delete gone.block;
    }

    while (QLayoutItem* item = m_list->takeAt(0))
        delete item;
    m_list->addWidget(m_emptyText);
    m_emptyText->setVisible(entries.isEmpty());
    QWidget* previousStop = nullptr;
    for (const Entry& entry : std::as_const(entries)) {
        m_list->addWidget(entry.row);
        if (entry.block)
            m_list->addWidget(entry.block);
        if (previousStop)
            setTabOrder(previousStop, entry.row);
        previousStop = entry.row;
    }
    if (previousStop)
        setTabOrder(previousStop, m_settingsButton);
    setTabOrder(m_settingsButton, m_quitButton);

    m_entries = entries;
    updateExpansion(isVisible());
}

void MenuBarContentView::restyle() {
    Style::setTextColor(m_emptyText, Style::secondaryText(palette()));
    Style::setTextColor(
        m_divider, Style::mix(palette().color(QPalette::Window), palette().color(QPalette::WindowText), 0.2));
}

void MenuBarContentView::updateExpansion(bool animated) {
    for (const Entry& entry : std::as_const(m_entries)) {
        // A device that lost its components since it was unfolded shows none.
        const bool expanded = m_expandedDeviceID == entry.row->deviceID() && entry.row->device().subReadings;
        entry.row->setExpanded(expanded, animated);
        if (entry.block)
            entry.block->setVisible(expanded);
    }
    fitToContent();
}

void MenuBarContentView::toggleDevice(const QString& id) {
    const QList<MonitoredDevice>& devices = m_state.devices();
    const auto device = std::find_if(devices.cbegin(), devices.cend(),
                                     [&id](const MonitoredDevice& candidate) { return candidate.id == id; });
    if (device == devices.cend() || !device->subReadings)
        return;
    if (m_expandedDeviceID == id)
        m_expandedDeviceID.reset();
    else
        m_expandedDeviceID = id;
    updateExpansion(true);
}

void MenuBarContentView::moveRowFocus(int step) {
    if (m_entries.isEmpty())
        return;
    const auto focused = std::find_if(m_entries.cbegin(), m_entries.cend(),
                                      [this](const Entry& entry) { return entry.row == focusWidget(); });
    const qsizetype last = m_entries.size() - 1;
    qsizetype next = step > 0 ? 0 : last;
    if (focused != m_entries.cend())
        next = std::clamp<qsizetype>((focused - m_entries.cbegin()) + step, 0, last);
    m_entries.at(next).row->setFocus(Qt::TabFocusReason);
}

void MenuBarContentView::fitToContent() {
    QSize size = sizeHint().expandedTo(QSize(minimumWidth, 0));
    if (const QScreen* screen = this->screen())
        size = size.boundedTo(screen->availableGeometry().size());
    // Fixed, so tiling compositors float it; it follows the list by code.
    setFixedSize(size);
    // Lay the rows out now, so what a caller reads next is what is drawn.
    layout()->activate();
    // Grown by a refresh while open: keep it beside the tray icon.
    if (isVisible() && m_anchor)
        move(placement(*m_anchor, size));
}

QPoint MenuBarContentView::placement(QPoint anchor, QSize size) const {
    const QScreen* screen = QGuiApplication::screenAt(anchor);
    if (!screen)
        screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return anchor;
    const QRect area = screen->availableGeometry();
    // With a work area the bar lies outside it and clamping clears it;
    // without one, keep the clearance from the click on the bar.
    const int gap = area == screen->geometry() ? m_clearance : 0;
    const bool above = anchor.y() >= area.top() + area.height() / 2;
    const int x = anchor.x() - size.width() / 2;
    const int y = above ? anchor.y() - gap - size.height() : anchor.y() + gap;
    return {std::clamp(x, area.left(), std::max(area.left(), area.left() + area.width() - size.width())),
            std::clamp(y, area.top(), std::max(area.top(), area.top() + area.height() - size.height()))};
}

void MenuBarContentView::closeDeliberately() {
    m_closingDeliberately = true;
    close();
    m_closingDeliberately = false;
}

QString MenuBarContentView::summary() const {
    const QList<MonitoredDevice>& devices = m_state.devices();
    if (devices.isEmpty())
        return emptyListText();
    QStringList rows;
    rows.reserve(devices.size());
    for (const MonitoredDevice& device : devices)
        rows << DeviceName::forDisplay(device.name) + QLatin1Char(' ') + DeviceRow::statusText(device);
    return rows.join(QStringLiteral(", "));
}

void MenuBarContentView::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange)
        restyle();
    // A dialog has no grab: it closes as a popup would when focus moves away.
    if (event->type() == QEvent::ActivationChange && windowType() != Qt::Popup && isVisible() &&
        !isActiveWindow())
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (isVisible() && !isActiveWindow())
                    close();
            },
            Qt::QueuedConnection);
    if (event->type() == QEvent::FontChange)
        fitToContent();
    QWidget::changeEvent(event);
}

void MenuBarContentView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (m_showing)
        return;
    m_showing = true;
    m_outsidePress = false;
    // Keys go to the panel until an arrow picks a row; a stale focus on a
    // button would let Space press it.
    if (QWidget* focused = focusWidget())
        focused->clearFocus();
    // What the user sees: the list from before this opening's refresh.
    Console::printLine(QStringLiteral("Voltwren [debug]: device panel shown: ") + summary());
    m_state.refresh();
}

void MenuBarContentView::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (event->spontaneous())
        return;
    m_showing = false;
    // Anything but our own close (a click outside, the compositor dismissing
    // the popup) arms the guard against an instant reopen.
    m_sinceRelease.invalidate();
    m_releasePoll.stop();
    if (m_closingDeliberately) {
        m_sinceOutsideClose.invalidate();
        return;
    }
    m_sinceOutsideClose.start();
    // A tray may report the click whose press closed the panel only on its
    // release, however slow the hand: until then, and a moment after, an
    // activation is that click's.
    if (m_outsidePress && anyPointerButtonDown())
        m_releasePoll.start();
}

void MenuBarContentView::mousePressEvent(QMouseEvent* event) {
    // A popup hears of the press outside it that closes it.
    m_outsidePress = !rect().contains(event->position().toPoint());
    QWidget::mousePressEvent(event);
}

void MenuBarContentView::keyPressEvent(QKeyEvent* event) {
    if (event->modifiers() & ~Qt::KeypadModifier) {
        QWidget::keyPressEvent(event);
        return;
    }
    switch (event->key()) {
    case Qt::Key_Escape:
        closeDeliberately();
        return;
    case Qt::Key_Up:
        moveRowFocus(-1);
        return;
    case Qt::Key_Down:
        moveRowFocus(1);
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

void MenuBarContentView::paintEvent(QPaintEvent*) {
    // A hairline edge, so the panel stands apart from a window of the same colour.
    QPainter painter(this);
    painter.setPen(
        Style::mix(palette().color(QPalette::Window), palette().color(QPalette::WindowText), 0.25));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}
