#include "BluezMock.h"
#include "PrivateBus.h"
#include "ProgramRun.h"

#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

#include <csignal>

namespace {

QJsonDocument parse(const QString& text) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError)
        qWarning("not JSON (%s): %s", qPrintable(error.errorString()), qPrintable(text));
    return document;
}

// The running program's Devices property, read by an independent client
// (dbus-python) and printed as JSON.
QJsonArray devicesReadByPython(const PrivateBus& session) {
    const QString script = QStringLiteral(R"(
import dbus, json, sys
def plain(v):
    if isinstance(v, dbus.Boolean): return bool(v)
    if isinstance(v, dict): return {str(k): plain(x) for k, x in v.items()}
    if isinstance(v, list): return [plain(x) for x in v]
    if isinstance(v, (dbus.String, str)): return str(v)
    if isinstance(v, float): return float(v)
    return int(v)
bus = dbus.bus.BusConnection(sys.argv[1])
o = bus.get_object('app.voltwren.Voltwren', '/app/voltwren/Voltwren')
print(json.dumps(plain(o.Get('app.voltwren.Voltwren1', 'Devices', dbus_interface='org.freedesktop.DBus.Properties'))))
)");
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), script, session.address()});
    if (!python.waitForFinished(20000) || python.exitCode() != 0) {
        qWarning("%s", python.readAllStandardError().constData());
        return {};
    }
    return parse(QString::fromUtf8(python.readAllStandardOutput())).array();
}

QDBusMessage callProgram(const PrivateBus& session, const QString& interface, const QString& method,
                         const QVariantList& arguments = {}) {
    QDBusMessage call =
        QDBusMessage::createMethodCall("app.voltwren.Voltwren", "/app/voltwren/Voltwren", interface, method);
    call.setArguments(arguments);
    return session.connection().call(call, QDBus::Block, 5000);
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

// `voltwren status` and the program's session-bus interface, as a script
// or a status bar uses them.
class StatusTest : public QObject {
    Q_OBJECT

    BluezMock m_bluez;
    QString m_mouse;

    bool setMousePercent(uchar percent) {
        return m_bluez.setProperty(m_mouse, "org.bluez.Battery1", "Percentage", QVariant::fromValue(percent));
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_bluez.isValid());
        QVERIFY(!m_bluez.addAdapter().isEmpty());
        m_mouse = m_bluez.addConnectedDevice("AA:BB:CC:DD:EE:01", "Desk Mouse", "input-mouse", 50);
        QVERIFY(!m_mouse.isEmpty());
        const QString keyboard = m_bluez.addDevice("AA:BB:CC:DD:EE:02", "Keys");
        QVERIFY(m_bluez.setProperty(keyboard, "org.bluez.Device1", "Icon", QString("input-keyboard")));
        QVERIFY(m_bluez.connectDevice("AA:BB:CC:DD:EE:02"));
    }

    void statusOfTheRunningProgramAndOnItsOwn() {
        PrivateBus session(QStringLiteral("session"));
        QVERIFY(session.isValid());
        ProgramRun voltwren(&m_bluez.bus(), &session);
        voltwren.writeDefaults(R"({"voltwren.threshold": 60})");
        QVERIFY(voltwren.start());
        QVERIFY(session.waitForName("app.voltwren.Voltwren"));
        QTRY_VERIFY_WITH_TIMEOUT(voltwren.log().contains("bluez-report scan found 2"), 20000);
        QTest::qWait(500); // the GATT reading's follow-up poll

        // The property, as another client reads it, is the published list.
        const QJsonArray property = devicesReadByPython(session);
        QCOMPARE(property.size(), 2);
        const QJsonObject mouse = property[0].toObject();
        QCOMPARE(mouse["name"].toString(), QString("Desk Mouse"));
        QCOMPARE(mouse["kind"].toString(), QString("mouse"));
        QCOMPARE(mouse["percent"].toInt(), 50);
        QCOMPARE(mouse["connected"].toBool(), true);
        QCOMPARE(mouse["low"].toBool(), true); // 50 is below 60
        QCOMPARE(mouse["threshold"].toDouble(), 60.0);
        QVERIFY(!property[1].toObject().contains("percent")); // the keyboard has no reading

        QString out;
        QString err;
        QCOMPARE(voltwren.runToEnd({"status", "--json"}, &out, &err), 0);
        QCOMPARE(parse(out).array(), property);
        QVERIFY2(err.isEmpty(), qPrintable(err));

        QCOMPARE(voltwren.runToEnd({"status", "--waybar"}, &out, &err), 0);
        const QJsonObject bar = parse(out).object();
        QCOMPARE(bar["text"].toString(), QString("Desk Mouse 50%"));
        QCOMPARE(bar["class"].toString(), QString("low"));
        QCOMPARE(bar["percentage"].toInt(), 50);
        QCOMPARE(bar["tooltip"].toString(), QString::fromUtf16(u"Desk Mouse: 50%\nKeys: \u2014"));

        QCOMPARE(voltwren.runToEnd({"status"}, &out, &err), 0);
        QCOMPARE(out, QString::fromUtf16(u"! Desk Mouse  50%\n  Keys        \u2014\n"));

        // --watch: a new line once the mouse changed and the program polled.
        const std::unique_ptr<QProcess> watch = voltwren.startSeparately({"status", "--json", "--watch"});
        QTRY_VERIFY_WITH_TIMEOUT(watch->canReadLine(), 10000);
        QCOMPARE(parse(QString::fromUtf8(watch->readLine())).array(), property);
        QVERIFY(setMousePercent(10));
        QDBusMessage refresh = QDBusMessage::createMethodCall(
            "app.voltwren.Voltwren", "/app/voltwren/Voltwren", "app.voltwren.Voltwren1", "Refresh");
        QCOMPARE(session.connection().call(refresh, QDBus::Block, 5000).type(), QDBusMessage::ReplyMessage);
        QJsonArray watched;
        const auto readNewest = [&] {
            while (watch->canReadLine())
                watched = parse(QString::fromUtf8(watch->readLine())).array();
            return !watched.isEmpty() && watched[0].toObject()["percent"].toInt() == 10;
        };
        QTRY_VERIFY_WITH_TIMEOUT(readNewest(), 5000);
        QCOMPARE(watched[0].toObject()["low"].toBool(), true);
        watch->kill();
        watch->waitForFinished(5000);
        QCOMPARE(voltwren.stop(), 0);

        // No program: a reading of its own, the same devices, nothing written.
        QVERIFY(setMousePercent(50));
        const QString mouseID = mouse["id"].toString();
        voltwren.writeDefaults(
            QStringLiteral(R"({"voltwren.threshold": 60, "voltwren.deviceThresholdOverrides":)"
                           R"( {"$data": "%1"}})")
                .arg(QString::fromLatin1(
                    QStringLiteral(R"({"%1":{"address":"%1","name":"Old Name","kind":"mouse",)"
                                   R"("threshold":70}})")
                        .arg(mouseID)
                        .toUtf8()
                        .toBase64()))
                .toUtf8());
        const QByteArray defaultsBefore = readFile(voltwren.defaultsPath());
        const QByteArray logBefore = readFile(voltwren.logPath());
        QCOMPARE(voltwren.runToEnd({"status", "--json"}, &out, &err), 0);
        QVERIFY2(err.contains("one-off reading"), qPrintable(err));
        const QJsonArray alone = parse(out).array();
        QCOMPARE(alone.size(), 2);
        QCOMPARE(alone[0].toObject()["percent"].toInt(), 50);
        QCOMPARE(alone[0].toObject()["threshold"].toDouble(), 70.0); // the user's override
        QCOMPARE(alone[1].toObject()["name"].toString(), QString("Keys"));
        QCOMPARE(readFile(voltwren.defaultsPath()), defaultsBefore); // the stale name is not saved
        QCOMPARE(readFile(voltwren.logPath()), logBefore);

        // A damaged settings file is the user's to see: a reading leaves it where it is.
        voltwren.writeDefaults("{\"voltwren.threshold\": 6");
        QCOMPARE(voltwren.runToEnd({"status", "--json"}, &out, &err), 0);
        QCOMPARE(parse(out).array().size(), 2);
        QCOMPARE(readFile(voltwren.defaultsPath()), QByteArray("{\"voltwren.threshold\": 6"));
        QCOMPARE(QFileInfo(voltwren.defaultsPath()).dir().entryList({"defaults.json.corrupt-*"}),
                 QStringList());
    }

    // What a session peer can reach: the declared interface, nothing it can set.
    void onlyTheDeclaredInterfaceIsExported() {
        PrivateBus session(QStringLiteral("session"));
        QVERIFY(session.isValid());
        ProgramRun voltwren(&m_bluez.bus(), &session);
        // A client that asks the moment the name appears (a bar's watch) finds the object.
        QDBusServiceWatcher appears("app.voltwren.Voltwren", session.connection(),
                                    QDBusServiceWatcher::WatchForRegistration);
        std::optional<QDBusMessage> first;
        connect(&appears, &QDBusServiceWatcher::serviceRegistered, this, [&] {
            QDBusMessage getAll =
                QDBusMessage::createMethodCall("app.voltwren.Voltwren", "/app/voltwren/Voltwren",
                                               "org.freedesktop.DBus.Properties", "GetAll");
            getAll << QString("app.voltwren.Voltwren1");
            auto* watcher = new QDBusPendingCallWatcher(session.connection().asyncCall(getAll, 5000), this);
            connect(watcher, &QDBusPendingCallWatcher::finished, this, [&first, watcher] {
                first = watcher->reply();
                watcher->deleteLater();
            });
        });
        QVERIFY(voltwren.start());
        QTRY_VERIFY_WITH_TIMEOUT(first.has_value(), 15000);
        QVERIFY2(first->type() == QDBusMessage::ReplyMessage, qPrintable(first->errorMessage()));
        const QString properties = "org.freedesktop.DBus.Properties";
        for (const QString& interface : {QString("app.voltwren.Voltwren1"), QString()}) {
            const QDBusMessage set = callProgram(
                session, properties, "Set",
                {interface, "objectName", QVariant::fromValue(QDBusVariant(QString(1 << 20, 'x')))});
            QCOMPARE(set.type(), QDBusMessage::ErrorMessage);
            QCOMPARE(callProgram(session, properties, "Get", {interface, "objectName"}).type(),
                     QDBusMessage::ErrorMessage);
        }
        const QDBusMessage all = callProgram(session, properties, "GetAll", {"app.voltwren.Voltwren1"});
        QCOMPARE(all.type(), QDBusMessage::ReplyMessage);
        QStringList names = qdbus_cast<QVariantMap>(all.arguments().constFirst()).keys();
        QCOMPARE(names, QStringList({"Devices", "LastPolled", "Version"}));
        const QDBusMessage introspection =
            callProgram(session, "org.freedesktop.DBus.Introspectable", "Introspect");
        const QString xml = introspection.arguments().value(0).toString();
        QVERIFY2(xml.contains("<method name=\"Refresh\"/>") && !xml.contains("objectName"), qPrintable(xml));
        QCOMPARE(voltwren.stop(), 0);
    }

    // A program that hangs: status says so after a short wait and reads for
    // itself; the bar says it too, and follows the program once it is back.
    void aHungProgramIsToldApart() {
        PrivateBus session(QStringLiteral("session"));
        QVERIFY(session.isValid());
        QVERIFY(setMousePercent(50));
        ProgramRun voltwren(&m_bluez.bus(), &session);
        QVERIFY(voltwren.start());
        QVERIFY(session.waitForName("app.voltwren.Voltwren"));
        QTRY_VERIFY_WITH_TIMEOUT(voltwren.output().contains("Refreshed battery states"), 20000);
        QCOMPARE(::kill(pid_t(voltwren.processId()), SIGSTOP), 0);

        QString out;
        QString err;
        QCOMPARE(voltwren.runToEnd({"status", "--json"}, &out, &err), 0);
        QVERIFY2(err.contains("Voltwren is running but does not answer; this is a one-off reading"),
                 qPrintable(err));
        QCOMPARE(parse(out).array().size(), 2);

        const std::unique_ptr<QProcess> bar = voltwren.startSeparately({"status", "--waybar", "--watch"});
        QTRY_VERIFY_WITH_TIMEOUT(bar->canReadLine(), 10000);
        const QJsonObject hung = parse(QString::fromUtf8(bar->readLine())).object();
        QCOMPARE(hung["class"].toString(), QString("not-answering"));
        QCOMPARE(hung["tooltip"].toString(), QString("Voltwren is running but does not answer"));
        QCOMPARE(::kill(pid_t(voltwren.processId()), SIGCONT), 0);
        QTRY_VERIFY_WITH_TIMEOUT(bar->canReadLine(), 15000);
        QCOMPARE(parse(QString::fromUtf8(bar->readLine())).object()["text"].toString(),
                 QString("Desk Mouse 50%"));
        bar->kill();
        bar->waitForFinished(5000);
        QCOMPARE(voltwren.stop(), 0);
    }

    // Another program holds the name: Voltwren is not fooled into quitting,
    // says so once, and takes the name when it is free; status is not
    // fooled into printing what that program serves.
    void anotherProgramHoldsTheName() {
        PrivateBus session(QStringLiteral("session"));
        QVERIFY(session.isValid());
        QTemporaryDir folder;
        const QString notifyLog = folder.filePath("notifications.log");
        DbusMock notifications(session, false, {"-t", "notification_daemon"}, "org.freedesktop.Notifications",
                               notifyLog);
        QVERIFY(notifications.isValid());
        auto holder = std::make_unique<DbusMock>(
            session, false,
            QStringList{"app.voltwren.Voltwren", "/app/voltwren/Voltwren", "app.voltwren.Voltwren1"},
            "app.voltwren.Voltwren");
        QVERIFY(holder->isValid());
        qDBusRegisterMetaType<QList<QVariantMap>>();
        const QList<QVariantMap> served{{{"id", "x"}, {"name", "Not Yours"}, {"percent", 5}}};
        QCOMPARE(callProgram(session, "org.freedesktop.DBus.Mock", "AddProperty",
                             {"app.voltwren.Voltwren1", "Devices",
                              QVariant::fromValue(QDBusVariant(QVariant::fromValue(served)))})
                     .type(),
                 QDBusMessage::ReplyMessage);
        QCOMPARE(callProgram(session, "org.freedesktop.DBus.Mock", "AddMethod",
                             {"app.voltwren.Voltwren1", "ShowPanel", "", "", ""})
                     .type(),
                 QDBusMessage::ReplyMessage);

        ProgramRun voltwren(&m_bluez.bus(), &session);
        voltwren.writeDefaults(R"({"voltwren.sendNotifications": true})");
        QVERIFY(voltwren.start());
        QTRY_VERIFY_WITH_TIMEOUT(voltwren.output().contains("Refreshed battery states"), 20000);
        QVERIFY2(
            voltwren.log().contains("does not answer as Voltwren (no version); running without the name"),
            qPrintable(voltwren.log()));
        QTRY_COMPARE_WITH_TIMEOUT(readFile(notifyLog).count("Voltwren cannot be reached by other programs"),
                                  1, 10000);

        QString out;
        QString err;
        QCOMPARE(voltwren.runToEnd({"status", "--json"}, &out, &err), 0);
        QVERIFY2(!out.contains("Not Yours") && parse(out).array().size() == 2, qPrintable(out));
        QVERIFY2(err.contains("another program holds Voltwren's name"), qPrintable(err));

        holder.reset();
        QTRY_VERIFY_WITH_TIMEOUT(voltwren.log().contains("Took the session bus name"), 10000);
        QCOMPARE(voltwren.runToEnd({"status", "--json"}, &out, &err), 0);
        QVERIFY2(err.isEmpty(), qPrintable(err));
        QCOMPARE(parse(out).array().size(), 2);
        QCOMPARE(readFile(notifyLog).count(" Notify "), 1);
        QCOMPARE(voltwren.stop(), 0);
    }

    void usageErrors_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("unknown command") << QStringList{"stats"};
        QTest::newRow("format without status") << QStringList{"--json"};
        QTest::newRow("two formats") << QStringList{"status", "--json", "--waybar"};
        QTest::newRow("watch without a format") << QStringList{"status", "--watch"};
        QTest::newRow("unknown option") << QStringList{"status", "--yaml"};
        QTest::newRow("history: no days") << QStringList{"history", "--days", "0"};
        QTest::newRow("history: more days than are kept") << QStringList{"history", "--days", "91"};
        QTest::newRow("history: days that are no number") << QStringList{"history", "--days", "week"};
        QTest::newRow("history: a status bar's format") << QStringList{"history", "--waybar"};
        QTest::newRow("history: two devices") << QStringList{"history", "Desk Mouse", "Keys"};
        QTest::newRow("days without history") << QStringList{"status", "--days", "3"};
    }
    void usageErrors() {
        QFETCH(QStringList, arguments);
        ProgramRun voltwren(nullptr, nullptr);
        QString out;
        QString err;
        QCOMPARE(voltwren.runToEnd(arguments, &out, &err), 2);
        QVERIFY(out.isEmpty());
        QVERIFY2(err.contains("Usage: voltwren"), qPrintable(err));
    }

    // `status --waybar --watch` as waybar runs it: over a program that comes
    // and goes, with a name that is not markup, until its reader or its bus goes.
    void watchAsABarRunsIt() {
        auto session = std::make_unique<PrivateBus>(QStringLiteral("session"));
        QVERIFY(session->isValid());
        QVERIFY(m_bluez.setProperty(m_mouse, "org.bluez.Device1", "Alias", QString("Q&A <Buds>")));
        QVERIFY(setMousePercent(50));
        ProgramRun voltwren(&m_bluez.bus(), session.get());
        const std::unique_ptr<QProcess> bar = voltwren.startSeparately({"status", "--waybar", "--watch"});
        QStringList lines;
        const auto newest = [&](const QString& text, const QString& barClass) {
            while (bar->canReadLine())
                lines << QString::fromUtf8(bar->readLine()).trimmed();
            if (lines.isEmpty())
                return false;
            const QJsonObject shown = parse(lines.last()).object();
            return shown["text"].toString() == text && shown["class"].toString() == barClass;
        };
        const auto pollAgain = [&] {
            const qsizetype polls = voltwren.output().count("Refreshed battery states");
            QDBusMessage refresh = QDBusMessage::createMethodCall(
                "app.voltwren.Voltwren", "/app/voltwren/Voltwren", "app.voltwren.Voltwren1", "Refresh");
            QCOMPARE(session->connection().call(refresh, QDBus::Block, 5000).type(),
                     QDBusMessage::ReplyMessage);
            QTRY_VERIFY_WITH_TIMEOUT(voltwren.output().count("Refreshed battery states") > polls, 10000);
        };
        QTRY_VERIFY_WITH_TIMEOUT(newest("", "stopped"), 10000);

        QVERIFY(voltwren.start());
        QTRY_VERIFY_WITH_TIMEOUT(newest("Q&amp;A &lt;Buds&gt; 50%", "normal"), 20000);
        const QString tooltip = parse(lines.last()).object()["tooltip"].toString();
        QVERIFY2(tooltip.split('\n').contains("Q&amp;A &lt;Buds&gt;: 50%"), qPrintable(tooltip));
        // Polls that change nothing print nothing; a change prints its line.
        pollAgain();
        pollAgain();
        QVERIFY(setMousePercent(10));
        pollAgain();
        QTRY_VERIFY_WITH_TIMEOUT(newest("Q&amp;A &lt;Buds&gt; 10%", "low"), 10000);

        // The program quits and comes back.
        QCOMPARE(voltwren.stop(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(newest("", "stopped"), 10000);
        QVERIFY(voltwren.start());
        QTRY_VERIFY_WITH_TIMEOUT(newest("Q&amp;A &lt;Buds&gt; 10%", "low"), 20000);
        for (qsizetype i = 1; i < lines.size(); ++i)
            QVERIFY2(lines[i] != lines[i - 1], qPrintable(lines.join('\n')));

        // A bar that closes its end of the pipe, with SIGPIPE ignored as
        // waybar leaves it: the shell waits for both ends.
        QProcess pipeline;
        pipeline.setProcessEnvironment(voltwren.environment);
        pipeline.start("/bin/sh",
                       {"-c", R"(trap '' PIPE; "$0" status --waybar --watch | head -n 1)", voltwren.program});
        QVERIFY(pipeline.waitForFinished(20000));
        QCOMPARE(parse(QString::fromUtf8(pipeline.readAllStandardOutput())).object()["class"].toString(),
                 QString("low"));

        // The session bus goes away.
        session.reset();
        QVERIFY(bar->waitForFinished(10000));
    }
};

QTEST_GUILESS_MAIN(StatusTest)
#include "tst_status.moc"
