#pragma once

#include "platform/ChargeStore.h"

#include <QVariant>

#include <memory>
#include <optional>

class QTemporaryDir;
struct sqlite3;
struct sqlite3_stmt;

// The charge record as an SQLite database: WAL journal, a transaction per
// write, the schema version in PRAGMA user_version, and PRAGMA
// application_id telling it from any other program's database. SQLite itself
// is loaded while a connection is open: a store at rest holds none, so a
// program that writes a row now and then does not keep the library mapped.
class SqliteChargeStore final : public ChargeStore {
public:
    // What this build reads and writes; a file of a later version is left
    // alone.
    static constexpr int schemaVersion = 1;
    // "VWcr": the file is a charge record of Voltwren's.
    static constexpr int applicationID = 0x56576372;

    SqliteChargeStore(QString path, Access access);
    ~SqliteChargeStore() override;

    bool open() override;
    bool append(const QList<ChargePoint>& points) override;
    bool removeBefore(qint64 time) override;
    bool visit(qint64 from, const std::function<void(const ChargePoint&)>& visit) override;
    bool visitByTime(qint64 from, const QStringList& deviceIDs,
                     const std::function<void(const ChargePoint&)>& visit) override;
    bool visitWrittenTimes(const std::function<void(qint64)>& visit) override;
    std::optional<QList<Device>> devices() override;
    void rest() override;

    // A failed statement: SQLite's extended result code and its message.
    struct Error {
        int code = 0;
        QString text;
    };
    // A row of a SELECT, read by column.
    class Row {
    public:
        explicit Row(sqlite3_stmt* statement)
            : m_statement(statement) {}
        bool isNull(int column) const;
        qint64 integer(int column) const;
        QString text(int column) const;
        // The column's bytes, valid until the next row.
        QByteArrayView utf8(int column) const;

    private:
        sqlite3_stmt* m_statement;
    };

private:
    enum class Outcome { ok, damaged, unusable };

    Outcome openFile(QString* problem);
    // Where a reader opens a file it cannot share: in a folder it may not
    // write, SQLite cannot make the WAL index beside it.
    std::optional<QString> readerTarget(QString* problem);
    Outcome prepareSchema(QString* problem);
    // Moves a damaged file aside and starts a new one, at most once between
    // two successful writes, so a file that is damaged again at once is not
    // moved aside over and over.
    bool startAfresh(const QString& problem);
    std::optional<QString> moveAside();
    void close();
    // The connection to TARGET, with this store's settings; false (and
    // ERROR) when SQLite or the file cannot be opened.
    bool connect(Error* error);
    void disconnect();
    // Takes up a store at rest again: the same file, still ours, or the
    // whole opening anew. False when there is no usable record.
    bool resume();
    // Runs STATEMENT (bound to BINDINGS), handing each row to ROW.
    std::optional<Error> run(const QString& statement, const QVariantList& bindings = {},
                             const std::function<void(const Row&)>& row = {});
    // Runs a failed statement's error through the damage check: a damaged
    // file is replaced (true: try again), anything else is reported once.
    bool recoverFrom(const Error& error, const QString& doing);
    void succeeded();
    // One transaction; the error when it was not kept.
    std::optional<Error> write(const QList<ChargePoint>& points);
    // Runs SELECT (bound to BINDINGS) and hands each row to ROW.
    bool select(const QString& statement, const QVariantList& bindings,
                const std::function<void(const Row&)>& row);

    QString m_path;
    Access m_access;
    // What SQLite opens: the path, or for a reader a URI.
    QString m_target;
    sqlite3* m_db = nullptr;
    bool m_resting = false;
    // A reader's copy of a record whose journal it could not share.
    std::unique_ptr<QTemporaryDir> m_copy;
    bool m_freshlyStarted = false;
    bool m_failing = false;
};
