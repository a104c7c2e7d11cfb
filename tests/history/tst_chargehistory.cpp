#include "LogEntries.h"
#include "history/ChargeHistory.h"
#include "platform/linux/SqliteChargeStore.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

constexpr qint64 hour = 3600 * 1000;
constexpr qint64 day = 24 * hour;

MonitoredDevice mouse(qint64 percent) {
    return MonitoredDevice{"mouse", "Desk Mouse", DeviceKind::mouse, percent, true, false, std::nullopt};
}

ChargePoint mouseAt(qint64 time, qint64 percent) {
    return ChargePoint{"mouse", "Desk Mouse", DeviceKind::mouse, time, percent, true};
}

QList<qint64> times(const QString& path) {
    QList<qint64> found;
    SqliteChargeStore store(path, ChargeStore::Access::readOnly);
    if (store.open())
        store.visit(0, [&found](const ChargePoint& point) { found << point.time; });
    return found;
}

// Another connection to PATH, holding its write lock until released.
class Lock {
public:
    explicit Lock(const QString& path) {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "lock");
        db.setDatabaseName(path);
        m_held = db.open() && QSqlQuery(db).exec("BEGIN EXCLUSIVE");
    }
    ~Lock() {
        release();
        QSqlDatabase::removeDatabase("lock");
    }
    bool isHeld() const { return m_held; }
    void release() {
        if (std::exchange(m_held, false))
            QSqlQuery(QSqlDatabase::database("lock")).exec("ROLLBACK");
        QSqlDatabase::database("lock", false).close();
    }

private:
    bool m_held = false;
};

} // namespace

using Offsets = QList<qint64>;
Q_DECLARE_METATYPE(Offsets)

// The record through a wrong clock, a locked file and one that cannot be
// opened at first: no reading of the last 90 days is lost.
class ChargeHistoryTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_home;
    QString m_path;
    const qint64 m_now = QDateTime::currentMSecsSinceEpoch();

    std::unique_ptr<ChargeHistory> opened() {
        auto history = std::make_unique<ChargeHistory>(
            [path = m_path] { return makeChargeStore(path, ChargeStore::Access::readWrite); });
        QSignalSpy loaded(history.get(), &ChargeHistory::loaded);
        history->open();
        if (!loaded.wait(10000))
            return nullptr;
        return history;
    }

private Q_SLOTS:
    void initTestCase() { qputenv("XDG_STATE_HOME", QFile::encodeName(m_home.path())); }
    void init() {
        m_path = m_home.filePath(
            QString("%1 %2/history.sqlite").arg(QTest::currentTestFunction(), QTest::currentDataTag()));
        QDir().mkpath(QFileInfo(m_path).absolutePath());
        clearLog();
    }

    void wrongClock_data() {
        QTest::addColumn<Offsets>("seeded");   // days before now
        QTest::addColumn<Offsets>("readings"); // hours from now, as the clock says
        QTest::addColumn<int>("kept");
        const Offsets month{30, 20, 10, 5, 1};
        QTest::newRow("a year ahead, then put right") << month << Offsets{365 * 24, 365 * 24 + 1, 1, 2} << 9;
        QTest::newRow("ahead for hours, then put right")
            << month << Offsets{365 * 24, 365 * 24 + 2, 365 * 24 + 5, 6} << 9;
        // What was stamped a year back is outside the 90 days.
        QTest::newRow("a year behind, then put right")
            << month << Offsets{-365 * 24, -365 * 24 + 1, 1, 2} << 7;
        // A user back after months: believed once the new time holds.
        QTest::newRow("an old record ages out") << Offsets{200, 150, 100, 95, 50} << Offsets{0, 3, 7} << 4;
        QTest::newRow("ninety days") << Offsets{91, 89} << Offsets{0, 24} << 3;
    }
    void wrongClock() {
        QFETCH(Offsets, seeded);
        QFETCH(Offsets, readings);
        QFETCH(int, kept);
        {
            SqliteChargeStore seed(m_path, ChargeStore::Access::readWrite);
            QList<ChargePoint> points;
            for (qsizetype i = 0; i < seeded.size(); ++i)
                points << mouseAt(m_now - seeded.at(i) * day, 100 - i);
            QVERIFY(seed.open() && seed.append(points));
        }
        {
            const std::unique_ptr<ChargeHistory> history = opened();
            QVERIFY(history);
            QSignalSpy recorded(history.get(), &ChargeHistory::recorded);
            for (qsizetype i = 0; i < readings.size(); ++i) {
                history->record({mouse(50 - i)}, m_now + readings.at(i) * hour);
                QVERIFY(recorded.wait(10000));
            }
        }
        // Opened again, as after a restart, and read back.
        QVERIFY(opened());
        QCOMPARE(times(m_path).size(), kept);
    }

    void lockedFile_data() {
        QTest::addColumn<int>("readingsWhileLocked");
        QTest::addColumn<bool>("atStart");
        QTest::newRow("locked while running") << 3 << false;
        QTest::newRow("locked at start") << 2 << true;
    }
    void lockedFile() {
        QFETCH(int, readingsWhileLocked);
        QFETCH(bool, atStart);
        {
            SqliteChargeStore seed(m_path, ChargeStore::Access::readWrite);
            QVERIFY(seed.open() && seed.append({mouseAt(m_now - day, 100)}));
        }
        std::unique_ptr<ChargeHistory> history;
        std::optional<Lock> lock;
        if (!atStart)
            QVERIFY(history = opened());
        lock.emplace(m_path);
        QVERIFY(lock->isHeld());
        if (atStart)
            QVERIFY(history = opened());
        for (int i = 0; i < readingsWhileLocked; ++i) {
            history->record({mouse(90 - i)}, m_now + i * 60000);
            QTest::qWait(500);
        }
        QTest::qWait(2500);
        lock->release();
        QTRY_COMPARE_WITH_TIMEOUT(times(m_path).size(), 1 + readingsWhileLocked, 20000);
        // Said once, however often it was tried.
        const QStringList said = logEntries().filter("database is locked");
        QVERIFY2(said.size() <= 1, qPrintable(said.join('\n')));
    }

    void restsBetweenWrites() {
        const std::unique_ptr<ChargeHistory> history = opened();
        QVERIFY(history);
        QSignalSpy recorded(history.get(), &ChargeHistory::recorded);
        for (int i = 0; i < 2; ++i) {
            history->record({mouse(90 - i)}, m_now + i * 60000);
            QVERIFY(recorded.wait(10000));
            // Nothing left to do: the connection closed, its journal folded back into the file.
            QTRY_VERIFY(!QFileInfo::exists(m_path + "-wal"));
            QCOMPARE(times(m_path).size(), i + 1);
        }
    }

    void openedLater() {
        // The folder cannot be made at start (a file stands in its place).
        QFile blocker(QFileInfo(m_path).absolutePath() + "/record");
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        m_path = blocker.fileName() + "/history.sqlite";
        const std::unique_ptr<ChargeHistory> history = opened();
        QVERIFY(history);
        history->record({mouse(90)}, m_now);
        QTest::qWait(500);
        history->record({mouse(89)}, m_now + 60000);
        QTest::qWait(500);
        QVERIFY(blocker.remove());
        history->record({mouse(88)}, m_now + 120000);
        QTRY_COMPARE_WITH_TIMEOUT(times(m_path).size(), 3, 15000);
        QCOMPARE(logEntries().filter("cannot create the folder").size(), 1);
    }

    void othersFile_data() {
        QTest::addColumn<QStringList>("statements");
        QTest::addColumn<bool>("viaSymlink");
        QTest::addColumn<bool>("ours");
        const QStringList notes{"CREATE TABLE notes (text TEXT)", "INSERT INTO notes VALUES ('keep me')"};
        QTest::newRow("another program's database") << notes << false << false;
        QTest::newRow("another program's database through a symlink") << notes << true << false;
        QTest::newRow("another program's, marked as its own")
            << QStringList{"PRAGMA application_id = 42", "CREATE TABLE readings (x)"} << false << false;
        QTest::newRow("an empty database") << QStringList{} << false << true;
        // Written before the record was marked.
        QTest::newRow("an unmarked record of ours")
            << QStringList{"CREATE TABLE readings (device_id TEXT NOT NULL, time INTEGER NOT NULL, name TEXT "
                           "NOT "
                           "NULL, kind TEXT NOT NULL, percent INTEGER, connected INTEGER NOT NULL)",
                           "PRAGMA user_version = 1"}
            << false << true;
    }
    void othersFile() {
        QFETCH(QStringList, statements);
        QFETCH(bool, viaSymlink);
        QFETCH(bool, ours);
        const QString file = viaSymlink ? m_path + ".elsewhere" : m_path;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "other");
            db.setDatabaseName(file);
            QVERIFY(db.open());
            for (const QString& statement : statements)
                QVERIFY2(QSqlQuery(db).exec(statement), qPrintable(statement));
            db.close();
        }
        QSqlDatabase::removeDatabase("other");
        if (viaSymlink)
            QVERIFY(QFile::link(file, m_path));
        QFile original(file);
        QVERIFY(original.open(QIODevice::ReadOnly));
        const QByteArray before = original.readAll();
        original.close();

        {
            const std::unique_ptr<ChargeHistory> history = opened();
            QVERIFY(history);
            QSignalSpy recorded(history.get(), &ChargeHistory::recorded);
            history->record({mouse(80)}, m_now);
            QCOMPARE(recorded.wait(ours ? 10000 : 1500), ours);
        }
        QCOMPARE(times(m_path).size(), ours ? 1 : 0);
        const QStringList beside =
            QDir(QFileInfo(m_path).absolutePath()).entryList(QDir::Files | QDir::System);
        if (!ours) {
            QVERIFY(original.open(QIODevice::ReadOnly));
            QCOMPARE(original.readAll(), before);
            QCOMPARE(beside.filter("-wal").size() + beside.filter("corrupt").size(), 0);
            QCOMPARE(logEntries().filter("is not a charge record of Voltwren's").size(), 1);
        }
    }
};

QTEST_GUILESS_MAIN(ChargeHistoryTest)
#include "tst_chargehistory.moc"
