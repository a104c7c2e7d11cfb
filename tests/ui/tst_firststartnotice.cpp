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
// a notification server and, as each row says, a tray.
class FirstStartNoticeTest : public QObject {
    Q_OBJECT

    static constexpr int delay = 400;

    QTemporaryDir m_state;

    // One start: the notice's wait, with the tray as told, and a little more.
    void runStart(const PrivateBus& session, const QString& marker, const QString& tray, bool server,
                  const QString& serverLog) {
        std::unique_ptr<DbusMock> notifications;
        if (server) {
            notifications =
                std::make_unique<DbusMock>(session, false, QStringList{"-t", "notification_daemon"},
                                           "org.freedesktop.Notifications", serverLog);
            QVERIFY(notifications->isValid());
        }
        std::unique_ptr<TrayWatcherMock> watcher;
        if (tray == "there")
            watcher = std::make_unique<TrayWatcherMock>(session, true);
        else if (tray == "late" || tray == "too late")
            watcher = std::make_unique<TrayWatcherMock>(session, false);
        QVERIFY(!watcher || watcher->isValid());

        TrayHostWatcher hosts(session.connection());
        hosts.start();
        FreedesktopNotificationCenter center(session.connection(), 2000);
        FirstStartNotice notice(hosts, center, marker, delay);
        notice.start();
        if (tray == "late") {
            QTest::qWait(delay / 4);
            QVERIFY(watcher->registerHost());
        }
        QTest::qWait(delay * 2);
        if (tray == "too late")
            QVERIFY(watcher->registerHost());
        QTest::qWait(delay);
    }

private Q_SLOTS:
    void onceAtTheFirstStart_data() {
        QTest::addColumn<QString>("tray"); // none, there, late (within the wait), too late
        QTest::addColumn<bool>("server");
        QTest::addColumn<int>("toldAtFirst");
        QTest::addColumn<int>("toldAtSecond"); // a second start has no tray either
        QTest::newRow("no tray: told once") << "none" << true << 1 << 0;
        QTest::newRow("a tray from the start") << "there" << true << 0 << 0;
        QTest::newRow("a tray within the wait") << "late" << true << 0 << 0;
        QTest::newRow("a tray after the notice") << "too late" << true << 1 << 0;
        // Nobody heard it: the next start tries again.
        QTest::newRow("no notification server") << "none" << false << 0 << 1;
    }
    void onceAtTheFirstStart() {
        QFETCH(QString, tray);
        QFETCH(bool, server);
        QFETCH(int, toldAtFirst);
        QFETCH(int, toldAtSecond);
        const QString marker =
            m_state.filePath(QString::fromLatin1(QTest::currentDataTag()) + "/first-start");
        const QString firstLog = m_state.filePath(QString::fromLatin1(QTest::currentDataTag()) + "-1.log");
        const QString secondLog = m_state.filePath(QString::fromLatin1(QTest::currentDataTag()) + "-2.log");

        PrivateBus first(QStringLiteral("session"));
        QVERIFY(first.isValid());
        runStart(first, marker, tray, server, firstLog);
        const QStringList told = notices(firstLog);
        QCOMPARE(told.size(), toldAtFirst);
        if (toldAtFirst) {
            QVERIFY2(told.constFirst().contains("\"Voltwren is running\""), qPrintable(told.constFirst()));
            QVERIFY(told.constFirst().contains("gnome-shell-extension-appindicator"));
        }
        QCOMPARE(QFile::exists(marker), toldAtSecond == 0);

        PrivateBus second(QStringLiteral("session"));
        QVERIFY(second.isValid());
        runStart(second, marker, "none", true, secondLog);
        QCOMPARE(notices(secondLog).size(), toldAtSecond);
    }
};

QTEST_GUILESS_MAIN(FirstStartNoticeTest)
#include "tst_firststartnotice.moc"
