#include "TrayWatcherMock.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusVariant>

namespace {

const QString watcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString watcherPath = QStringLiteral("/StatusNotifierWatcher");
const QString itemPath = QStringLiteral("/StatusNotifierItem");
const QString itemInterface = QStringLiteral("org.kde.StatusNotifierItem");

QVariant variant(const QVariant& value) {
    return QVariant::fromValue(QDBusVariant(value));
}

} // namespace

TrayWatcherMock::TrayWatcherMock(const PrivateBus& session, bool hostRegistered, int lostRegistrations,
                                 const QString& listedAs)
    : m_session(session) {
    // A registration is listed as a real watcher lists it, except the first
    // LOST ones, which it drops as one did in a login race.
    const QString registerItem =
        QStringLiteral("lost = getattr(self, 'lost_registrations', 0)\n"
                       "if lost < %1:\n"
                       "    self.lost_registrations = lost + 1\n"
                       "else:\n"
                       "    watcher = self.props['%2']\n"
                       "    items = [str(item) for item in watcher['RegisteredStatusNotifierItems']]\n"
                       "    watcher['RegisteredStatusNotifierItems'] = "
                       "dbus.Array(items + ['%3' % args[0]], signature='s')\n")
            .arg(lostRegistrations)
            .arg(watcherService, QString(listedAs).replace(QStringLiteral("%1"), QStringLiteral("%s")));
    m_mock = std::make_unique<DbusMock>(
        session, false, QStringList{watcherService, watcherPath, watcherService}, watcherService);
    if (!m_mock->isValid())
        return;
    m_valid =
        mockCall(
            QStringLiteral("AddProperty"),
            {watcherService, QStringLiteral("IsStatusNotifierHostRegistered"), variant(hostRegistered)}) &&
        mockCall(QStringLiteral("AddProperty"),
                 {watcherService, QStringLiteral("ProtocolVersion"), variant(0)}) &&
        mockCall(QStringLiteral("AddProperty"),
                 {watcherService, QStringLiteral("RegisteredStatusNotifierItems"), variant(QStringList())}) &&
        mockCall(QStringLiteral("AddMethod"), {watcherService, QStringLiteral("RegisterStatusNotifierItem"),
                                               QStringLiteral("s"), QString(), registerItem}) &&
        mockCall(QStringLiteral("AddMethod"), {watcherService, QStringLiteral("RegisterStatusNotifierHost"),
                                               QStringLiteral("s"), QString(), QString()});
}

bool TrayWatcherMock::mockCall(const QString& method, const QVariantList& arguments, QVariant* result) const {
    QDBusMessage message = QDBusMessage::createMethodCall(
        watcherService, watcherPath, QStringLiteral("org.freedesktop.DBus.Mock"), method);
    message.setArguments(arguments);
    const QDBusMessage reply = m_session.connection().call(message, QDBus::Block, 10000);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        qWarning("tray watcher mock %s failed: %s", qPrintable(method), qPrintable(reply.errorMessage()));
        return false;
    }
    if (result && !reply.arguments().isEmpty())
        *result = reply.arguments().constFirst();
    return true;
}

bool TrayWatcherMock::registerHost() {
    // UpdateProperties keeps the property a boolean (a plain Set would make
    // the mock export it as a variant, which Qt reads as false).
    QVariantMap properties;
    properties.insert(QStringLiteral("IsStatusNotifierHostRegistered"), true);
    return mockCall(QStringLiteral("UpdateProperties"), {watcherService, properties}) &&
           mockCall(
               QStringLiteral("EmitSignal"),
               {watcherService, QStringLiteral("StatusNotifierHostRegistered"), QString(), QVariantList()});
}

QStringList TrayWatcherMock::registeredItems() const {
    QVariant calls;
    if (!mockCall(QStringLiteral("GetMethodCalls"), {QStringLiteral("RegisterStatusNotifierItem")}, &calls))
        return {};
    // a(tav): each call's time and arguments.
    QStringList items;
    const QDBusArgument argument = calls.value<QDBusArgument>();
    argument.beginArray();
    while (!argument.atEnd()) {
        quint64 time = 0;
        QVariantList arguments;
        argument.beginStructure();
        argument >> time >> arguments;
        argument.endStructure();
        if (!arguments.isEmpty())
            items << arguments.constFirst().toString();
    }
    argument.endArray();
    return items;
}

bool TrayWatcherMock::callItem(const QString& service, const QString& method,
                               const QVariantList& arguments) const {
    QDBusMessage message = QDBusMessage::createMethodCall(service, itemPath, itemInterface, method);
    message.setArguments(arguments);
    return m_session.connection().call(message, QDBus::Block, 10000).type() == QDBusMessage::ReplyMessage;
}

QVariant TrayWatcherMock::itemProperty(const QString& service, const QString& name) const {
    QDBusMessage get = QDBusMessage::createMethodCall(
        service, itemPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << itemInterface << name;
    const QDBusMessage reply = m_session.connection().call(get, QDBus::Block, 10000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return {};
    return reply.arguments().constFirst().value<QDBusVariant>().variant();
}
