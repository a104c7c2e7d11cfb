#include "platform/linux/FreedesktopNotificationCenter.h"
#include "ui/FirstStartNotice.h"
#include "ui/TrayHostWatcher.h"

#include "PrivateBus.h"
#include "TrayWatcherMock.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

// The Notify calls in a dbusmock log.
QStringList notices(const QString& logFile) {
    QFile file(logFile);
    QStringList lines;
    if (file.open(QIODevice::ReadOnly))
        for (const QByteArray& line : file.readAll().split('\n'))
            if (line.contains(" Notify "))
                lines << QString::fromUtf8(line);
    return lines;
}

} // namespace

// Two starts of a first-time user's program, on a private session bus with
// a notification server and a tray as each row says.
class FirstStartNoticeTest : public QObject {
    Q_OBJECT

    static constexpr int delay = 250;

    QTemporaryDir m_state;

    // One start: the notice's wait, with the tray as told, and a little more.
    void runStart(const PrivateBus& session, const QString& marker, const QString& tray) {
        std::unique_ptr<TrayWatcherMock> watcher;
        if (tray != "none") {
            watcher = std::make_unique<TrayWatcherMock>(session, tray == "there");
            QVERIFY(watcher->isValid());
        }
        TrayHostWatcher hosts(session.connection());
        hosts.start();
        FreedesktopNotificationCenter center(session.connection(), 2000);
        FirstStartNotice notice(hosts, center, marker, delay);
        notice.start();
        if (tray == "late") {
            QTest::qWait(delay / 4);
            QVERIFY(watcher->registerHost());
        }
        QTest::qWait(delay * 3);
    }

private Q_SLOTS:
    void onceAtTheFirstStart_data() {
        QTest::addColumn<QString>("tray"); // none, there, late (within the wait)
        QTest::addColumn<bool>("serverAtFirst");
        QTest::addColumn<int>("toldAtFirst");
        QTest::addColumn<int>("toldAtSecond"); // a second start has no tray either
        QTest::newRow("no tray: told once") << "none" << true << 1 << 0;
        QTest::newRow("a tray from the start") << "there" << true << 0 << 0;
        QTest::newRow("a tray within the wait") << "late" << true << 0 << 0;
        // Nobody heard it: the next start tries again.
        QTest::newRow("no notification server") << "none" << false << 0 << 1;
    }
    void onceAtTheFirstStart() {
        QFETCH(QString, tray);
        QFETCH(bool, serverAtFirst);
        QFETCH(int, toldAtFirst);
        QFETCH(int, toldAtSecond);
        const QString marker =
            m_state.filePath(QString::fromLatin1(QTest::currentDataTag()) + "/first-start");
        const QString log = m_state.filePath(QString::fromLatin1(QTest::currentDataTag()) + ".log");
        PrivateBus session(QStringLiteral("session"));
        QVERIFY(session.isValid());
        std::unique_ptr<DbusMock> server;
        const auto startServer = [&] {
            server = std::make_unique<DbusMock>(session, false, QStringList{"-t", "notification_daemon"},
                                                "org.freedesktop.Notifications", log);
            return server->isValid();
        };
        if (serverAtFirst)
            QVERIFY(startServer());

        runStart(session, marker, tray);
        const QStringList told = notices(log);
        QCOMPARE(told.size(), toldAtFirst);
        if (toldAtFirst) {
            QVERIFY2(told.constFirst().contains("\"Voltwren is running\""), qPrintable(told.constFirst()));
            QVERIFY(told.constFirst().contains("gnome-shell-extension-appindicator"));
        }
        QCOMPARE(QFile::exists(marker), toldAtSecond == 0);

        // The next start, with a notification server and still no tray.
        if (!server)
            QVERIFY(startServer());
        runStart(session, marker, "none");
        QCOMPARE(notices(log).size(), toldAtFirst + toldAtSecond);
    }
};

QTEST_GUILESS_MAIN(FirstStartNoticeTest)
#include "tst_firststartnotice.moc"
