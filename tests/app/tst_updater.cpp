#include "LogEntries.h"
#include "app/Updater.h"
#include "app/UpdaterUserDriver.h"
#include "platform/linux/JsonDefaultsStore.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

using namespace std::chrono_literals;

namespace {

// A plain HTTP/1.1 server on 127.0.0.1 that gives every request one
// chosen answer, or none at all.
class LocalHttpServer final : public QObject {
public:
    int status = 200;
    QByteArray body;
    bool answers = true;
    bool sendsLength = true;
    int requests = 0;

    LocalHttpServer() {
        QVERIFY(m_server.listen(QHostAddress::LocalHost, 0));
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection())
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        });
    }
    QUrl url() const {
        return QUrl(QStringLiteral("http://127.0.0.1:%1/appcast.xml").arg(m_server.serverPort()));
    }

private:
    void onReadyRead(QTcpSocket* socket) {
        QByteArray& request = m_pending[socket];
        request += socket->readAll();
        if (!request.contains("\r\n\r\n"))
            return;
        m_pending.remove(socket);
        ++requests;
        if (!answers)
            return; // keep the connection open, silent
        QByteArray head = "HTTP/1.1 " + QByteArray::number(status) + " Whatever\r\nConnection: close\r\n";
        if (sendsLength)
            head += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
        socket->write(head + "\r\n" + body);
        socket->disconnectFromHost();
    }

    QTcpServer m_server;
    QHash<QTcpSocket*, QByteArray> m_pending;
};

class RecordingDriver final : public UpdaterUserDriver {
public:
    QStringList shown;
    std::function<void(Choice)> reply;

    void showUpdateFound(const AppcastItem& update, const QString& runningVersion,
                         std::function<void(Choice)> choose) override {
        shown << QStringLiteral("found %1 (%2) running %3 notes %4 download %5")
                     .arg(update.version, update.displayVersion, runningVersion,
                          update.releaseNotesLink.toString(), update.downloadLink.toString());
        reply = std::move(choose);
    }
    void showUpToDate(const QString& runningVersion) override { shown << "up to date " + runningVersion; }
    void showUpdateError(const QString& message) override { shown << "error " + message; }
};

// VERSIONS as items, the first with its version only in the enclosure.
QByteArray feed(const QStringList& versions) {
    QByteArray xml = "<?xml version=\"1.0\"?>\n<rss version=\"2.0\" xmlns:u=\"urn:example:appcast\">\n"
                     "<channel><title>Voltwren</title><link>https://voltwren.app/</link>\n";
    for (qsizetype i = 0; i < versions.size(); ++i) {
        const QByteArray v = versions.at(i).toUtf8();
        const QByteArray version = i == 0 ? QByteArray() : "<u:version>" + v + "</u:version>";
        xml += "<item><title>Voltwren " + v + "</title>" + version + "<u:shortVersionString>" + v +
               " build</u:shortVersionString>"
               "<u:releaseNotesLink>https://voltwren.app/notes/" +
               v +
               ".html</u:releaseNotesLink>"
               "<description><![CDATA[<p>Fixes & <b>more</b></p>]]></description>"
               "<enclosure url=\"https://voltwren.app/download/" +
               v +
               ".tar.gz\" length=\"1\" "
               "type=\"application/octet-stream\"" +
               (i == 0 ? " u:version=\"" + v + '"' : QByteArray()) + "/></item>\n";
    }
    return xml + "</channel></rss>\n";
}

QString found(const QString& version, const QString& running) {
    return QStringLiteral("found %1 (%1 build) running %2 notes https://voltwren.app/notes/%1.html "
                          "download https://voltwren.app/download/%1.tar.gz")
        .arg(version, running);
}

} // namespace

class UpdaterTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    LocalHttpServer m_server;
    RecordingDriver m_driver;
    QDateTime m_now = QDateTime(QDate(2024, 3, 1), QTime(9, 0), Qt::UTC);

    std::unique_ptr<UpdaterController> makeController(JsonDefaultsStore& defaults, const QString& running,
                                                      const QUrl& url) {
        UpdaterController::Configuration configuration;
        configuration.feedUrl = url;
        configuration.runningVersion = running;
        configuration.defaults = &defaults;
        configuration.firstCheckDelay = 0ms;
        configuration.networkTimeout = 300ms;
        configuration.fetchProgram = QStringLiteral(VOLTWREN_STAGE_LIBEXECDIR "/update-fetch");
        configuration.scheduleGranularity = 20ms;
        configuration.now = [this] { return m_now; };
        auto controller = std::make_unique<UpdaterController>(configuration);
        controller->setUserDriver(&m_driver);
        return controller;
    }

    static void runCheck(UpdaterController& controller, bool userInitiated) {
        QSignalSpy finished(&controller, &UpdaterController::checkFinished);
        if (userInitiated)
            controller.checkForUpdates();
        else
            controller.checkForUpdatesInBackground();
        QVERIFY(finished.count() == 1 || finished.wait(5000));
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        qputenv("XDG_STATE_HOME", QFile::encodeName(m_dir.path() + "/state"));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.path() + "/config"));
    }

    void init() {
        m_server.status = 200;
        m_server.answers = true;
        m_server.sendsLength = true;
        m_driver.shown.clear();
        m_driver.reply = nullptr;
        clearLog();
    }

    // The same feed checked once at the user's request and once in the
    // background: what each shows, and the background check's log line.
    void check_data() {
        QTest::addColumn<QString>("running");
        QTest::addColumn<QString>("address"); // empty: the local server
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("userSees");
        QTest::addColumn<QString>("logged");

        const QString fail = "error Couldn't check for updates: ";
        const QString failed = "Updater: update check failed: ";
        QTest::newRow("newer") << "1.5"
                               << "" << 200 << feed({"1.4", "2.0", "1.9"}) << found("2.0", "1.5")
                               << "Updater: version 2.0 build is available (running 1.5)";
        QTest::newRow("2.10 is newer than 2.9") << "2.9"
                                                << "" << 200 << feed({"2.9", "2.10"}) << found("2.10", "2.9")
                                                << "Updater: version 2.10 build is available (running 2.9)";
        QTest::newRow("equal: 1.0 is 1.0.0") << "1.0.0"
                                             << "" << 200 << feed({"1.0"}) << "up to date 1.0.0"
                                             << "Updater: up to date (running 1.0.0, newest 1.0 build)";
        QTest::newRow("older") << "3.0"
                               << "" << 200 << feed({"2.0", "2.9.9"}) << "up to date 3.0"
                               << "Updater: up to date (running 3.0, newest 2.9.9 build)";
        QTest::newRow("no release yet") << "1.0"
                                        << "" << 200 << feed({}) << "up to date 1.0"
                                        << "Updater: up to date (running 1.0, the feed lists no release)";
        QTest::newRow("malformed") << "1.0"
                                   << "" << 200 << QByteArray("<rss><channel><item><title>x</rss>")
                                   << fail + "the update feed is not valid XML (line 1: "
                                   << failed + "the update feed is not valid XML (line 1: ";
        QTest::newRow("not a feed") << "1.0"
                                    << "" << 200 << QByteArray("<html><body>Hi</body></html>")
                                    << fail + "the update feed is not an RSS feed"
                                    << failed + "the update feed is not an RSS feed";
        QTest::newRow("no usable release")
            << "1.0"
            << "" << 200
            << QByteArray(
                   "<rss><channel><item><enclosure url=\"http://voltwren.app/x\" version=\"9\"/></item>"
                   "<item><enclosure url=\"https://voltwren.app/x\" version=\"9-beta\"/></item>"
                   "</channel></rss>")
            << fail + "the update feed lists no usable release"
            << failed + "the update feed lists no usable release";
        QTest::newRow("404") << "1.0"
                             << "" << 404 << QByteArray("Not here")
                             << fail + "the server answered with HTTP status 404"
                             << failed + "the server answered with HTTP status 404";
        QTest::newRow("never answers")
            << "1.0"
            << "" << 0 << QByteArray() << fail + "the server did not answer within 0.3 seconds"
            << failed + "the server did not answer within 0.3 seconds";
        const QByteArray huge =
            feed({"2.0"}) + "<!--" + QByteArray(UpdaterController::maximumFeedSize, 'x') + "-->";
        QTest::newRow("over 1 MiB") << "1.0"
                                    << "" << 200 << huge << fail + "the update feed is larger than 1 MiB"
                                    << failed + "the update feed is larger than 1 MiB";
        QTest::newRow("over 1 MiB, no length given")
            << "1.0"
            << "" << -200 << huge << fail + "the update feed is larger than 1 MiB"
            << failed + "the update feed is larger than 1 MiB";
        QTest::newRow("not https") << "1.0"
                                   << "http://voltwren.app/appcast.xml" << 200 << feed({"2.0"})
                                   << fail + "the update feed address is not an https address: "
                                             "http://voltwren.app/appcast.xml"
                                   << failed + "the update feed address is not an https address: "
                                               "http://voltwren.app/appcast.xml";
    }
    void check() {
        QFETCH(QString, running);
        QFETCH(QString, address);
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, userSees);
        QFETCH(QString, logged);
        m_server.status = std::abs(status);
        m_server.sendsLength = status > 0;
        m_server.answers = status != 0;
        m_server.body = body;
        const int requestsBefore = m_server.requests;
        JsonDefaultsStore defaults(m_dir.path() + "/check.json");
        auto controller =
            makeController(defaults, running, address.isEmpty() ? m_server.url() : QUrl(address));

        runCheck(*controller, true);
        QCOMPARE(m_driver.shown.size(), 1);
        QVERIFY2(m_driver.shown.first().startsWith(userSees), qPrintable(m_driver.shown.first()));
        if (m_driver.reply)
            m_driver.reply(UpdaterUserDriver::Choice::remindMeLater);

        m_driver.shown.clear();
        clearLog();
        runCheck(*controller, false);
        QCOMPARE(m_driver.shown, userSees.startsWith("found") ? QStringList{userSees} : QStringList());
        const QStringList entries = logEntries();
        QCOMPARE(entries.size(), 1);
        QVERIFY2(entries.first().startsWith(logged), qPrintable(entries.first()));
        // Qt may resend a request whose connection broke, so "at least".
        if (address.isEmpty())
            QVERIFY(m_server.requests - requestsBefore >= 2);
        else
            QCOMPARE(m_server.requests, requestsBefore);
    }

    void onceADayAndSkipThisVersion() {
        m_server.body = feed({"2.0"});
        QFile::remove(m_dir.path() + "/schedule.json");
        JsonDefaultsStore defaults(m_dir.path() + "/schedule.json");
        const auto seconds = [](const QDateTime& t) { return double(t.toMSecsSinceEpoch()) / 1000.0; };
        defaults.setNumber("voltwren.lastUpdateCheck", seconds(m_now.addSecs(-2 * 3600)));
        auto controller = makeController(defaults, "1.5", m_server.url());
        const int start = m_server.requests;
        controller->startUpdater();

        // Checked two hours ago: nothing until a day has passed.
        QTest::qWait(200);
        QCOMPARE(m_server.requests, start);
        m_now = m_now.addSecs(22 * 3600 - 60);
        QTest::qWait(100);
        QCOMPARE(m_server.requests, start);
        m_now = m_now.addSecs(60);
        QTRY_COMPARE(m_driver.shown, QStringList{found("2.0", "1.5")});
        QCOMPARE(m_server.requests, start + 1);
        QCOMPARE(controller->lastUpdateCheckDate(), std::optional(m_now));

        m_driver.reply(UpdaterUserDriver::Choice::skipThisVersion);
        QCOMPARE(JsonDefaultsStore(defaults.filePath()).get("voltwren.skippedUpdateVersion"),
                 std::optional(DefaultsValue::string("2.0")));
        QTest::qWait(200);
        QCOMPARE(m_server.requests, start + 1);

        // The next day the skipped version is not offered again unasked...
        clearLog();
        m_now = m_now.addDays(1);
        QTRY_COMPARE(m_server.requests, start + 2);
        QTRY_COMPARE(logEntries(),
                     QStringList{"Updater: version 2.0 build is available but was skipped (running 1.5)"});
        QCOMPARE(m_driver.shown.size(), 1);
        // ...but still when the user asks...
        runCheck(*controller, true);
        QCOMPARE(m_driver.shown.size(), 2);
        QCOMPARE(m_driver.shown.last(), found("2.0", "1.5"));
        m_driver.reply(UpdaterUserDriver::Choice::remindMeLater);
        // ...and a later release is.
        m_server.body = feed({"2.0", "2.1"});
        m_now = m_now.addDays(1);
        QTRY_COMPARE(m_driver.shown.size(), 3);
        QCOMPARE(m_driver.shown.last(), found("2.1", "1.5"));
        QCOMPARE(m_server.requests, start + 4);
    }

    void sharedControllerLivesOnTheMainThread() {
        qputenv("VOLTWREN_UPDATE_FEED_URL", ""); // a build without update checks
        UpdaterController* fromThread = nullptr;
        QThread* thread = QThread::create([&fromThread] { fromThread = &updaterController(); });
        thread->start();
        UpdaterController* fromMain = &updaterController();
        QVERIFY(thread->wait(5000));
        delete thread;
        QCOMPARE(fromThread, fromMain);
        QCOMPARE(fromMain->thread(), QThread::currentThread());
        QVERIFY(!fromMain->isEnabled());
    }
};

QTEST_GUILESS_MAIN(UpdaterTest)
#include "tst_updater.moc"
