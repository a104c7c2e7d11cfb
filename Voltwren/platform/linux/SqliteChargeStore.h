#pragma once

#include "platform/ChargeStore.h"

#include <optional>

class QSqlError;

// The charge record as an SQLite database (Qt SQL's driver): WAL journal, a
// transaction per write, the schema version in PRAGMA user_version.
class SqliteChargeStore final : public ChargeStore {
public:
    // What this build reads and writes; a file of a later version is left
    // alone.
    static constexpr int schemaVersion = 1;

    SqliteChargeStore(QString path, Access access);
    ~SqliteChargeStore() override;

    bool open() override;
    bool append(const QList<ChargePoint>& points) override;
    bool removeBefore(qint64 time) override;
    bool visit(qint64 from, const std::function<void(const ChargePoint&)>& visit) override;

private:
    enum class Outcome { ok, damaged, unusable };

    Outcome openFile(QString* problem);
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

    QString m_path;
    Access m_access;
    QString m_connection;
    bool m_open = false;
    bool m_freshlyStarted = false;
    bool m_failing = false;
};
