#include "TrayHostWatcher.h"

#include "app/WhenAnswered.h"

#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

namespace {

const QString watcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString watcherPath = QStringLiteral("/StatusNotifierWatcher");
const QString watcherInterface = QStringLiteral("org.kde.StatusNotifierWatcher");

// Whether the X server's default screen has a tray manager (the owner of
// the _NET_SYSTEM_TRAY_S<n> selection). One round trip to a local server.
bool hasXembedTray() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return false;
    const QByteArray name = "_NET_SYSTEM_TRAY_S0";
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 1, static_cast<uint16_t>(name.size()), name.constData()),
        nullptr);
    if (!atom)
        return false;
    const xcb_atom_t selection = atom->atom;
    free(atom);
    if (selection == XCB_ATOM_NONE)
        return false; // never interned: nobody ever managed a tray here
    xcb_get_selection_owner_reply_t* owner =
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, selection), nullptr);
    const bool owned = owner && owner->owner != XCB_NONE;
    free(owner);
    return owned;
}

} // namespace

TrayHostWatcher::TrayHostWatcher(const QDBusConnection& session, QObject* parent)
    : QObject(parent)
    , m_session(session) {
    m_xembedPoll.setInterval(xembedPollInterval);
    connect(&m_xembedPoll, &QTimer::timeout, this, &TrayHostWatcher::pollXembed);
}

void TrayHostWatcher::start() {
    if (m_session.isConnected()) {
        m_serviceWatcher = new QDBusServiceWatcher(watcherService, m_session,
                                                   QDBusServiceWatcher::WatchForRegistration, this);
        connect(m_serviceWatcher, &QDBusServiceWatcher::serviceRegistered, this,
                &TrayHostWatcher::askWatcher);
        m_session.connect(watcherService, watcherPath, watcherInterface,
                          QStringLiteral("StatusNotifierHostRegistered"), this,
                          SLOT(onHostRegistered(QDBusMessage)));
        askWatcher();
    }
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        pollXembed();
        if (!m_found)
            m_xembedPoll.start();
    }
}

void TrayHostWatcher::askWatcher() {
    if (m_found)
        return;
    QDBusMessage get = QDBusMessage::createMethodCall(watcherService, watcherPath,
                                                      QStringLiteral("org.freedesktop.DBus.Properties"),
                                                      QStringLiteral("Get"));
    get << watcherInterface << QStringLiteral("IsStatusNotifierHostRegistered");
    whenAnswered(m_session.asyncCall(get, callTimeout), this, [this](const QDBusMessage& reply) {
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
            reply.arguments().constFirst().value<QDBusVariant>().variant().toBool())
            found();
    });
}

void TrayHostWatcher::onHostRegistered(const QDBusMessage&) {
    found();
}

void TrayHostWatcher::pollXembed() {
    if (!m_found && hasXembedTray())
        found();
}

void TrayHostWatcher::found() {
    if (m_found)
        return;
    m_found = true;
    m_xembedPoll.stop();
    if (m_serviceWatcher)
        m_serviceWatcher->deleteLater();
    m_serviceWatcher = nullptr;
    m_session.disconnect(watcherService, watcherPath, watcherInterface,
                         QStringLiteral("StatusNotifierHostRegistered"), this,
                         SLOT(onHostRegistered(QDBusMessage)));
    Q_EMIT hostAppeared();
}
