#include "platform/linux/SqliteChargeStore.h"

#include <QDir>
#include <QFile>
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

} // namespace

// What happens to the file under a running record: damage found while
// writing, and a file from a later version.
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
