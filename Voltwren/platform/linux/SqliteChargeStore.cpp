#include "SqliteChargeStore.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QTemporaryDir>
#include <QUrl>
#include <QVariant>

#include <dlfcn.h>
#include <sqlite3.h>
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

// The part of SQLite the record uses, loaded while a connection is open.
struct Sqlite {
    decltype(&sqlite3_open_v2) open;
    decltype(&sqlite3_close_v2) close;
    decltype(&sqlite3_busy_timeout) busyTimeout;
    decltype(&sqlite3_prepare_v2) prepare;
    decltype(&sqlite3_step) step;
    decltype(&sqlite3_finalize) finalize;
    decltype(&sqlite3_bind_int64) bindInteger;
    decltype(&sqlite3_bind_text) bindText;
    decltype(&sqlite3_bind_null) bindNull;
    decltype(&sqlite3_column_type) columnType;
    decltype(&sqlite3_column_int64) columnInteger;
    decltype(&sqlite3_column_text) columnText;
    decltype(&sqlite3_column_bytes) columnBytes;
    decltype(&sqlite3_extended_errcode) errorCode;
    decltype(&sqlite3_errmsg) errorMessage;
    decltype(&sqlite3_errstr) errorString;
};

QMutex sqliteLock;
int sqliteUsers = 0;
void* sqliteHandle = nullptr;
Sqlite sqlite;

// SQLite for one more connection; false when it cannot be loaded.
bool acquireSqlite() {
    const QMutexLocker locker(&sqliteLock);
    if (sqliteUsers > 0) {
        ++sqliteUsers;
        return true;
    }
    sqliteHandle = ::dlopen("libsqlite3.so.0", RTLD_NOW | RTLD_LOCAL);
    if (!sqliteHandle)
        return false;
    bool resolved = true;
    const auto resolve = [&resolved](auto& function, const char* name) {
        function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(::dlsym(sqliteHandle, name));
        resolved = resolved && function;
    };
    resolve(sqlite.open, "sqlite3_open_v2");
    resolve(sqlite.close, "sqlite3_close_v2");
    resolve(sqlite.busyTimeout, "sqlite3_busy_timeout");
    resolve(sqlite.prepare, "sqlite3_prepare_v2");
    resolve(sqlite.step, "sqlite3_step");
    resolve(sqlite.finalize, "sqlite3_finalize");
    resolve(sqlite.bindInteger, "sqlite3_bind_int64");
    resolve(sqlite.bindText, "sqlite3_bind_text");
    resolve(sqlite.bindNull, "sqlite3_bind_null");
    resolve(sqlite.columnType, "sqlite3_column_type");
    resolve(sqlite.columnInteger, "sqlite3_column_int64");
    resolve(sqlite.columnText, "sqlite3_column_text");
    resolve(sqlite.columnBytes, "sqlite3_column_bytes");
    resolve(sqlite.errorCode, "sqlite3_extended_errcode");
    resolve(sqlite.errorMessage, "sqlite3_errmsg");
    resolve(sqlite.errorString, "sqlite3_errstr");
    if (!resolved) {
        ::dlclose(sqliteHandle);
        sqliteHandle = nullptr;
        return false;
    }
    sqliteUsers = 1;
    return true;
}

void releaseSqlite() {
    const QMutexLocker locker(&sqliteLock);
    if (--sqliteUsers == 0) {
        ::dlclose(sqliteHandle);
        sqliteHandle = nullptr;
    }
}

using Error = SqliteChargeStore::Error;
// Not one of SQLite's codes: the library itself could not be loaded.
constexpr int missingLibrary = -1;

// The file is not a database, or one whose pages do not add up.
bool isDamage(const Error& error) {
    const int code = error.code & 0xff;
    return code == SQLITE_CORRUPT || code == SQLITE_NOTADB;
}

Error errorOf(sqlite3* db, int code) {
    const char* message = db ? sqlite.errorMessage(db) : sqlite.errorString(code);
    return Error{db ? sqlite.errorCode(db) : code, QString::fromUtf8(message ? message : "")};
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

QString describe(const Error& error) {
    const QString text = error.text.trimmed();
    return text.isEmpty() ? QStringLiteral("unknown error") : text;
}

} // namespace

std::unique_ptr<ChargeStore> makeChargeStore(const QString& path, ChargeStore::Access access) {
    return std::make_unique<SqliteChargeStore>(path, access);
}

bool SqliteChargeStore::Row::isNull(int column) const {
    return sqlite.columnType(m_statement, column) == SQLITE_NULL;
}

qint64 SqliteChargeStore::Row::integer(int column) const {
    return sqlite.columnInteger(m_statement, column);
}

QString SqliteChargeStore::Row::text(int column) const {
    return QString::fromUtf8(utf8(column));
}

QByteArrayView SqliteChargeStore::Row::utf8(int column) const {
    const auto* text = reinterpret_cast<const char*>(sqlite.columnText(m_statement, column));
    return QByteArrayView(text, sqlite.columnBytes(m_statement, column));
}

SqliteChargeStore::SqliteChargeStore(QString path, Access access)
    : m_path(std::move(path))
    , m_access(access) {}

SqliteChargeStore::~SqliteChargeStore() {
    close();
}

void SqliteChargeStore::disconnect() {
    if (!m_db)
        return;
    // Every statement is finalized as it ends, so this closes at once.
    sqlite.close(m_db);
    m_db = nullptr;
    releaseSqlite();
}

void SqliteChargeStore::close() {
    disconnect();
    m_isOpen = false;
    m_resting = false;
    m_copy.reset();
}

void SqliteChargeStore::rest() {
    if (m_isOpen && m_db) {
        disconnect();
        m_resting = true;
    }
}

bool SqliteChargeStore::connect(Error* error) {
    disconnect();
    if (!acquireSqlite()) {
        const char* why = ::dlerror();
        *error = Error{missingLibrary, QString::fromLocal8Bit(why ? why : "libsqlite3.so.0")};
        return false;
    }
    const int flags = m_access == Access::readOnly ? SQLITE_OPEN_READONLY | SQLITE_OPEN_URI
                                                   : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    sqlite3* db = nullptr;
    const int code = sqlite.open(m_target.toUtf8().constData(), &db, flags, nullptr);
    if (code != SQLITE_OK) {
        *error = errorOf(db, code);
        if (db)
            sqlite.close(db);
        releaseSqlite();
        return false;
    }
    m_db = db;
    sqlite.busyTimeout(m_db, busyTimeoutMs);
    return true;
}

bool SqliteChargeStore::resume() {
    if (!m_resting)
        return m_isOpen;
    m_resting = false;
    Error error;
    if (connect(&error)) {
        // Still our file at our version (a folder emptied meanwhile would
        // give a new empty one): then only the connection's own settings.
        std::optional<qint64> application, version;
        const auto number = [&](const char* pragma, std::optional<qint64>* value) {
            return !run(QString::fromLatin1(pragma), {},
                        [value](const Row& row) { *value = row.integer(0); });
        };
        if (number("PRAGMA application_id", &application) && number("PRAGMA user_version", &version) &&
            application == applicationID && version == schemaVersion &&
            (m_access == Access::readOnly ||
             (!run(QStringLiteral("PRAGMA synchronous=NORMAL")) &&
              !run(QStringLiteral("PRAGMA cache_size=-%1").arg(cacheKilobytes)))))
            return true;
    }
    // Anything else is found out (and reported) by opening it all again.
    return open();
}

std::optional<SqliteChargeStore::Error> SqliteChargeStore::run(const QString& statement,
                                                               const QVariantList& bindings,
                                                               const std::function<void(const Row&)>& row) {
    if (!m_db)
        return Error{SQLITE_MISUSE, QStringLiteral("the record is not open")};
    sqlite3_stmt* prepared = nullptr;
    const QByteArray text = statement.toUtf8();
    int code = sqlite.prepare(m_db, text.constData(), int(text.size()), &prepared, nullptr);
    if (code != SQLITE_OK)
        return errorOf(m_db, code);
    for (int i = 0; code == SQLITE_OK && i < bindings.size(); ++i) {
        const QVariant& value = bindings.at(i);
        if (value.isNull()) {
            code = sqlite.bindNull(prepared, i + 1);
        } else if (value.typeId() == QMetaType::QString) {
            const QByteArray utf8 = value.toString().toUtf8();
            code = sqlite.bindText(prepared, i + 1, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
        } else {
            code = sqlite.bindInteger(prepared, i + 1, value.toLongLong());
        }
    }
    while (code == SQLITE_OK || code == SQLITE_ROW) {
        code = sqlite.step(prepared);
        if (code == SQLITE_ROW && row)
            row(Row(prepared));
    }
    std::optional<Error> error;
    if (code != SQLITE_DONE)
        error = errorOf(m_db, code);
    sqlite.finalize(prepared);
    return error;
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
    m_target = m_path;
    if (m_access == Access::readOnly) {
        const std::optional<QString> reader = readerTarget(problem);
        if (!reader)
            return Outcome::unusable;
        m_target = *reader;
    }
    Error error;
    if (!connect(&error)) {
        if (error.code == missingLibrary) {
            *problem =
                QStringLiteral("ChargeHistory: SQLite cannot be loaded (%1); not recording").arg(error.text);
            return Outcome::unusable;
        }
        *problem = QStringLiteral("ChargeHistory: cannot open %1 (%2)").arg(m_path, describe(error));
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
    std::optional<Error> error;
    const auto failed = [&](const QString& doing) {
        *problem = QStringLiteral("ChargeHistory: cannot %1 %2 (%3)").arg(doing, m_path, describe(*error));
        return isDamage(*error) ? Outcome::damaged : Outcome::unusable;
    };
    const auto number = [&](const QString& pragma) -> std::optional<int> {
        std::optional<int> value;
        error =
            run(QStringLiteral("PRAGMA ") + pragma, {}, [&value](const Row& row) { value = row.integer(0); });
        if (!error && !value)
            error = Error{SQLITE_ERROR, QStringLiteral("no answer to PRAGMA ") + pragma};
        return error ? std::nullopt : value;
    };
    // Nothing is written before the file is known to be ours (or empty).
    const std::optional<int> application = number(QStringLiteral("application_id"));
    if (!application)
        return failed(QStringLiteral("read"));
    const std::optional<int> version = number(QStringLiteral("user_version"));
    if (!version)
        return failed(QStringLiteral("read"));
    QStringList tables;
    error = run(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name"), {},
                [&tables](const Row& row) { tables << row.text(0); });
    if (error)
        return failed(QStringLiteral("read"));
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
        if ((error = run(QStringLiteral("PRAGMA cache_size=-%1").arg(cacheKilobytes))))
            return failed(QStringLiteral("read"));
        if (*version == schemaVersion)
            return Outcome::ok;
        *problem = QStringLiteral("ChargeHistory: %1 holds no charge record yet").arg(m_path);
        return Outcome::unusable;
    }
    // WAL: a reader never blocks the writer, and a kill mid-write loses at
    // most that write. NORMAL syncs at checkpoints, not every commit.
    for (const QString& pragma :
         {QStringLiteral("PRAGMA journal_mode=WAL"), QStringLiteral("PRAGMA synchronous=NORMAL"),
          QStringLiteral("PRAGMA cache_size=-%1").arg(cacheKilobytes)}) {
        if ((error = run(pragma)))
            return failed(QStringLiteral("read"));
    }
    QString check;
    if ((error = run(QStringLiteral("PRAGMA quick_check"), {},
                     [&check](const Row& row) { check = check.isEmpty() ? row.text(0) : check; })))
        return failed(QStringLiteral("check"));
    if (check != QLatin1String("ok")) {
        *problem = QStringLiteral("ChargeHistory: %1 is damaged (%2)").arg(m_path, check);
        return Outcome::damaged;
    }
    if (*version == schemaVersion && *application == applicationID)
        return Outcome::ok;
    if ((error = run(QStringLiteral("BEGIN"))))
        return failed(QStringLiteral("write"));
    QStringList steps;
    if (empty) {
        for (const char* statement : schemaVersion1)
            steps << QString::fromLatin1(statement);
    }
    steps << QStringLiteral("PRAGMA user_version = %1").arg(schemaVersion)
          << QStringLiteral("PRAGMA application_id = %1").arg(applicationID) << QStringLiteral("COMMIT");
    for (const QString& step : std::as_const(steps)) {
        if ((error = run(step))) {
            const Outcome outcome = failed(QStringLiteral("set up"));
            run(QStringLiteral("ROLLBACK"));
            return outcome;
        }
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

bool SqliteChargeStore::recoverFrom(const Error& error, const QString& doing) {
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
    for (int attempt = 0; attempt < 2 && resume(); ++attempt) {
        const std::optional<Error> error = write(points);
        if (!error) {
            succeeded();
            return true;
        }
        if (!recoverFrom(*error, QStringLiteral("write to")))
            return false;
    }
    return false;
}

std::optional<SqliteChargeStore::Error> SqliteChargeStore::write(const QList<ChargePoint>& points) {
    if (std::optional<Error> error = run(QStringLiteral("BEGIN")))
        return error;
    const QString insert = QStringLiteral("INSERT INTO readings (device_id, time, name, kind, percent, "
                                          "connected) VALUES (?, ?, ?, ?, ?, ?)");
    for (const ChargePoint& point : points) {
        const std::optional<Error> error =
            run(insert, {point.deviceID, point.time, point.name, rawValue(point.kind),
                         point.percent ? QVariant(*point.percent) : QVariant(), point.connected ? 1 : 0});
        if (error) {
            run(QStringLiteral("ROLLBACK"));
            return error;
        }
    }
    const std::optional<Error> error = run(QStringLiteral("COMMIT"));
    if (error)
        run(QStringLiteral("ROLLBACK"));
    return error;
}

bool SqliteChargeStore::removeBefore(qint64 time) {
    if (!resume())
        return false;
    const std::optional<Error> error = run(QStringLiteral("DELETE FROM readings WHERE time < ?"), {time});
    // A new file started in place of a damaged one has nothing old in it.
    return !error || recoverFrom(*error, QStringLiteral("prune"));
}

bool SqliteChargeStore::select(const QString& statement, const QVariantList& bindings,
                               const std::function<void(const Row&)>& row) {
    if (!resume())
        return false;
    const std::optional<Error> error = run(statement, bindings, row);
    if (!error) {
        // What a long read brought into the cache is not needed again soon.
        run(QStringLiteral("PRAGMA shrink_memory"));
        return true;
    }
    recoverFrom(*error, QStringLiteral("read"));
    return false;
}

namespace {

const QString pointColumns =
    QStringLiteral("SELECT device_id, name, kind, time, percent, connected FROM readings ");

// A month of rows names a handful of devices: each point shares the text
// of the row before when it is the same, rather than holding a copy.
class PointReader {
public:
    ChargePoint operator()(const SqliteChargeStore::Row& row) {
        ChargePoint point;
        point.deviceID = m_id.read(row, 0);
        point.name = m_name.read(row, 1);
        point.kind = deviceKindFromRawValue(m_kind.read(row, 2)).value_or(DeviceKind::otherAccessory);
        point.time = row.integer(3);
        if (!row.isNull(4))
            point.percent = row.integer(4);
        point.connected = row.integer(5) != 0;
        return point;
    }

private:
    struct Column {
        QByteArray bytes;
        QString text;

        const QString& read(const SqliteChargeStore::Row& row, int column) {
            const QByteArrayView now = row.utf8(column);
            if (now != bytes || text.isNull()) {
                bytes = now.toByteArray();
                text = QString::fromUtf8(now);
            }
            return text;
        }
    };
    Column m_id, m_name, m_kind;
};

} // namespace
bool SqliteChargeStore::visit(qint64 from, const std::function<void(const ChargePoint&)>& visit) {
    return select(pointColumns + QStringLiteral("WHERE time >= ? ORDER BY device_id, time, rowid"), {from},
                  [&visit, read = PointReader()](const Row& row) mutable { visit(read(row)); });
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
                  [&visit, read = PointReader()](const Row& row) mutable { visit(read(row)); });
}

bool SqliteChargeStore::visitWrittenTimes(const std::function<void(qint64)>& visit) {
    return select(QStringLiteral("SELECT time FROM readings ORDER BY rowid"), {},
                  [&visit](const Row& row) { visit(row.integer(0)); });
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
               {}, [&found](const Row& row) {
                   found.append({row.text(0), row.text(1)});
               });
    return read ? std::optional<QList<Device>>(found) : std::nullopt;
}
