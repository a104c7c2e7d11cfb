#include "BluezMock.h"
#include "PrivateBus.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// The real program against a fake BlueZ and a fake notification server on
// private buses, with its own home folders.
class EndToEndTest : public QObject {
    Q_OBJECT

    static QString readFile(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

private Q_SLOTS:
    void lowMouseIsNotifiedOnce() {
        BluezMock bluez;
        QVERIFY(bluez.isValid());
        PrivateBus session(QStringLiteral("session"));
        QVERIFY(session.isValid());
        QTemporaryDir home;
        const QString notifyLog = home.path() + "/notifications.log";
        DbusMock notifications(session, false, {"-t", "notification_daemon"}, "org.freedesktop.Notifications",
                               notifyLog);
        QVERIFY(notifications.isValid());

        QVERIFY(!bluez.addAdapter().isEmpty());
        const QString mouse = bluez.addDevice("AA:BB:CC:DD:EE:01", "Desk Mouse");
        QVERIFY(!mouse.isEmpty());
        QVERIFY(bluez.setProperty(mouse, "org.bluez.Device1", "Icon", QString("input-mouse")));
        QVERIFY(bluez.addBattery(mouse, 15));
        QVERIFY(bluez.connectDevice("AA:BB:CC:DD:EE:01"));

        QVERIFY(QDir().mkpath(home.path() + "/config/app.voltwren.Voltwren"));
        QFile defaults(home.path() + "/config/app.voltwren.Voltwren/defaults.json");
        QVERIFY(defaults.open(QIODevice::WriteOnly));
        defaults.write(R"({"voltwren.threshold": 20, "voltwren.sendNotifications": true})");
        defaults.close();

        QProcessEnvironment environment = environmentWithBuses(&bluez.bus(), &session);
        environment.insert("HOME", home.path());
        environment.insert("XDG_CONFIG_HOME", home.path() + "/config");
        environment.insert("XDG_STATE_HOME", home.path() + "/state");
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.remove("DISPLAY");
        QProcess voltwren;
        voltwren.setProcessEnvironment(environment);
        voltwren.setProcessChannelMode(QProcess::MergedChannels);
        voltwren.start(QStringLiteral(VOLTWREN_STAGE_DIR "/bin/voltwren"), {});
        QVERIFY(voltwren.waitForStarted(5000));

        const QString logPath = home.path() + "/state/app.voltwren.Voltwren/Voltwren.log";
        QTRY_VERIFY_WITH_TIMEOUT(readFile(notifyLog).contains(" Notify "), 10000);
        // The GATT reading of the same mouse triggers a second refresh; it must not notify again.
        QTRY_VERIFY_WITH_TIMEOUT(readFile(logPath).count("system_profiler scan found") >= 2, 10000);
        QTest::qWait(500);

        const QStringList notifyCalls = readFile(notifyLog).split('\n').filter(" Notify ");
        QCOMPARE(notifyCalls.size(), 1);
        QVERIFY2(notifyCalls[0].contains("\"Voltwren\" \"Desk Mouse is at 15%.\""),
                 qPrintable(notifyCalls[0]));

        const QString log = readFile(logPath);
        QVERIFY(log.contains("] Voltwren, version "));
        QVERIFY(log.contains("] Running first poll ("));
        QVERIFY(
            log.contains(QString::fromUtf16(u"] Scanning for Bluetooth devices via system_profiler\u2026")));
        QVERIFY(log.contains("] Device: Desk Mouse\n  Address: AA:BB:CC:DD:EE:01\n"));
        QVERIFY(log.contains("] system_profiler scan found 1 connected device(s): Desk Mouse"));

        voltwren.terminate();
        QVERIFY(voltwren.waitForFinished(5000));
        QCOMPARE(voltwren.exitStatus(), QProcess::NormalExit);
        QCOMPARE(voltwren.exitCode(), 0);
        const QString output = QString::fromUtf8(voltwren.readAll());
        QCOMPARE(output.count("Voltwren: no display; running without a tray icon"), 1);
        QVERIFY(output.contains("Refreshed battery states"));
    }
};

QTEST_GUILESS_MAIN(EndToEndTest)
#include "tst_endtoend.moc"
