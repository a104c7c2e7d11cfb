#include "SettingsWindowController.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QThread>

SettingsWindowController& SettingsWindowController::shared() {
    Q_ASSERT(QCoreApplication::instance() &&
             QThread::currentThread() == QCoreApplication::instance()->thread());
    // Never deleted: the window must not outlive the application object in
    // a static destructor.
    static SettingsWindowController* const controller =
        new SettingsWindowController(SettingsView::Services::system());
    return *controller;
}

SettingsWindowController::SettingsWindowController(SettingsView::Services services)
    : m_services(services) {}

SettingsWindowController::~SettingsWindowController() {
    delete m_window.data();
}

void SettingsWindowController::show(AppState& state) {
    if (!m_window) {
        m_window = new SettingsView(state, m_services);
        m_window->setWindowTitle(QString::fromUtf8(windowTitle));
        // Titled, closable and minimisable; resizable only where the screen is too short.
        m_window->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                                 Qt::WindowCloseButtonHint);
        // A tray program has no main window: closing this one must not quit it.
        m_window->setAttribute(Qt::WA_QuitOnClose, false);
    }
    const QScreen* screen = m_window->screen() ? m_window->screen() : QGuiApplication::primaryScreen();
    if (screen)
        m_window->fitTo(*screen);
    if (m_window->isMinimized())
        m_window->setWindowState(m_window->windowState() & ~Qt::WindowMinimized);
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}
