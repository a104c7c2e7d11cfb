#pragma once

#include "platform/ChargeStore.h"

#include <QVariant>

#include <memory>
#include <optional>

class QSqlError;
class QTemporaryDir;

// The charge record as an SQLite database (Qt SQL's driver): WAL journal, a
// transaction per write, the schema version in PRAGMA user_version, and
// PRAGMA application_id telling it from any other program's database.
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
    // Runs a failed statement's error through the damage check: a damaged
    // file is replaced (true: try again), anything else is reported once.
    bool recoverFrom(const QSqlError& error, const QString& doing);
    void succeeded();
    // One transaction; the error when it was not kept.
    std::optional<QSqlError> write(const QList<ChargePoint>& points);
    // Runs SELECT (bound to BINDINGS) and hands each row to ROW.
    bool select(const QString& statement, const QVariantList& bindings,
                const std::function<void(const class QSqlQuery&)>& row);

    QString m_path;
    Access m_access;
    QString m_connection;
    // A reader's copy of a record whose journal it could not share.
    std::unique_ptr<QTemporaryDir> m_copy;
    bool m_freshlyStarted = false;
    bool m_failing = false;
};
