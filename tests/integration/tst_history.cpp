#include "BluezMock.h"
#include "PrivateBus.h"
#include "ProgramRun.h"
#include "platform/linux/SqliteChargeStore.h"

#include <QDBusMessage>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qint64 hour = 3600 * 1000;
const QString mouseID = QStringLiteral("AA:BB:CC:DD:EE:01");

QString databasePath(const ProgramRun& run) {
    return run.home() + QStringLiteral("/state/app.voltwren.Voltwren/history.sqlite");
}

ChargePoint mouseAt(qint64 time, qint64 percent) {
    return ChargePoint{mouseID, QStringLiteral("Desk Mouse"), DeviceKind::mouse, time, percent, true};
}

// The mouse's entries in what `voltwren ARGUMENTS` prints as JSON.
QList<QJsonObject> mouseEntries(const ProgramRun& run, const QStringList& arguments) {
    QString out;
    QList<QJsonObject> found;
    if (run.runToEnd(arguments, &out) == 0) {
        for (const QJsonValue& value : QJsonDocument::fromJson(out.toUtf8()).array())
            if (value.toObject().value(QStringLiteral("id")).toString() == mouseID)
                found << value.toObject();
    }
    return found;
}

// `voltwren history --json`: the mouse's charges, oldest first.
QList<qint64> recordedCharges(const ProgramRun& run) {
    QList<qint64> charges;
    for (const QJsonObject& point : mouseEntries(run, {QStringLiteral("history"), QStringLiteral("--json")}))
        charges.append(point.value(QStringLiteral("percent")).toInteger(-1));
    return charges;
}

bool mapsLibrary(qint64 pid, const char* library) {
    QFile maps(QStringLiteral("/proc/%1/maps").arg(pid));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains(library);
}

bool callProgram(const PrivateBus& session, const QString& method) {
    const QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("app.voltwren.Voltwren"), QStringLiteral("/app/voltwren/Voltwren"),
        QStringLiteral("app.voltwren.Voltwren1"), method);
    return session.connection().call(call, QDBus::Block, 5000).type() == QDBusMessage::ReplyMessage;
}

// `voltwren history ARGUMENTS` as a user who may not write RUN's record
// folder (root may write anywhere, so as nobody then).
int runAsReader(ProgramRun& run, const QStringList& arguments, QString* out, QString* err) {
    if (::geteuid() != 0)
        return run.runToEnd(arguments, out, err, 10000);
    const QString program = run.program;
    run.program = QStringLiteral("/usr/bin/setpriv");
    const int status =
        run.runToEnd(QStringList{"--reuid=65534", "--regid=65534", "--clear-groups", program} + arguments,
                     out, err, 10000);
    run.program = program;
    return status;
}

} // namespace

// The record the real program keeps, as `voltwren history` and `status`
// show it: across restarts, pruned at 90 days, a damaged file moved aside.
class HistoryTest : public QObject {
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
        m_mouse = m_bluez.addConnectedDevice(mouseID, "Desk Mouse", "input-mouse", 80);
        QVERIFY(!m_mouse.isEmpty());
    }

    void recordAcrossRestarts() {
        QVERIFY(setMousePercent(80));
        PrivateBus session(QStringLiteral("session"));
        QVERIFY(session.isValid());
        ProgramRun voltwren(&m_bluez.bus(), &session);
        // A reading from before the 90 days, and half a day of discharge.
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        {
            SqliteChargeStore seed(databasePath(voltwren), ChargeStore::Access::readWrite);
            QVERIFY(seed.open());
            QVERIFY(seed.append({mouseAt(now - 91 * 24 * hour, 40), mouseAt(now - 12 * hour, 100),
                                 mouseAt(now - 8 * hour, 95), mouseAt(now - 4 * hour, 90)}));
        }
        // Read while no program runs.
        QCOMPARE(recordedCharges(voltwren), (QList<qint64>{100, 95, 90}));
        QVERIFY(voltwren.start());
        QTRY_COMPARE_WITH_TIMEOUT(recordedCharges(voltwren), (QList<qint64>{100, 95, 90, 80}), 15000);
        // The reading from before the 90 days is gone from the file itself.
        {
            SqliteChargeStore file(databasePath(voltwren), ChargeStore::Access::readOnly);
            QList<qint64> kept;
            QVERIFY(file.open() &&
                    file.visit(0, [&kept](const ChargePoint& point) { kept << *point.percent; }));
            QCOMPARE(kept, (QList<qint64>{100, 95, 90, 80}));
        }

        // The estimate, from the record and the reading now.
        const QJsonObject mouse = mouseEntries(voltwren, {"status", "--json"}).value(0);
        QVERIFY2(mouse.value("secondsUntilThreshold").toInteger() > 0,
                 qPrintable(QJsonDocument(mouse).toJson()));
        QVERIFY(mouse.value("secondsUntilEmpty").toInteger() >
                mouse.value("secondsUntilThreshold").toInteger());

        // The window's module is loaded when the window opens, not before.
        QVERIFY(!mapsLibrary(voltwren.processId(), "history-window.so"));
        QVERIFY(callProgram(session, "ShowHistory"));
        QTRY_VERIFY_WITH_TIMEOUT(mapsLibrary(voltwren.processId(), "history-window.so"), 10000);
        QCOMPARE(voltwren.stop(), 0);

        // Started again with the same charge: nothing new to keep.
        QVERIFY(voltwren.start());
        QVERIFY(voltwren.waitForOutput("Refreshed battery states"));
        QVERIFY(setMousePercent(70));
        QVERIFY(callProgram(session, "Refresh"));
        QTRY_COMPARE_WITH_TIMEOUT(recordedCharges(voltwren), (QList<qint64>{100, 95, 90, 80, 70}), 15000);
        QCOMPARE(voltwren.stop(), 0);

        // The text form, of one device named in any case; a name that is not there.
        QString out;
        QString err;
        QCOMPARE(voltwren.runToEnd({"history", "desk MOUSE", "--days", "1"}, &out, &err), 0);
        QCOMPARE(out.count('\n'), 5);
        QVERIFY2(out.section('\n', 4, 4)
                     .contains(QRegularExpression("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d  Desk Mouse  70%$")),
                 qPrintable(out));
        QCOMPARE(voltwren.runToEnd({"history", "Desk Mice"}, &out, &err), 1);
        QVERIFY2(err.contains("no device named 'Desk Mice'"), qPrintable(err));

        // A damaged file is moved aside as it is, and the record starts afresh.
        QVERIFY(setMousePercent(64));
        const QString folder = QFileInfo(databasePath(voltwren)).absolutePath();
        for (const QString& journal : QDir(folder).entryList({"history.sqlite-*"}))
            QVERIFY(QFile::remove(folder + '/' + journal));
        const QByteArray garbage = QByteArray("this is no database\n").repeated(400);
        QFile file(databasePath(voltwren));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(garbage) == garbage.size());
        file.close();
        QVERIFY(voltwren.start());
        QTRY_VERIFY_WITH_TIMEOUT(voltwren.log().contains("; moved it to "), 15000);
        QTRY_COMPARE_WITH_TIMEOUT(recordedCharges(voltwren), QList<qint64>{64}, 15000);
        const QStringList aside = QDir(folder).entryList({"history.sqlite.corrupt-*"});
        QCOMPARE(aside.size(), 1);
        QFile kept(folder + '/' + aside.constFirst());
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), garbage);
        QCOMPARE(voltwren.stop(), 0);
    }

    // What stands at the record's place, as `voltwren history` finds it.
    void unusualFiles_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("said");
        QTest::newRow("a FIFO") << "fifo" << 1 << "it is not a regular file";
        QTest::newRow("a folder") << "folder" << 1 << "it is a folder";
        QTest::newRow("another program's database") << "other" << 1 << "is not a charge record of Voltwren's";
        QTest::newRow("a record in a read-only folder") << "read-only" << 0 << "";
        QTest::newRow("a read-only folder, readings in the journal") << "journal" << 0 << "";
    }
    void unusualFiles() {
        QFETCH(QString, kind);
        QFETCH(int, status);
        QFETCH(QString, said);
        ProgramRun run(&m_bluez.bus(), nullptr);
        const QString path = databasePath(run);
        const QString folder = QFileInfo(path).absolutePath();
        QVERIFY(QDir().mkpath(folder));
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        const QList<ChargePoint> readings{mouseAt(now - 2 * hour, 90), mouseAt(now - hour, 85)};
        QTemporaryDir elsewhere;
        std::optional<SqliteChargeStore> writer;
        if (kind == "fifo") {
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        } else if (kind == "folder") {
            QVERIFY(QDir().mkpath(path));
        } else if (kind == "other") {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "other");
            db.setDatabaseName(path);
            QVERIFY(db.open() && QSqlQuery(db).exec("CREATE TABLE readings (x)"));
            db.close();
        } else if (kind == "read-only") {
            SqliteChargeStore seed(path, ChargeStore::Access::readWrite);
            QVERIFY(seed.open() && seed.append(readings));
        } else {
            // Copied while the writer is open: its readings are still in the journal.
            const QString source = elsewhere.filePath("history.sqlite");
            writer.emplace(source, ChargeStore::Access::readWrite);
            QVERIFY(writer->open() && writer->append(readings));
            QVERIFY(QFileInfo(source + "-wal").size() > 0);
            QVERIFY(QFile::copy(source, path) && QFile::copy(source + "-wal", path + "-wal"));
        }
        QSqlDatabase::removeDatabase("other");
        for (QString at = folder; at.startsWith(run.home()); at = QFileInfo(at).absolutePath())
            QVERIFY(::chmod(QFile::encodeName(at).constData(), at == folder ? 0555 : 0755) == 0);
        for (const QString& name : QDir(folder).entryList(QDir::Files))
            QFile::setPermissions(folder + '/' + name, QFileDevice::ReadOwner | QFileDevice::ReadOther);

        QString out;
        QString err;
        QCOMPARE(runAsReader(run, {"history", "--json"}, &out, &err), status);
        QVERIFY(::chmod(QFile::encodeName(folder).constData(), 0755) == 0);
        QVERIFY2(err.contains(said), qPrintable(err));
        if (status == 0) {
            QCOMPARE(QJsonDocument::fromJson(out.toUtf8()).array().size(), 2);
            QCOMPARE(QDir(folder).entryList({"history.sqlite-shm"}, QDir::Files | QDir::System),
                     QStringList{});
        }
    }
};

QTEST_GUILESS_MAIN(HistoryTest)
#include "tst_history.moc"
