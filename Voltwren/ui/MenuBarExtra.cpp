#include "MenuBarExtra.h"

#include "AppState.h"
#include "HistoryWindowController.h"
#include "MenuBarContentView.h"
#include "MenuBarLabel.h"
#include "SettingsWindowController.h"
#include "TrayHostWatcher.h"
#include "TrayRegistrationCheck.h"
#include "app/Console.h"
#include "app/DiagnosticLog.h"

#include <QCoreApplication>
#include <QCursor>
#include <QDBusConnection>
#include <QEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QPixmapCache>
#include <QSystemTrayIcon>

#include <algorithm>

#include <malloc.h>

MenuBarExtra::MenuBarExtra(AppState& state, TrayHostWatcher* watcher, QObject* parent)
    : QObject(parent)
    , m_state(state) {

    // Some panels only ever show an item's menu, never its activation.
    m_menu = std::make_unique<QMenu>();
    m_menu->addAction(QCoreApplication::translate("MenuBarExtra", "Show Devices"), this,
                      &MenuBarExtra::showPanel);
    m_menu->addAction(QCoreApplication::translate("MenuBarExtra", "History…"), this,
                      &MenuBarExtra::showHistory);
    m_menu->addAction(QCoreApplication::translate("MenuBarExtra", "Settings…"), this,
                      &MenuBarExtra::showSettings);
    m_menu->addSeparator();
    m_menu->addAction(QCoreApplication::translate("MenuBarExtra", "Quit"), qApp, &QCoreApplication::quit,
                      Qt::QueuedConnection);
    // The menu opens from a click on the icon: where the pointer is now is
    // where "Show Devices" should open the panel, not where it is then.
    connect(m_menu.get(), &QMenu::aboutToShow, this, &MenuBarExtra::noteIconPosition);

    // Its rows, icons and fonts' caches, and the icons' rendered pixmaps,
    // are not needed by a program that sits in the tray until the next click.
    m_panelRelease.setSingleShot(true);
    m_panelRelease.setInterval(panelReleaseMilliseconds);
    connect(&m_panelRelease, &QTimer::timeout, this, [this] {
        if (!m_panel || m_panel->isVisible())
            return;
        m_panel.reset();
        QPixmapCache::clear();
        malloc_trim(0);
    });

    if (!watcher)
        return;
    if (watcher->hasHost()) {
        createTrayIcon();
        return;
    }
    Console::printLine(QStringLiteral("Voltwren: waiting for a system tray to show the icon; monitoring and "
                                      "notifications go on meanwhile"));
    connect(watcher, &TrayHostWatcher::hostAppeared, this, &MenuBarExtra::createTrayIcon);
}

MenuBarExtra::~MenuBarExtra() = default;

void MenuBarExtra::createTrayIcon() {
    if (m_trayIcon)
        return;
    m_trayIcon = std::make_unique<QSystemTrayIcon>();
    m_label = new MenuBarLabel(m_state, *m_trayIcon, this);
    m_trayIcon->setContextMenu(m_menu.get());
    connect(m_trayIcon.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                noteIconPosition();
                if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
                    togglePanel();
            });
    m_trayIcon->show();

    auto* check =
        new TrayRegistrationCheck(QDBusConnection::sessionBus(), TrayRegistrationCheck::defaultDelay, this);
    connect(check, &TrayRegistrationCheck::missing, this, [this, check] {
        check->deleteLater();
        Console::printLine(
            QStringLiteral("Voltwren: the tray's watcher does not list the icon; registering it again"));
        diagnosticLog(
            QStringLiteral("MenuBarExtra: the tray's watcher did not list the icon; registered it again"));
        // Taking the icon down and up again is Qt's one way to register anew.
        m_trayIcon->hide();
        m_trayIcon->show();
    });
    check->start();
}

std::optional<QPoint> MenuBarExtra::iconPosition() const {
    if (m_trayIcon) {
        const QRect geometry = m_trayIcon->geometry();
        if (geometry.isValid() && !geometry.isEmpty())
            return geometry.center();
    }
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        return std::nullopt;
    return QCursor::pos();
}

void MenuBarExtra::noteIconPosition() {
    if (const std::optional<QPoint> position = iconPosition())
        m_iconPosition = position;
}

std::optional<QPoint> MenuBarExtra::anchor() const {
    return m_iconPosition ? m_iconPosition : iconPosition();
}

int MenuBarExtra::clearance() const {
    const int icon = m_trayIcon ? m_trayIcon->geometry().height() : 0;
    return std::max(minimumTrayThickness, icon);
}

MenuBarContentView& MenuBarExtra::panel() {
    // Made when first opened: a program left running all day may never show it.
    if (!m_panel) {
        m_panel = std::make_unique<MenuBarContentView>(m_state);
        connect(m_panel.get(), &MenuBarContentView::settingsRequested, this, &MenuBarExtra::showSettings);
        connect(m_panel.get(), &MenuBarContentView::quitRequested, qApp, &QCoreApplication::quit,
                Qt::QueuedConnection);
        m_panel->installEventFilter(this);
    }
    return *m_panel;
}

bool MenuBarExtra::eventFilter(QObject* watched, QEvent* event) {
    if (m_panel && watched == m_panel.get()) {
        if (event->type() == QEvent::Hide)
            m_panelRelease.start();
        else if (event->type() == QEvent::Show)
            m_panelRelease.stop();
    }
    return QObject::eventFilter(watched, event);
}

void MenuBarExtra::showPanel() {
    panel().popup(anchor(), clearance());
}

void MenuBarExtra::togglePanel() {
    panel().toggle(anchor(), clearance());
}

void MenuBarExtra::showHistory() {
    HistoryWindowController::shared().show(m_state);
}

void MenuBarExtra::showSettings() {
    SettingsWindowController::shared().show(m_state);
}
