#include "platform/linux/FreedesktopNotificationCenter.h"

#include "PrivateBus.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString serviceName = QStringLiteral("org.freedesktop.Notifications");

// The Notify lines of a dbusmock log, without their time stamps.
QStringList notifyCalls(const QString& logFile) {
    QFile file(logFile);
    QStringList calls;
    if (!file.open(QIODevice::ReadOnly))
        return calls;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QString text = QString::fromUtf8(line);
        const qsizetype at = text.indexOf(QStringLiteral(" Notify "));
        if (at >= 0)
            calls << text.mid(at + 1);
    }
    return calls;
}

// The arguments of every call of METHOD the mock received, in order.
QList<QVariantList> methodCalls(const PrivateBus& bus, const QString& method) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        serviceName, QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.DBus.Mock"), QStringLiteral("GetMethodCalls"));
    call << method;
    const QDBusMessage reply = bus.connection().call(call, QDBus::Block, 10000);
    QList<QVariantList> result;
    if (reply.type() != QDBusMessage::ReplyMessage)
        return result;
    // a(tav): one (time, arguments) per call.
    const QDBusArgument calls = reply.arguments().value(0).value<QDBusArgument>();
    calls.beginArray();
    while (!calls.atEnd()) {
        calls.beginStructure();
        quint64 time = 0;
        calls >> time;
        QVariantList arguments;
        calls.beginArray();
        while (!calls.atEnd()) {
            QDBusVariant argument;
            calls >> argument;
            arguments << argument.variant();
        }
        calls.endArray();
        calls.endStructure();
        result << arguments;
    }
    calls.endArray();
    return result;
}

// The value type of each hint of one Notify call, as "name=type", sorted
// (the log does not tell a byte from an integer).
QStringList hintTypes(const QVariantList& notifyArguments) {
    QStringList types;
    const QDBusArgument hints = notifyArguments.value(6).value<QDBusArgument>();
    hints.beginMap();
    while (!hints.atEnd()) {
        QString name;
        QDBusVariant value;
        hints.beginMapEntry();
        hints >> name >> value;
        hints.endMapEntry();
        types << name + QLatin1Char('=') + QString::fromLatin1(value.variant().metaType().name());
    }
    hints.endMap();
    types.sort();
    return types;
}

} // namespace

// A notification server that tells its capabilities and then never answers
// (or, refusing, answers with an error).
class SilentServer : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public Q_SLOTS:
    QStringList GetCapabilities() { return {QStringLiteral("body")}; }
    QString GetServerInformation(const QDBusMessage& message) { return hold(message), QString(); }
    uint Notify(const QString&, uint, const QString&, const QString&, const QString&, const QStringList&,
                const QVariantMap&, int, const QDBusMessage& message) {
        return hold(message), 0;
    }
    void CloseNotification(uint id) { closed << id; }

public:
    int heldCalls = 0;
    bool refuse = false;
    QList<QDBusMessage> held;
    QList<uint> closed;

private:
    void hold(const QDBusMessage& message) {
        if (refuse)
            return sendErrorReply(QStringLiteral("org.example.Refused"), QStringLiteral("refused"));
        message.setDelayedReply(true);
        held << message;
        ++heldCalls;
    }
};

class TestFreedesktopNotifications : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void authorization_data() {
        QTest::addColumn<bool>("withServer");
        QTest::addColumn<bool>("connected");
        QTest::newRow("server") << true << true;
        QTest::newRow("no server") << false << true;
        QTest::newRow("no bus") << false << false;
    }
    void authorization() {
        QFETCH(bool, withServer);
        QFETCH(bool, connected);
        PrivateBus bus(QStringLiteral("session"));
        QVERIFY(bus.isValid());
        std::unique_ptr<DbusMock> mock;
        if (withServer) {
            mock =
                std::make_unique<DbusMock>(bus, false, QStringList{"-t", "notification_daemon"}, serviceName);
            QVERIFY(mock->isValid());
        }
        const QDBusConnection connection =
            connected ? bus.connection()
                      : QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"),
                                                      QStringLiteral("nowhere"));
        QCOMPARE(connection.isConnected(), connected);
        FreedesktopNotificationCenter center(connection);
        std::optional<std::pair<bool, std::optional<QString>>> answer;
        center.requestAuthorization(
            [&](bool granted, std::optional<QString> error) { answer.emplace(granted, error); });
        QVERIFY(!answer); // never inside the call
        QTRY_VERIFY_WITH_TIMEOUT(answer.has_value(), 10000);
        QCOMPARE(answer->first, withServer);
        QCOMPARE(answer->second.has_value(), !withServer);
        if (!withServer)
            QVERIFY(!answer->second->isEmpty());
    }

    void notify_data() {
        QTest::addColumn<QStringList>("serverArguments");
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("sentBody");
        QTest::addColumn<bool>("sound");
        const QStringList markup{"-t", "notification_daemon"};
        const QStringList plain{"-t", "notification_daemon", "-p", R"({"capabilities": "body"})"};
        QTest::newRow("plain text, markup server") << markup << QStringLiteral("Desk Mouse is at 15%.")
                                                   << QStringLiteral("Desk Mouse is at 15%.") << true;
        QTest::newRow("no sound") << markup << QStringLiteral("Desk Mouse is at 15%.")
                                  << QStringLiteral("Desk Mouse is at 15%.") << false;
        QTest::newRow("markup escaped")
            << markup << QStringLiteral("<b>Tom & Jerry's</b> is at 5%.")
            << QStringLiteral("&lt;b&gt;Tom &amp; Jerry's&lt;/b&gt; is at 5%.") << true;
        QTest::newRow("no markup capability") << plain << QStringLiteral("<b>Tom & Jerry's</b> is at 5%.")
                                              << QStringLiteral("<b>Tom & Jerry's</b> is at 5%.") << true;
    }
    void notify() {
        QFETCH(QStringList, serverArguments);
        QFETCH(QString, body);
        QFETCH(QString, sentBody);
        QFETCH(bool, sound);
        QTemporaryDir dir;
        const QString logFile = dir.filePath(QStringLiteral("notifications.log"));
        PrivateBus bus(QStringLiteral("session"));
        QVERIFY(bus.isValid());
        DbusMock mock(bus, false, serverArguments, serviceName, logFile);
        QVERIFY(mock.isValid());

        FreedesktopNotificationCenter center(bus.connection());
        center.onActivated = [](const QString&) {}; // but these servers offer no actions
        int completions = 0;
        std::optional<NotificationError> error;
        const Notification notification{QStringLiteral("Voltwren"), body,
                                        QStringLiteral("voltwren-7-1700000000.5"), sound, true};
        // The second post uses the capabilities learnt by the first.
        for (int i = 0; i < 2; ++i) {
            center.post(notification, [&](std::optional<NotificationError> e) {
                ++completions;
                error = error ? error : e;
            });
            QTRY_COMPARE_WITH_TIMEOUT(completions, i + 1, 10000);
        }
        QVERIFY2(!error, qPrintable(error.value_or(NotificationError()).text));
        const QString expected =
            QStringLiteral("Notify \"Voltwren\" 0 \"app.voltwren.Voltwren\" \"Voltwren\" \"%1\" [] "
                           "{\"desktop-entry\": \"app.voltwren.Voltwren\", "
                           "%2\"urgency\": 1, "
                           "\"x-voltwren-request-id\": \"voltwren-7-1700000000.5\"} -1")
                .arg(sentBody, sound ? QStringLiteral("\"sound-name\": \"battery-low\", ")
                                     : QStringLiteral("\"suppress-sound\": True, "));
        QTRY_COMPARE_WITH_TIMEOUT(notifyCalls(logFile), QStringList({expected, expected}), 10000);
        const QStringList types{"desktop-entry=QString", sound ? "sound-name=QString" : "suppress-sound=bool",
                                "urgency=uchar", "x-voltwren-request-id=QString"};
        const QList<QVariantList> calls = methodCalls(bus, QStringLiteral("Notify"));
        QCOMPARE(calls.size(), 2);
        for (const QVariantList& call : calls)
            QCOMPARE(hintTypes(call), types);
        QCOMPARE(methodCalls(bus, QStringLiteral("GetCapabilities")).size(), 1);
    }

    void capabilitiesFollowServer() {
        QTemporaryDir dir;
        PrivateBus bus(QStringLiteral("session"));
        QVERIFY(bus.isValid());
        FreedesktopNotificationCenter center(bus.connection());
        // Made after the center's own watcher, so it hears of each change after it.
        QDBusServiceWatcher watcher(serviceName, bus.connection(), QDBusServiceWatcher::WatchForOwnerChange);
        QSignalSpy changes(&watcher, &QDBusServiceWatcher::serviceOwnerChanged);
        int appeared = 0;
        center.onServerAppeared = [&] { ++appeared; };
        const Notification notification{QStringLiteral("Voltwren"), QStringLiteral("<i>"),
                                        QStringLiteral("id")};
        const QStringList markup{"-t", "notification_daemon"};
        const QStringList plain{"-t", "notification_daemon", "-p", R"({"capabilities": "body"})"};
        // A markup server, then a plain one in its place, then markup again.
        const QList<std::pair<QStringList, QString>> servers{
            {markup, "&lt;i&gt;"}, {plain, "<i>"}, {markup, "&lt;i&gt;"}};
        for (qsizetype i = 0; i < servers.size(); ++i) {
            const QString logFile = dir.filePath(QString::number(i));
            auto mock = std::make_unique<DbusMock>(bus, false, servers[i].first, serviceName, logFile);
            QVERIFY(mock->isValid());
            QTRY_COMPARE_WITH_TIMEOUT(changes.count(), 2 * i + 1, 10000);
            QCOMPARE(appeared, i + 1);
            std::optional<std::optional<NotificationError>> result;
            center.post(notification, [&](std::optional<NotificationError> error) { result = error; });
            QTRY_VERIFY_WITH_TIMEOUT(result.has_value(), 10000);
            QVERIFY2(!result->has_value(), qPrintable(result->value_or(NotificationError()).text));
            const QStringList calls = notifyCalls(logFile);
            QCOMPARE(calls.size(), 1);
            QVERIFY2(calls.first().contains(" \"" + servers[i].second + "\" []"), qPrintable(calls.first()));
            mock.reset();
            QTRY_COMPARE_WITH_TIMEOUT(changes.count(), 2 * i + 2, 10000);
        }
    }

    // A click on one of ours comes back as its request identifier.
    void defaultAction() {
        PrivateBus bus(QStringLiteral("session"));
        QVERIFY(bus.isValid());
        DbusMock mock(bus, false, {"-t", "notification_daemon", "-p", R"({"capabilities": "body actions"})"},
                      serviceName);
        QVERIFY(mock.isValid());
        FreedesktopNotificationCenter center(bus.connection());
        QStringList activated;
        center.onActivated = [&](const QString& request) { activated << request; };
        int posted = 0;
        QStringList chosen;
        center.onAction = [&](const QString& request, const QString& key) { chosen << request + ":" + key; };
        for (const QString request : {"first", "second"}) {
            Notification notification{"Voltwren", "b", request};
            if (request == "first")
                notification.actions = {{"snooze", "Snooze"}};
            center.post(notification, [&](std::optional<NotificationError>) { ++posted; });
        }
        QTRY_COMPARE_WITH_TIMEOUT(posted, 2, 10000);
        QCOMPARE(methodCalls(bus, "Notify").value(0).value(5).toStringList(),
                 QStringList({"default", "Show Devices", "snooze", "Snooze"}));
        QCOMPARE(methodCalls(bus, "Notify").value(1).value(5).toStringList(),
                 QStringList({"default", "Show Devices"}));
        // The mock numbers them from 1. Another key is that action; an id not ours and a closed one
        // are no click on ours.
        for (const auto& [name, signature, arguments] :
             QList<std::tuple<QString, QString, QVariantList>>{{"ActionInvoked", "us", {1u, "snooze"}},
                                                               {"ActionInvoked", "us", {7u, "default"}},
                                                               {"NotificationClosed", "uu", {1u, 2u}},
                                                               {"ActionInvoked", "us", {1u, "default"}},
                                                               {"ActionInvoked", "us", {2u, "default"}}}) {
            QDBusMessage emitting = QDBusMessage::createMethodCall(
                serviceName, "/org/freedesktop/Notifications", "org.freedesktop.DBus.Mock", "EmitSignal");
            emitting << serviceName << name << signature << arguments;
            QCOMPARE(bus.connection().call(emitting, QDBus::Block, 10000).type(), QDBusMessage::ReplyMessage);
        }
        QTRY_COMPARE_WITH_TIMEOUT(activated, QStringList{"second"}, 10000);
        QCOMPARE(chosen, QStringList{"first:snooze"});
    }

    void silentServer_data() {
        QTest::addColumn<bool>("authorization");
        QTest::addColumn<int>("timeout");
        QTest::addColumn<bool>("refuse");
        QTest::newRow("authorization") << true << 500 << false;
        QTest::newRow("post, default timeout")
            << false << FreedesktopNotificationCenter::defaultTimeout << false;
        QTest::newRow("post, refused") << false << 500 << true;
    }
    void silentServer() {
        QFETCH(bool, authorization);
        QFETCH(int, timeout);
        QFETCH(bool, refuse);
        PrivateBus bus(QStringLiteral("session"));
        QVERIFY(bus.isValid());
        QDBusConnection server = QDBusConnection::connectToBus(bus.address(), QStringLiteral("silent"));
        SilentServer silent;
        silent.refuse = refuse;
        QVERIFY(server.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &silent,
                                      QDBusConnection::ExportAllSlots));
        QVERIFY(server.registerService(serviceName));

        FreedesktopNotificationCenter center(bus.connection(), timeout);
        std::optional<std::optional<QString>> result;
        bool granted = true;
        if (authorization) {
            center.requestAuthorization([&](bool g, std::optional<QString> error) {
                granted = g;
                result = error;
            });
        } else {
            center.post({QStringLiteral("Voltwren"), QStringLiteral("b"), QStringLiteral("id")},
                        [&](std::optional<NotificationError> error) {
                            result = error ? std::optional(error->text) : std::nullopt;
                            // A server that is there: retried later, never waited for.
                            QCOMPARE(error && error->noServer, false);
                            QCOMPARE(error && error->timedOut, !refuse);
                        });
        }
        QTRY_VERIFY_WITH_TIMEOUT(result.has_value(), 20000);
        QVERIFY(result->has_value());
        QVERIFY(!(*result)->isEmpty());
        if (authorization)
            QVERIFY(!granted);
        // The held call is the one that timed out (for a post: Notify, after GetCapabilities).
        QCOMPARE(silent.heldCalls, refuse ? 0 : 1);
        QDBusConnection::disconnectFromBus(QStringLiteral("silent"));
    }

    // A server that answers after the timeout did show it: that is told,
    // and the notification can then be taken back.
    void lateAnswerIsADelivery() {
        PrivateBus bus(QStringLiteral("session"));
        QVERIFY(bus.isValid());
        QDBusConnection server = QDBusConnection::connectToBus(bus.address(), QStringLiteral("late"));
        SilentServer slow;
        QVERIFY(server.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &slow,
                                      QDBusConnection::ExportAllSlots));
        QVERIFY(server.registerService(serviceName));
        FreedesktopNotificationCenter center(bus.connection(), 300);
        QStringList late;
        center.onDeliveredLate = [&](const QString& request) { late << request; };
        std::optional<NotificationError> error;
        center.post({"Voltwren", "b", "first"}, [&](std::optional<NotificationError> e) { error = e; });
        QTRY_VERIFY_WITH_TIMEOUT(error.has_value(), 10000);
        QVERIFY(error->timedOut);
        QVERIFY(late.isEmpty());
        QCOMPARE(slow.held.size(), 1);
        QVERIFY(server.send(slow.held.first().createReply(QVariantList{5u})));
        QTRY_COMPARE_WITH_TIMEOUT(late, QStringList{"first"}, 10000);
        center.withdraw("first");
        QTRY_COMPARE_WITH_TIMEOUT(slow.closed, QList<uint>{5u}, 10000);
        QDBusConnection::disconnectFromBus(QStringLiteral("late"));
    }
};

QTEST_GUILESS_MAIN(TestFreedesktopNotifications)
#include "tst_freedesktopnotifications.moc"
