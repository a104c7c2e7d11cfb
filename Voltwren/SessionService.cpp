#include "SessionService.h"

#include "AppState.h"
#include "DeviceStatus.h"
#include "app/Console.h"
#include "app/WhenAnswered.h"
#include "platform/Bundle.h"

#include <QDBusConnectionInterface>
#include <QDBusMetaType>
#include <QDBusPendingReply>
#include <QFile>

namespace {

// org.freedesktop.DBus.RequestName flags and replies.
constexpr uint doNotQueue = 4;
constexpr uint primaryOwner = 1;
constexpr uint alreadyOwner = 4;

const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");

QString version() {
    return mainBundle().infoString(QStringLiteral("CFBundleShortVersionString")).value_or(QString());
}

// The <interface> element of the installed description, read once.
QString interfaceDescription() {
    QFile file(QStringLiteral(":/dbus/app.voltwren.Voltwren1.xml"));
    const QString xml = file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    const qsizetype begin = xml.indexOf(QLatin1String("<interface "));
    const QLatin1String endTag("</interface>");
    const qsizetype end = xml.indexOf(endTag);
    return begin >= 0 && end > begin ? xml.mid(begin, end + endTag.size() - begin) + QLatin1Char('\n')
                                     : QString();
}

QDBusMessage error(const QDBusMessage& call, const char* name, const QString& text) {
    return call.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.") + QLatin1String(name), text);
}

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

void SessionService::checkOwner(const QDBusConnection& connection, QObject* context,
                                std::function<void(Owner, const QString& why)> done) {
    QDBusMessage getAll =
        QDBusMessage::createMethodCall(QString::fromLatin1(serviceName), QString::fromLatin1(objectPath),
                                       propertiesInterface, QStringLiteral("GetAll"));
    getAll << QString::fromLatin1(interfaceName);
    whenAnswered(connection.asyncCall(getAll, ownerCheckTimeout), context, [done](const QDBusMessage& reply) {
        if (reply.type() != QDBusMessage::ReplyMessage) {
            done(SessionNames::isNoAnswer(reply.errorName()) ? Owner::silent : Owner::other,
                 reply.errorMessage());
            return;
        }
        QString why;
        const QVariantMap properties = reply.arguments().isEmpty()
                                           ? QVariantMap()
                                           : qdbus_cast<QVariantMap>(reply.arguments().constFirst());
        done(SessionNames::answersAsVoltwren(properties, &why) ? Owner::voltwren : Owner::other, why);
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
    : QDBusVirtualObject(parent)
    , m_connection(connection) {
    qDBusRegisterMetaType<QList<QVariantMap>>();
}

SessionService::~SessionService() {
    if (m_exported)
        m_connection.unregisterObject(QString::fromLatin1(objectPath));
}

bool SessionService::exportObject() {
    m_exported = m_connection.registerVirtualObject(QString::fromLatin1(objectPath), this,
                                                    QDBusConnection::SingleNode);
    if (!m_exported)
        Console::printLine(QStringLiteral("Voltwren: could not export the session bus object: ") +
                           m_connection.lastError().message());
    return m_exported;
}

void SessionService::follow(AppState& state) {
    m_state = &state;
    connect(&state, &AppState::devicesChanged, this, [this] { announce({QStringLiteral("Devices")}); });
    // Thresholds change what "low" and "threshold" say.
    connect(&state, &AppState::thresholdChanged, this, [this] { announce({QStringLiteral("Devices")}); });
    connect(&state, &AppState::deviceThresholdOverridesChanged, this,
            [this] { announce({QStringLiteral("Devices")}); });
    connect(&state, &AppState::timeLeftChanged, this, [this] { announce({QStringLiteral("Devices")}); });
    connect(&state, &AppState::lastPolledChanged, this, [this] { announce({QStringLiteral("LastPolled")}); });
    announce({QStringLiteral("Devices"), QStringLiteral("LastPolled")});
}

QString SessionService::introspect(const QString& path) const {
    if (path != QLatin1String(objectPath))
        return {};
    static const QString description = interfaceDescription();
    return description;
}

bool SessionService::handleMessage(const QDBusMessage& message, const QDBusConnection& connection) {
    if (message.type() != QDBusMessage::MethodCallMessage)
        return false;
    const QString interface = message.interface();
    if (interface == propertiesInterface) {
        handleProperties(message, connection);
        return true;
    }
    // Introspection and Peer are the library's.
    if (!interface.isEmpty() && interface != QLatin1String(interfaceName))
        return false;
    const QString member = message.member();
    const std::function<void()>* action = member == QLatin1String("ShowPanel")      ? &onShowPanel
                                          : member == QLatin1String("ShowSettings") ? &onShowSettings
                                          : member == QLatin1String("ShowHistory")  ? &onShowHistory
                                                                                    : nullptr;
    if ((!action && member != QLatin1String("Refresh")) || !message.signature().isEmpty()) {
        connection.send(error(message, "UnknownMethod",
                              QStringLiteral("No method %1(%2) in %3")
                                  .arg(member, message.signature(), QLatin1String(interfaceName))));
        return true;
    }
    connection.send(message.createReply());
    if (!action)
        refresh();
    else if (*action)
        (*action)();
    return true;
}

void SessionService::handleProperties(const QDBusMessage& message, const QDBusConnection& connection) {
    const QString member = message.member();
    const QString signature = message.signature();
    const QVariantList arguments = message.arguments();
    const bool wanted = member == QLatin1String("Get")      ? signature == QLatin1String("ss")
                        : member == QLatin1String("GetAll") ? signature == QLatin1String("s")
                        : member == QLatin1String("Set")    ? signature == QLatin1String("ssv")
                                                            : false;
    if (!wanted) {
        connection.send(
            error(message, "UnknownMethod",
                  QStringLiteral("No method %1(%2) in %3").arg(member, signature, propertiesInterface)));
        return;
    }
    // An empty interface name means any; ours is the only one with properties.
    const QString interface = arguments.constFirst().toString();
    const bool ours = interface.isEmpty() || interface == QLatin1String(interfaceName);
    if (member == QLatin1String("GetAll")) {
        if (ours)
            connection.send(message.createReply(QVariant::fromValue(values())));
        else if (interface.startsWith(QLatin1String("org.freedesktop.DBus.")))
            connection.send(message.createReply(QVariant::fromValue(QVariantMap())));
        else
            connection.send(error(message, "UnknownInterface", QStringLiteral("No interface ") + interface));
        return;
    }
    const QString name = arguments.at(1).toString();
    const QVariant found = ours ? value(name) : QVariant();
    if (!found.isValid())
        connection.send(error(message, "UnknownProperty", QStringLiteral("No property ") + name));
    else if (member == QLatin1String("Set"))
        connection.send(
            error(message, "PropertyReadOnly", QStringLiteral("Property %1 is read-only").arg(name)));
    else
        connection.send(message.createReply(QVariant::fromValue(QDBusVariant(found))));
}

QVariant SessionService::value(const QString& property) const {
    if (property == QLatin1String("Devices"))
        return QVariant::fromValue(m_state ? DeviceStatus::deviceMaps(*m_state) : QList<QVariantMap>());
    if (property == QLatin1String("LastPolled")) {
        if (!m_state || !m_state->lastPolled())
            return QString();
        return m_state->lastPolled()->toUTC().toString(Qt::ISODateWithMs);
    }
    if (property == QLatin1String("Version"))
        return version();
    return {};
}

QVariantMap SessionService::values() const {
    QVariantMap all;
    for (const QString& name :
         {QStringLiteral("Devices"), QStringLiteral("LastPolled"), QStringLiteral("Version")})
        all.insert(name, value(name));
    return all;
}

void SessionService::refresh() {
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
                changed.insert(name, value(name));
            QDBusMessage signal = QDBusMessage::createSignal(
                QString::fromLatin1(objectPath), propertiesInterface, QStringLiteral("PropertiesChanged"));
            signal << QString::fromLatin1(interfaceName) << changed << QStringList();
            m_connection.send(signal);
        },
        Qt::QueuedConnection);
}
