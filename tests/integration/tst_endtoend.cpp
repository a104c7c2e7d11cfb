#include "BluezMock.h"
#include "PrivateBus.h"
#include "ProgramRun.h"

#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <QElapsedTimer>

#include <signal.h>
#include <sys/stat.h>

// The real program against a fake BlueZ and a fake notification server on
// private buses, with its own home folders.
class EndToEndTest : public QObject {
    Q_OBJECT

    static QString readFile(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    // A mouse at 15 %, below the threshold of 20 the tests set.
    BluezMock m_bluez;

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_bluez.isValid());
        QVERIFY(!m_bluez.addAdapter().isEmpty());
        QVERIFY(!m_bluez.addConnectedDevice("AA:BB:CC:DD:EE:01", "Desk Mouse", "input-mouse", 15).isEmpty());
    }

    void lowMouseIsNotifiedOnce() {
        PrivateBus session(QStringLiteral("session"));
        QVERIFY(session.isValid());
        QTemporaryDir home;
        const QString notifyLog = home.path() + "/notifications.log";
        DbusMock notifications(session, false, {"-t", "notification_daemon"}, "org.freedesktop.Notifications",
                               notifyLog);
        QVERIFY(notifications.isValid());

        ProgramRun voltwren(&m_bluez.bus(), &session);
        voltwren.writeDefaults(R"({"voltwren.threshold": 20, "voltwren.sendNotifications": true})");
        QVERIFY(voltwren.start());

        QTRY_VERIFY_WITH_TIMEOUT(readFile(notifyLog).contains(" Notify "), 10000);
        // The GATT reading of the same mouse triggers a second refresh; it must not notify again.
        QTRY_VERIFY_WITH_TIMEOUT(voltwren.log().count("bluez-report scan found") >= 2, 10000);
        QTest::qWait(500);

        const QStringList notifyCalls = readFile(notifyLog).split('\n').filter(" Notify ");
        QCOMPARE(notifyCalls.size(), 1);
        QVERIFY2(notifyCalls[0].contains("\"Voltwren\" \"Desk Mouse is at 15%.\""),
                 qPrintable(notifyCalls[0]));

        const QString log = voltwren.log();
        QVERIFY(log.contains("] Voltwren, version "));
        QVERIFY(log.contains("] Running first poll ("));
        QVERIFY(log.contains(QString::fromUtf16(u"] Scanning for Bluetooth devices via bluez-report\u2026")));
        QVERIFY(log.contains("] Device: Desk Mouse\n  Address: AA:BB:CC:DD:EE:01\n"));
        QVERIFY(log.contains("] bluez-report scan found 1 connected device(s): Desk Mouse"));

        QCOMPARE(voltwren.stop(), 0);
        const QString output = voltwren.output();
        QCOMPARE(output.count("Voltwren: no display; running without a tray icon"), 1);
        QVERIFY(output.contains("Refreshed battery states"));
    }

    // At login the notification server may start after us: it still gets the
    // notification, once, with our icon, and a click on it opens the panel.
    void lateServerThenAClick() {
        PrivateBus session(QStringLiteral("session"));
        QVERIFY(session.isValid());
        ProgramRun voltwren(&m_bluez.bus(), &session);
        voltwren.writeDefaults(R"({"voltwren.threshold": 20, "voltwren.sendNotifications": true})");
        QVERIFY(voltwren.start());
        QVERIFY2(voltwren.waitForOutput("Voltwren: failed to deliver notification for Desk Mouse: "),
                 qPrintable(voltwren.output()));

        const QString notifyLog = voltwren.home() + "/notifications.log";
        DbusMock server(session, false,
                        {"-t", "notification_daemon", "-p", R"({"capabilities": "body actions"})"},
                        "org.freedesktop.Notifications", notifyLog);
        QVERIFY(server.isValid());
        QTRY_VERIFY_WITH_TIMEOUT(readFile(notifyLog).contains(" Notify "), 10000);
        const QString call = readFile(notifyLog).split('\n').filter(" Notify ").constFirst();
        QVERIFY2(call.contains("\"Desk Mouse is at 15%.\" [\"default\", \"Show Devices\"] {"),
                 qPrintable(call));
        QVERIFY2(call.contains("\"sound-name\": \"battery-low\""), qPrintable(call));
        const QRegularExpressionMatch image = QRegularExpression("\"image-path\": \"([^\"]+)\"").match(call);
        QFile png(image.captured(1));
        QVERIFY2(image.hasMatch() && png.open(QIODevice::ReadOnly), qPrintable(call));
        // Its width, from the PNG header.
        QVERIFY(qFromBigEndian<quint32>(png.read(24).constData() + 16) >= 48);

        QDBusMessage click =
            QDBusMessage::createMethodCall("org.freedesktop.Notifications", "/org/freedesktop/Notifications",
                                           "org.freedesktop.DBus.Mock", "EmitSignal");
        click << "org.freedesktop.Notifications"
              << "ActionInvoked"
              << "us" << QVariantList{1u, "default"};
        QCOMPARE(session.connection().call(click, QDBus::Block, 5000).type(), QDBusMessage::ReplyMessage);
        QVERIFY(voltwren.waitForOutput("Voltwren [debug]: device panel shown: "));
        QCOMPARE(readFile(notifyLog).count(" Notify "), 1);
        QCOMPARE(voltwren.stop(), 0);
    }

    // A mouse low the whole time: its connection flaps, and the notification
    // server hangs for 8 s when the alert is sent. It is told exactly once,
    // when the server answers; neither the retry nor the returns tell it again.
    void flapsAndAHungServerNotifyOnce() {
        PrivateBus session(QStringLiteral("session"));
        QVERIFY(session.isValid());
        QTemporaryDir home;
        const QString notifyLog = home.path() + "/notifications.log";
        DbusMock server(session, false, {"-t", "notification_daemon"}, "org.freedesktop.Notifications",
                        notifyLog);
        QVERIFY(server.isValid());
        QCOMPARE(::kill(pid_t(server.processId()), SIGSTOP), 0);
        QElapsedTimer hung;
        hung.start();

        ProgramRun voltwren(&m_bluez.bus(), &session);
        voltwren.writeDefaults(R"({"voltwren.threshold": 20, "voltwren.sendNotifications": true})");
        QVERIFY(voltwren.start());
        const QString mouse = "AA:BB:CC:DD:EE:01";
        const auto flap = [&](int times, bool settle) {
            for (int i = 0; i < times; ++i) {
                const qsizetype refreshes = voltwren.output().count("Refreshed battery states");
                QVERIFY(m_bluez.disconnectDevice(mouse));
                if (settle)
                    QTRY_VERIFY_WITH_TIMEOUT(voltwren.output().count("Refreshed battery states") > refreshes,
                                             10000);
                QVERIFY(m_bluez.connectDevice(mouse));
            }
        };
        // The post gives up waiting after 5 s; the server is still there.
        QVERIFY2(voltwren.waitForOutput("Voltwren: failed to deliver notification for Desk Mouse: the "
                                        "notification server did not answer in time"),
                 qPrintable(voltwren.output()));
        const qint64 sent = hung.elapsed() - 5000;
        flap(2, true);
        // 8 s after the post, the server wakes and shows it.
        QTest::qWait(int(std::max<qint64>(0, sent + 8000 - hung.elapsed())));
        QCOMPARE(::kill(pid_t(server.processId()), SIGCONT), 0);
        QTRY_VERIFY_WITH_TIMEOUT(readFile(notifyLog).contains(" Notify "), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(
            voltwren.log().contains("Notification for \"" + mouse + "\" was shown after all"), 10000);
        // Twenty reconnections in a row, then past the first retry's time.
        flap(20, false);
        flap(1, true);
        QTest::qWait(int(std::max<qint64>(0, sent + 5000 + 12000 - hung.elapsed())));
        flap(1, true);
        const QStringList calls = readFile(notifyLog).split('\n').filter(" Notify ");
        QCOMPARE(calls.size(), 1);
        QVERIFY2(calls[0].contains("\"Desk Mouse is at 15%.\""), qPrintable(calls[0]));
        QCOMPARE(voltwren.stop(), 0);
    }

    // Whatever stands where the settings or the log should be, the program
    // starts, answers on the bus and ends on SIGTERM: no open may block.
    void oddFilesNeverStallTheProgram_data() {
        QTest::addColumn<bool>("settings");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("said");
        const QString refused = "(it is not a regular file); settings will not be saved";
        QTest::newRow("settings file is a FIFO") << true << "fifo" << refused;
        QTest::newRow("settings file links to /dev/zero") << true << "zero" << refused;
        QTest::newRow("settings file of 5 MiB") << true << "huge"
                                                << "is larger than 4 MiB; moved it to ";
        QTest::newRow("log file is a FIFO") << false << "fifo"
                                            << "Voltwren: not writing the log: ";
    }
    void oddFilesNeverStallTheProgram() {
        QFETCH(bool, settings);
        QFETCH(QString, kind);
        QFETCH(QString, said);
        PrivateBus system;
        PrivateBus session(QStringLiteral("session"));
        QVERIFY(system.isValid() && session.isValid());
        ProgramRun voltwren(&system, &session);
        const QString path = settings ? voltwren.defaultsPath() : voltwren.logPath();
        QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
        if (kind == "fifo")
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else if (kind == "zero")
            QVERIFY(QFile::link("/dev/zero", path));
        else
            voltwren.writeDefaults("{\"voltwren.threshold\": 30, \"pad\": \"" + QByteArray(5 << 20, 'x') +
                                   "\"}");

        QVERIFY(voltwren.start());
        QVERIFY(session.waitForName("app.voltwren.Voltwren", 15000));
        QString out;
        QString err;
        QCOMPARE(voltwren.runToEnd({"status", "--json"}, &out, &err, 15000), 0);
        QVERIFY2(!err.contains("one-off reading"), qPrintable(err));
        QVERIFY(voltwren.waitForOutput("Refreshed battery states"));
        if (settings)
            QVERIFY2(voltwren.log().contains(said), qPrintable(voltwren.log()));
        else
            QCOMPARE(voltwren.output().count(said), 1);
        QCOMPARE(voltwren.stop(), 0);
    }
};

QTEST_GUILESS_MAIN(EndToEndTest)
#include "tst_endtoend.moc"
