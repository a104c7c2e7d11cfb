#pragma once

#include "model/ChargePoint.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

// The lasting record of charge readings: a file that survives the program
// being killed mid-write. One store is used from one thread only (the one
// that made it); every call may touch the disk, so that thread is never the
// main one.
class ChargeStore {
public:
    enum class Access { readWrite, readOnly };

    // A device of the record, by the name of its latest reading.
    struct Device {
        QString id;
        QString name;

        bool operator==(const Device&) const = default;
    };

    virtual ~ChargeStore() = default;

    // Opens the record, creating it for writing when there is none. A file
    // that cannot be opened or is damaged is moved aside and a new one
    // started (never for a reader, never another program's file). False
    // when there is no usable record; the problem has been reported. May be
    // called again after a failure.
    virtual bool open() = 0;
    bool isOpen() const { return m_isOpen; }
    // The points, in one transaction: all kept, or none.
    virtual bool append(const QList<ChargePoint>& points) = 0;
    // Drops every point older than TIME (ms since the epoch).
    virtual bool removeBefore(qint64 time) = 0;
    // Hands every point at or after FROM to VISIT, grouped by device and
    // oldest first within a device. False when the record could not be read.
    virtual bool visit(qint64 from, const std::function<void(const ChargePoint&)>& visit) = 0;
    // Hands the points at or after FROM of DEVICEIDS (every device when
    // empty) to VISIT, oldest first whatever the device; read as they are
    // handed over, never all at once.
    virtual bool visitByTime(qint64 from, const QStringList& deviceIDs,
                             const std::function<void(const ChargePoint&)>& visit) = 0;
    // Every point's time, in the order the points were written.
    virtual bool visitWrittenTimes(const std::function<void(qint64)>& visit) = 0;
    // Every device of the record; none when it could not be read.
    virtual std::optional<QList<Device>> devices() = 0;
    // Lets go of what an open store holds between uses (a connection, its
    // cache); the next call takes it up again. The store stays open.
    virtual void rest() {}

    // Where problems go (a file moved aside, one that cannot be read): one
    // sentence each, for the diagnostic log. Called on the store's thread.
    std::function<void(const QString& problem)> problemReporter;

protected:
    void reportProblem(const QString& problem) const {
        if (problemReporter)
            problemReporter(problem);
    }

    bool m_isOpen = false;
};

// The record in the file at PATH, not yet opened.
std::unique_ptr<ChargeStore> makeChargeStore(const QString& path, ChargeStore::Access access);
