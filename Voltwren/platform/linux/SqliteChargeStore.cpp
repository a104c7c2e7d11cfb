#include "SqliteChargeStore.h"

#include <QAtomicInteger>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUrl>
#include <QVariant>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// Statements that make schema version 1 from an empty file. A later version
// adds its own steps after these, so every file walks the same road.
const char* const schemaVersion1[] = {
    "CREATE TABLE readings (device_id TEXT NOT NULL, time INTEGER NOT NULL, name TEXT NOT NULL, "
    "kind TEXT NOT NULL, percent INTEGER, connected INTEGER NOT NULL)",
    "CREATE INDEX readings_by_device ON readings (device_id, time)",
    "CREATE INDEX readings_by_time ON readings (time)",
};

// A writer that waits longer than this for a reader gives up.
constexpr int busyTimeoutMs = 2000;
// The record is written a row at a time and read whole only now and then:
// a small page cache does, in a program that runs all day.
constexpr int cacheKilobytes = 256;

QString nextConnectionName() {
    static QAtomicInteger<int> counter;
    return QStringLiteral("voltwren-charge-record-%1").arg(counter.fetchAndAddRelaxed(1));
}

// The file is not a database, or one whose pages do not add up.
bool isDamage(const QSqlError& error) {
    const int code = error.nativeErrorCode().toInt() & 0xff;
    return code == 11 /* SQLITE_CORRUPT */ || code == 26 /* SQLITE_NOTADB */;
}

// Why PATH cannot hold a record, or nothing when it can (absent included).
// Only a regular file is opened: SQLite blocks on a FIFO.
std::optional<QString> notARegularFile(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    struct stat info {};
    if (::stat(native.constData(), &info) == 0)
        return S_ISREG(info.st_mode)   ? std::nullopt
               : S_ISDIR(info.st_mode) ? std::optional<QString>(QStringLiteral("it is a folder"))
                                       : std::optional<QString>(QStringLiteral("it is not a regular file"));
    struct stat link {};
    if (::lstat(native.constData(), &link) == 0)
        return QStringLiteral("it is a symlink to nothing");
    return std::nullopt;
}

QString describe(const QSqlError& error) {
    const QString text = error.text().trimmed();
    return text.isEmpty() ? QStringLiteral("unknown error") : text;
}

} // namespace

std::unique_ptr<ChargeStore> makeChargeStore(const QString& path, ChargeStore::Access access) {
    return std::make_unique<SqliteChargeStore>(path, access);
}

SqliteChargeStore::SqliteChargeStore(QString path, Access access)
    : m_path(std::move(path))
    , m_access(access)
    , m_connection(nextConnectionName()) {}

SqliteChargeStore::~SqliteChargeStore() {
    close();
}

void SqliteChargeStore::close() {
    if (QSqlDatabase::contains(m_connection)) {
        QSqlDatabase::database(m_connection, false).close();
        QSqlDatabase::removeDatabase(m_connection);
    }
    m_isOpen = false;
    m_copy.reset();
}

bool SqliteChargeStore::open() {
    close();
    QString problem;
    const Outcome outcome = openFile(&problem);
    if (outcome == Outcome::ok)
        return true;
    if (outcome == Outcome::damaged && m_access == Access::readWrite)
        return startAfresh(problem);
    reportProblem(problem);
    close();
    return false;
}

SqliteChargeStore::Outcome SqliteChargeStore::openFile(QString* problem) {
    if (m_access == Access::readWrite && !QDir().mkpath(QFileInfo(m_path).absolutePath())) {
        *problem = QStringLiteral("ChargeHistory: cannot create the folder of %1; not recording").arg(m_path);
        return Outcome::unusable;
    }
    if (const std::optional<QString> why = notARegularFile(m_path)) {
        *problem = QStringLiteral("ChargeHistory: cannot use %1: %2").arg(m_path, *why);
        return Outcome::unusable;
    }
    QString target = m_path;
    QString options = QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(busyTimeoutMs);
    if (m_access == Access::readOnly) {
        const std::optional<QString> reader = readerTarget(problem);
        if (!reader)
            return Outcome::unusable;
        target = *reader;
        options += QStringLiteral(";QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI");
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    if (!db.isValid()) {
        *problem = QStringLiteral("ChargeHistory: Qt's SQLite driver is missing; not recording");
        return Outcome::unusable;
    }
    db.setDatabaseName(target);
    db.setConnectOptions(options);
    if (!db.open()) {
        *problem = QStringLiteral("ChargeHistory: cannot open %1 (%2)").arg(m_path, describe(db.lastError()));
        return Outcome::damaged;
    }
    m_isOpen = true;
    return prepareSchema(problem);
}

std::optional<QString> SqliteChargeStore::readerTarget(QString* problem) {
    const QString absolute = QFileInfo(m_path).absoluteFilePath();
    const auto uri = [](const QString& path, const char* query) {
        return QStringLiteral("file:") + QString::fromLatin1(QUrl::toPercentEncoding(path, "/")) +
               QLatin1String(query);
    };
    const QString folder = QFileInfo(absolute).absolutePath();
    if (::access(QFile::encodeName(folder).constData(), W_OK) == 0 ||
        QFileInfo::exists(absolute + QStringLiteral("-shm")))
        return uri(absolute, "");
    // Nothing waits in the journal: the file alone is the whole record.
    if (QFileInfo(absolute + QStringLiteral("-wal")).size() == 0)
        return uri(absolute, "?immutable=1");
    // Readings still in the journal: read a copy of both where SQLite may
    // write its index.
    m_copy = std::make_unique<QTemporaryDir>();
    const QString copy = m_copy->filePath(QStringLiteral("history.sqlite"));
    if (!m_copy->isValid() || !QFile::copy(absolute, copy) ||
        !QFile::copy(absolute + QStringLiteral("-wal"), copy + QStringLiteral("-wal"))) {
        *problem = QStringLiteral("ChargeHistory: cannot read %1: its folder is read-only and its journal "
                                  "cannot be copied elsewhere")
                       .arg(m_path);
        return std::nullopt;
    }
    return uri(copy, "");
}

SqliteChargeStore::Outcome SqliteChargeStore::prepareSchema(QString* problem) {
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    const auto failed = [&](const QString& doing) {
        *problem = QStringLiteral("ChargeHistory: cannot %1 %2 (%3)")
                       .arg(doing, m_path, describe(query.lastError()));
        return isDamage(query.lastError()) ? Outcome::damaged : Outcome::unusable;
    };
    const auto number = [&](const QString& pragma) -> std::optional<int> {
        if (!query.exec(QStringLiteral("PRAGMA ") + pragma) || !query.next())
            return std::nullopt;
        return query.value(0).toInt();
    };
    // Nothing is written before the file is known to be ours (or empty).
    const std::optional<int> application = number(QStringLiteral("application_id"));
    const std::optional<int> version = number(QStringLiteral("user_version"));
    if (!application || !version)
        return failed(QStringLiteral("read"));
    QStringList tables;
    if (!query.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name")))
        return failed(QStringLiteral("read"));
    while (query.next())
        tables << query.value(0).toString();
    const bool empty = *application == 0 && *version == 0 && tables.isEmpty();
    // A record from before the mark: our one table, at our version.
    const bool unmarked =
        *application == 0 && *version >= 1 && tables == QStringList{QStringLiteral("readings")};
    if (*application != applicationID && !empty && !unmarked) {
        *problem = QStringLiteral("ChargeHistory: %1 is not a charge record of Voltwren's (another program's "
                                  "database?); leaving it alone and not recording")
                       .arg(m_path);
        return Outcome::unusable;
    }
    if (*version > schemaVersion) {
        *problem = QStringLiteral("ChargeHistory: %1 was written by a later version of Voltwren (schema %2); "
                                  "leaving it alone and not recording")
                       .arg(m_path)
                       .arg(*version);
        return Outcome::unusable;
    }
    if (m_access == Access::readOnly) {
        if (!query.exec(QStringLiteral("PRAGMA cache_size=-%1").arg(cacheKilobytes)))
            return failed(QStringLiteral("read"));
        if (*version == schemaVersion)
            return Outcome::ok;
        *problem = QStringLiteral("ChargeHistory: %1 holds no charge record yet").arg(m_path);
        return Outcome::unusable;
    }
    // WAL: a reader never blocks the writer, and a kill mid-write loses at
    // most that write. NORMAL syncs at checkpoints, not every commit.
    if (!query.exec(QStringLiteral("PRAGMA journal_mode=WAL")) ||
        !query.exec(QStringLiteral("PRAGMA synchronous=NORMAL")) ||
        !query.exec(QStringLiteral("PRAGMA cache_size=-%1").arg(cacheKilobytes)))
        return failed(QStringLiteral("read"));
    if (!query.exec(QStringLiteral("PRAGMA quick_check")) || !query.next())
        return failed(QStringLiteral("check"));
    if (query.value(0).toString() != QLatin1String("ok")) {
        *problem = QStringLiteral("ChargeHistory: %1 is damaged (%2)").arg(m_path, query.value(0).toString());
        return Outcome::damaged;
    }
    if (*version == schemaVersion && *application == applicationID)
        return Outcome::ok;
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!db.transaction())
        return failed(QStringLiteral("write"));
    if (empty) {
        for (const char* statement : schemaVersion1) {
            if (!query.exec(QString::fromLatin1(statement))) {
                const Outcome outcome = failed(QStringLiteral("set up"));
                db.rollback();
                return outcome;
            }
        }
    }
    if (!query.exec(QStringLiteral("PRAGMA user_version = %1").arg(schemaVersion)) ||
        !query.exec(QStringLiteral("PRAGMA application_id = %1").arg(applicationID)) || !db.commit()) {
        const Outcome outcome = failed(QStringLiteral("set up"));
        db.rollback();
        return outcome;
    }
    return Outcome::ok;
}

bool SqliteChargeStore::startAfresh(const QString& problem) {
    close();
    if (m_freshlyStarted) {
        reportProblem(problem + QStringLiteral("; it was only just started, so not recording"));
        return false;
    }
    const std::optional<QString> target = moveAside();
    if (!target) {
        reportProblem(problem + QStringLiteral("; could not move it aside, so not recording"));
        return false;
    }
    reportProblem(problem + QStringLiteral("; moved it to %1 and started a new one").arg(*target));
    m_freshlyStarted = true;
    QString again;
    if (openFile(&again) == Outcome::ok)
        return true;
    reportProblem(again + QStringLiteral("; not recording"));
    close();
    return false;
}

std::optional<QString> SqliteChargeStore::moveAside() {
    const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    const QString base = m_path + QStringLiteral(".corrupt-") + stamp;
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const QString target = attempt == 0 ? base : base + QLatin1Char('-') + QString::number(attempt);
        if (QFileInfo::exists(target) || QFileInfo::exists(target + QStringLiteral("-wal")))
            continue;
        if (QFileInfo::exists(m_path) && !QFile::rename(m_path, target))
            return std::nullopt;
        // A journal left beside a new file would be played into it.
        for (const QString& suffix : {QStringLiteral("-wal"), QStringLiteral("-shm")}) {
            if (QFileInfo::exists(m_path + suffix) && !QFile::rename(m_path + suffix, target + suffix))
                QFile::remove(m_path + suffix);
        }
        return target;
    }
    return std::nullopt;
}

bool SqliteChargeStore::recoverFrom(const QSqlError& error, const QString& doing) {
    if (isDamage(error) && m_access == Access::readWrite)
        return startAfresh(QStringLiteral("ChargeHistory: %1 is damaged (%2)").arg(m_path, describe(error)));
    // A full disk or a lost folder: said once, until a write works again.
    if (!m_failing)
        reportProblem(QStringLiteral("ChargeHistory: cannot %1 %2 (%3)").arg(doing, m_path, describe(error)));
    m_failing = true;
    return false;
}

void SqliteChargeStore::succeeded() {
    if (m_failing)
        reportProblem(QStringLiteral("ChargeHistory: writing to %1 works again").arg(m_path));
    m_failing = false;
    m_freshlyStarted = false;
}

bool SqliteChargeStore::append(const QList<ChargePoint>& points) {
    // A second try goes to the new file when the first found the old one damaged.
    for (int attempt = 0; attempt < 2 && m_isOpen; ++attempt) {
        const std::optional<QSqlError> error = write(points);
        if (!error) {
            succeeded();
            return true;
        }
        if (!recoverFrom(*error, QStringLiteral("write to")))
            return false;
    }
    return false;
}

std::optional<QSqlError> SqliteChargeStore::write(const QList<ChargePoint>& points) {
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!db.transaction())
        return db.lastError();
    QSqlQuery insert(db);
    bool ok = insert.prepare(QStringLiteral("INSERT INTO readings (device_id, time, name, kind, percent, "
                                            "connected) VALUES (?, ?, ?, ?, ?, ?)"));
    for (qsizetype i = 0; ok && i < points.size(); ++i) {
        const ChargePoint& point = points.at(i);
        insert.addBindValue(point.deviceID);
        insert.addBindValue(point.time);
        insert.addBindValue(point.name);
        insert.addBindValue(rawValue(point.kind));
        insert.addBindValue(point.percent ? QVariant(*point.percent)
                                          : QVariant(QMetaType::fromType<qint64>()));
        insert.addBindValue(point.connected ? 1 : 0);
        ok = insert.exec();
    }
    if (!ok) {
        const QSqlError error = insert.lastError();
        insert.finish();
        db.rollback();
        return error;
    }
    insert.finish();
    if (db.commit())
        return std::nullopt;
    const QSqlError error = db.lastError();
    db.rollback();
    return error;
}

bool SqliteChargeStore::removeBefore(qint64 time) {
    if (!m_isOpen)
        return false;
    const std::optional<QSqlError> error = [&]() -> std::optional<QSqlError> {
        QSqlQuery remove(QSqlDatabase::database(m_connection, false));
        remove.prepare(QStringLiteral("DELETE FROM readings WHERE time < ?"));
        remove.addBindValue(time);
        if (remove.exec())
            return std::nullopt;
        return remove.lastError();
    }();
    // A new file started in place of a damaged one has nothing old in it.
    return !error || recoverFrom(*error, QStringLiteral("prune"));
}

bool SqliteChargeStore::select(const QString& statement, const QVariantList& bindings,
                               const std::function<void(const QSqlQuery&)>& row) {
    if (!m_isOpen)
        return false;
    const std::optional<QSqlError> error = [&]() -> std::optional<QSqlError> {
        QSqlQuery select(QSqlDatabase::database(m_connection, false));
        select.setForwardOnly(true);
        if (!select.prepare(statement))
            return select.lastError();
        for (const QVariant& value : bindings)
            select.addBindValue(value);
        if (!select.exec())
            return select.lastError();
        while (select.next())
            row(select);
        if (select.lastError().isValid())
            return select.lastError();
        select.finish();
        // What a long read brought into the cache is not needed again soon.
        select.exec(QStringLiteral("PRAGMA shrink_memory"));
        return std::nullopt;
    }();
    if (!error)
        return true;
    recoverFrom(*error, QStringLiteral("read"));
    return false;
}

namespace {

const QString pointColumns =
    QStringLiteral("SELECT device_id, name, kind, time, percent, connected FROM readings ");

ChargePoint pointAt(const QSqlQuery& select) {
    ChargePoint point;
    point.deviceID = select.value(0).toString();
    point.name = select.value(1).toString();
    point.kind = deviceKindFromRawValue(select.value(2).toString()).value_or(DeviceKind::otherAccessory);
    point.time = select.value(3).toLongLong();
    if (!select.isNull(4))
        point.percent = select.value(4).toLongLong();
    point.connected = select.value(5).toInt() != 0;
    return point;
}

} // namespace

bool SqliteChargeStore::visit(qint64 from, const std::function<void(const ChargePoint&)>& visit) {
    return select(pointColumns + QStringLiteral("WHERE time >= ? ORDER BY device_id, time, rowid"), {from},
                  [&visit](const QSqlQuery& row) { visit(pointAt(row)); });
}

bool SqliteChargeStore::visitByTime(qint64 from, const QStringList& deviceIDs,
                                    const std::function<void(const ChargePoint&)>& visit) {
    QVariantList bindings;
    QString where = QStringLiteral("WHERE time >= ? ");
    bindings << from;
    if (!deviceIDs.isEmpty()) {
        QStringList marks;
        for (const QString& id : deviceIDs) {
            marks << QStringLiteral("?");
            bindings << id;
        }
        where += QStringLiteral("AND device_id IN (") + marks.join(QLatin1Char(',')) + QStringLiteral(") ");
    }
    return select(pointColumns + where + QStringLiteral("ORDER BY time, device_id, rowid"), bindings,
                  [&visit](const QSqlQuery& row) { visit(pointAt(row)); });
}

bool SqliteChargeStore::visitWrittenTimes(const std::function<void(qint64)>& visit) {
    return select(QStringLiteral("SELECT time FROM readings ORDER BY rowid"), {},
                  [&visit](const QSqlQuery& row) { visit(row.value(0).toLongLong()); });
}

std::optional<QList<ChargeStore::Device>> SqliteChargeStore::devices() {
    // One step through the index per device, however many readings each has.
    QList<Device> found;
    const bool read =
        select(QStringLiteral("WITH RECURSIVE ids(id) AS ("
                              "SELECT (SELECT device_id FROM readings ORDER BY device_id LIMIT 1) "
                              "UNION ALL SELECT (SELECT device_id FROM readings WHERE device_id > ids.id "
                              "ORDER BY device_id LIMIT 1) FROM ids WHERE ids.id IS NOT NULL) "
                              "SELECT id, (SELECT name FROM readings WHERE device_id = ids.id "
                              "ORDER BY time DESC, rowid DESC LIMIT 1) FROM ids WHERE id IS NOT NULL"),
               {}, [&found](const QSqlQuery& row) {
                   found.append({row.value(0).toString(), row.value(1).toString()});
               });
    return read ? std::optional<QList<Device>>(found) : std::nullopt;
}
