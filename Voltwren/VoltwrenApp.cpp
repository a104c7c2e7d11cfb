#include "VoltwrenApp.h"

#include "AppState.h"
#include "SessionService.h"
#include "app/Console.h"
#include "app/DiagnosticLog.h"
#include "app/LaunchLocationChecker.h"
#include "app/Updater.h"
#include "history/ChargeHistory.h"
#include "platform/Appearance.h"
#include "platform/NotificationCenter.h"
#include "ui/ColorSchemeFollower.h"
#include "ui/FirstStartNotice.h"
#include "ui/MenuBarExtra.h"
#include "ui/TrayHostWatcher.h"
#include "ui/UpdateAlerts.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QGuiApplication>

#include <malloc.h>

namespace {

bool hasTrayPlatform() {
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

} // namespace

VoltwrenApp::VoltwrenApp(QObject* parent)
    : QObject(parent) {}

VoltwrenApp::~VoltwrenApp() {
    if (m_menuBarExtra)
        notificationCenter().onActivated = nullptr;
    if (m_updateAlerts)
        updaterController().setUserDriver(nullptr);
}

AppState& VoltwrenApp::appState() {
    if (!m_appState) {
        AppState::Services services = AppState::Services::system();
        m_history = std::make_unique<ChargeHistory>([path = ChargeHistory::databasePath()] {
            return makeChargeStore(path, ChargeStore::Access::readWrite);
        });
        // Reading the record back at start allocates on its thread and frees it all again.
        connect(m_history.get(), &ChargeHistory::loaded, this, [] { malloc_trim(0); });
        m_history->open();
        services.history = m_history.get();
        m_appState = std::make_unique<AppState>(services);
    }
    return *m_appState;
}

void VoltwrenApp::start() {
    const QDBusConnection session = QDBusConnection::sessionBus();
    // The object before the name: a client that sees the name must not
    // find nothing behind it.
    m_service = std::make_unique<SessionService>(session);
    m_service->exportObject();
    SessionService::claimName(session, this, [this, session](SessionService::Claim claim) {
        if (claim != SessionService::Claim::owned)
            m_service.reset();
        if (claim != SessionService::Claim::alreadyRunning) {
            launch(claim == SessionService::Claim::owned);
            return;
        }
        SessionService::checkOwner(
            session, this, [this, session](SessionService::Owner owner, const QString& why) {
                if (owner == SessionService::Owner::other) {
                    runBesideNameHolder(why);
                    return;
                }
                // One that hangs is most likely a Voltwren too: a second one
                // would notify twice once it comes back.
                if (owner == SessionService::Owner::silent) {
                    Console::printLine(QStringLiteral("Voltwren is already running but did not answer"));
                    QCoreApplication::exit(0);
                    return;
                }
                SessionService::askToShowPanel(session, this, [](bool answered) {
                    Console::printLine(
                        answered ? QStringLiteral("Voltwren is already running; opened its panel")
                                 : QStringLiteral("Voltwren is already running but did not answer"));
                    QCoreApplication::exit(0);
                });
            });
    });
}

void VoltwrenApp::runBesideNameHolder(const QString& why) {
    diagnosticLog(QStringLiteral("Another program holds ") + QLatin1String(SessionService::serviceName) +
                  QStringLiteral(" on the session bus and does not answer as Voltwren (") + why +
                  QStringLiteral("); running without the name"));
    launch(false);
    notificationCenter().post(
        Notification{
            tr("Voltwren cannot be reached by other programs"),
            tr("Another program holds Voltwren's name on the session bus, so \u201Cvoltwren status\u201D, "
               "status bars and a second launch cannot reach it. Voltwren goes on watching your "
               "batteries."),
            QStringLiteral("session-name-taken"), false},
        [](const std::optional<NotificationError>&) {});
    // The name is ours as soon as the other program lets it go.
    m_nameWatcher = std::make_unique<QDBusServiceWatcher>(QLatin1String(SessionService::serviceName),
                                                          QDBusConnection::sessionBus(),
                                                          QDBusServiceWatcher::WatchForUnregistration);
    connect(m_nameWatcher.get(), &QDBusServiceWatcher::serviceUnregistered, this, [this] {
        if (m_service)
            return; // already asking
        m_service = std::make_unique<SessionService>(QDBusConnection::sessionBus());
        m_service->exportObject();
        followState();
        SessionService::claimName(QDBusConnection::sessionBus(), this, [this](SessionService::Claim claim) {
            if (claim != SessionService::Claim::owned) {
                m_service.reset(); // someone else was quicker; wait for the next chance
                return;
            }
            diagnosticLog(QStringLiteral("Took the session bus name after the program that held it left"));
            m_nameWatcher.reset();
        });
    });
}

void VoltwrenApp::launch(bool ownsSessionName) {
    // Returns only when the program may run from where it is.
    LaunchLocationChecker::checkLocationAtLaunch();

    // The updater exists (and runs) before any state does.
    m_updateAlerts = std::make_unique<UpdateAlerts>();
    updaterController().setUserDriver(m_updateAlerts.get());

    AppState& state = appState();
    // A poll allocates on the thread pool and frees it all again; handing the
    // pages back keeps a program that runs all day as small as it started.
    connect(&state, &AppState::refreshCompleted, this, [] { malloc_trim(0); });

    // Before any window or tray glyph is drawn.
    m_colorScheme = std::make_unique<ColorSchemeFollower>(appearance());

    if (hasTrayPlatform()) {
        m_trayWatcher = std::make_unique<TrayHostWatcher>(QDBusConnection::sessionBus());
        m_trayWatcher->start();
        m_firstStartNotice = std::make_unique<FirstStartNotice>(*m_trayWatcher, notificationCenter(),
                                                                FirstStartNotice::defaultMarkerPath());
        m_firstStartNotice->start();
    } else {
        Console::printLine(QStringLiteral("Voltwren: no display; running without a tray icon"));
    }
    m_menuBarExtra = std::make_unique<MenuBarExtra>(state, m_trayWatcher.get());
    // A click on one of our notifications opens the panel, as the tray icon does.
    notificationCenter().onActivated = [this](const QString&) { m_menuBarExtra->showPanel(); };

    if (ownsSessionName)
        followState();
}

void VoltwrenApp::followState() {
    m_service->onShowPanel = [this] { m_menuBarExtra->showPanel(); };
    m_service->onShowSettings = [this] { m_menuBarExtra->showSettings(); };
    m_service->onShowHistory = [this] { m_menuBarExtra->showHistory(); };
    m_service->follow(appState());
}
