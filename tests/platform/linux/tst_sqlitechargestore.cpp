#include "platform/linux/SqliteChargeStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

namespace {

ChargePoint reading(qint64 time, qint64 percent) {
    return ChargePoint{"mouse", "Desk Mouse", DeviceKind::mouse, time, percent, true};
}

QList<qint64> charges(SqliteChargeStore& store) {
    QList<qint64> found;
    store.visit(0, [&found](const ChargePoint& point) { found << *point.percent; });
    return found;
}

bool sqliteMapped() {
    QFile maps("/proc/self/maps");
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("libsqlite3");
}

} // namespace

// What happens to the file under a running record: damage found while
// writing, a record at rest while its file changes, and a file from a
// later version.
class SqliteChargeStoreTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void damagedWhileOpenIsReplacedAndTheWriteKept() {
        QTemporaryDir dir;
        const QString path = dir.filePath("history.sqlite");
        SqliteChargeStore store(path, ChargeStore::Access::readWrite);
        QStringList problems;
        store.problemReporter = [&problems](const QString& problem) { problems << problem; };
        QVERIFY(store.open());
        QVERIFY(store.append({reading(1000, 90)}));

        // Something else writes over the file and its journal while the record has them open.
        for (const QString& name : {path, path + "-wal", path + "-shm"}) {
            QFile file(name);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.write(QByteArray(32768, 'x')) == 32768);
        }

        QVERIFY(store.append({reading(2000, 80)}));
        QCOMPARE(charges(store), QList<qint64>{80});
        QCOMPARE(problems.size(), 1);
        QVERIFY2(problems.constFirst().contains("moved it to " + path + ".corrupt-"),
                 qPrintable(problems.join('\n')));
        QCOMPARE(QDir(dir.path()).entryList({"history.sqlite.corrupt-*"}).size(), 1);
    }

    void resting_data() {
        QTest::addColumn<QString>("meanwhile");
        QTest::addColumn<QList<qint64>>("kept");
        QTest::addColumn<QString>("said");
        QTest::newRow("nothing") << "" << QList<qint64>{90, 80} << "";
        QTest::newRow("file removed") << "remove" << QList<qint64>{80} << "";
        QTest::newRow("file damaged") << "damage" << QList<qint64>{80} << "moved it to";
        // (Last: Qt SQL, which writes the other file, keeps SQLite loaded.)
        QTest::newRow("another program's file") << "foreign" << QList<qint64>{} << "not a charge record";
    }

    void resting() {
        QFETCH(QString, meanwhile);
        QFETCH(QList<qint64>, kept);
        QFETCH(QString, said);
        QTemporaryDir dir;
        const QString path = dir.filePath("history.sqlite");
        const bool loadedBefore = sqliteMapped();
        SqliteChargeStore store(path, ChargeStore::Access::readWrite);
        QStringList problems;
        store.problemReporter = [&problems](const QString& problem) { problems << problem; };
        QVERIFY(store.open() && store.append({reading(1000, 90)}));
        QVERIFY(QFileInfo::exists(path + "-wal"));

        // No connection: the journal is folded back in, SQLite let go.
        store.rest();
        QVERIFY(store.isOpen());
        QVERIFY(!QFileInfo::exists(path + "-wal"));
        if (!loadedBefore)
            QVERIFY(!sqliteMapped());

        if (meanwhile == "remove") {
            QVERIFY(QFile::remove(path));
        } else if (meanwhile == "damage") {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(QByteArray(32768, 'x')) == 32768);
        } else if (meanwhile == "foreign") {
            QVERIFY(QFile::remove(path));
            {
                QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "foreign");
                db.setDatabaseName(path);
                QVERIFY(db.open() && QSqlQuery(db).exec("CREATE TABLE notes (text)"));
                db.close();
            }
            QSqlDatabase::removeDatabase("foreign");
        }
        QCOMPARE(store.append({reading(2000, 80)}), !kept.isEmpty());
        QCOMPARE(charges(store), kept);
        if (said.isEmpty())
            QVERIFY2(problems.isEmpty(), qPrintable(problems.join('\n')));
        else
            QVERIFY2(problems.join('\n').contains(said), qPrintable(problems.join('\n')));
    }

    void laterVersionIsLeftAlone() {
        QTemporaryDir dir;
        const QString path = dir.filePath("history.sqlite");
        {
            SqliteChargeStore store(path, ChargeStore::Access::readWrite);
            QVERIFY(store.open() && store.append({reading(1000, 90)}));
        }
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "later");
            db.setDatabaseName(path);
            QVERIFY(db.open());
            QVERIFY(QSqlQuery(db).exec("PRAGMA user_version = 2"));
            db.close();
        }
        QSqlDatabase::removeDatabase("later");

        SqliteChargeStore store(path, ChargeStore::Access::readWrite);
        QStringList problems;
        store.problemReporter = [&problems](const QString& problem) { problems << problem; };
        QVERIFY(!store.open());
        QVERIFY(!store.append({reading(2000, 80)}));
        QVERIFY2(problems.join('\n').contains("later version of Voltwren (schema 2)"),
                 qPrintable(problems.join('\n')));
        QCOMPARE(QDir(dir.path()).entryList({"history.sqlite*"}), QStringList{"history.sqlite"});
    }
};

QTEST_GUILESS_MAIN(SqliteChargeStoreTest)
#include "tst_sqlitechargestore.moc"
