#include "BluezMock.h"
#include "PrivateBus.h"
#include "ProgramRun.h"

#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

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
