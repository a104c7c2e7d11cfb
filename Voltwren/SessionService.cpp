#include "SessionService.h"

#include "AppState.h"
#include "DeviceStatus.h"
#include "app/Console.h"
#include "app/WhenAnswered.h"
#include "voltwren_adaptor.h"

#include <QDBusConnectionInterface>
#include <QDBusMetaType>
#include <QDBusPendingReply>

namespace {

// org.freedesktop.DBus.RequestName flags and replies.
constexpr uint doNotQueue = 4;
constexpr uint primaryOwner = 1;
constexpr uint alreadyOwner = 4;

} // namespace

void SessionService::claimName(const QDBusConnection& connection, QObject* context,
                               std::function<void(Claim)> done) {
    if (!connection.isConnected()) {
        QMetaObject::invokeMethod(
            context, [done] { done(Claim::unavailable); }, Qt::QueuedConnection);
        return;
    }
    QDBusMessage request = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("RequestName"));
    request << QString::fromLatin1(serviceName) << doNotQueue;
    whenAnswered(connection.asyncCall(request, callTimeout), context, [done](const QDBusMessage& reply) {
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
            Console::printLine(QStringLiteral("Voltwren: could not claim the session bus name (") +
                               reply.errorMessage() + QStringLiteral("); running alone"));
            done(Claim::unavailable);
            return;
        }
        const uint answer = reply.arguments().constFirst().toUInt();
        done(answer == primaryOwner || answer == alreadyOwner ? Claim::owned : Claim::alreadyRunning);
    });
}

void SessionService::askToShowPanel(const QDBusConnection& connection, QObject* context,
                                    std::function<void(bool answered)> done) {
    const QDBusMessage call =
        QDBusMessage::createMethodCall(QString::fromLatin1(serviceName), QString::fromLatin1(objectPath),
                                       QString::fromLatin1(interfaceName), QStringLiteral("ShowPanel"));
    whenAnswered(connection.asyncCall(call, callTimeout), context,
                 [done](const QDBusMessage& reply) { done(reply.type() == QDBusMessage::ReplyMessage); });
}

SessionService::SessionService(const QDBusConnection& connection, QObject* parent)
    : QObject(parent)
    , m_connection(connection) {
    qDBusRegisterMetaType<QList<QVariantMap>>();
    new VoltwrenAdaptor(this);
}

SessionService::~SessionService() {
    if (m_exported)
        m_connection.unregisterObject(QString::fromLatin1(objectPath));
}

bool SessionService::exportState(AppState& state) {
    m_state = &state;
    connect(&state, &AppState::devicesChanged, this, [this] { announce({QStringLiteral("Devices")}); });
    // Thresholds change what "low" and "threshold" say.
    connect(&state, &AppState::thresholdChanged, this, [this] { announce({QStringLiteral("Devices")}); });
    connect(&state, &AppState::deviceThresholdOverridesChanged, this,
            [this] { announce({QStringLiteral("Devices")}); });
    connect(&state, &AppState::timeLeftChanged, this, [this] { announce({QStringLiteral("Devices")}); });
    connect(&state, &AppState::lastPolledChanged, this, [this] { announce({QStringLiteral("LastPolled")}); });
    m_exported = m_connection.registerObject(QString::fromLatin1(objectPath), this);
    if (!m_exported)
        Console::printLine(QStringLiteral("Voltwren: could not export the session bus object: ") +
                           m_connection.lastError().message());
    return m_exported;
}

QList<QVariantMap> SessionService::devices() const {
    return m_state ? DeviceStatus::deviceMaps(*m_state) : QList<QVariantMap>();
}

QString SessionService::lastPolled() const {
    if (!m_state || !m_state->lastPolled())
        return {};
    return m_state->lastPolled()->toUTC().toString(Qt::ISODateWithMs);
}

void SessionService::ShowPanel() {
    if (onShowPanel)
        onShowPanel();
}

void SessionService::ShowSettings() {
    if (onShowSettings)
        onShowSettings();
}

void SessionService::ShowHistory() {
    if (onShowHistory)
        onShowHistory();
}

void SessionService::Refresh() {
    // Joins the announced refreshes, so a flood of calls costs a poll or two.
    if (m_state)
        m_state->requestRefresh(QStringLiteral("a Refresh() call"), true);
}

void SessionService::announce(const QStringList& properties) {
    if (!m_exported)
        return;
    // One refresh publishes several times in a row; clients hear of it once.
    const bool scheduled = !m_pendingAnnouncement.isEmpty();
    for (const QString& name : properties) {
        if (!m_pendingAnnouncement.contains(name))
            m_pendingAnnouncement.append(name);
    }
    if (scheduled)
        return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            QVariantMap changed;
            for (const QString& name : std::exchange(m_pendingAnnouncement, {}))
                changed.insert(name, property(name.toLatin1().constData()));
            QDBusMessage signal = QDBusMessage::createSignal(
                QString::fromLatin1(objectPath), QStringLiteral("org.freedesktop.DBus.Properties"),
                QStringLiteral("PropertiesChanged"));
            signal << QString::fromLatin1(interfaceName) << changed << QStringList();
            m_connection.send(signal);
        },
        Qt::QueuedConnection);
}
