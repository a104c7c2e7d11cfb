#pragma once

#include "TimeLeft.h"
#include "TimeLeftEstimate.h"
#include "model/ChargePoint.h"
#include "model/MonitoredDevice.h"
#include "platform/ChargeStore.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

class QThreadPool;

// The time the record's age is counted from: the latest reading written
// that the clock bears out. A clock far ahead of the readings before it is
// far more often wrong than a user back after months, so a time more than a
// day ahead is believed only once the readings after it, each close to the
// one before, have gone on for six hours: a clock set wrong and put right
// within that prunes nothing it should not, and an old record still ages.
class PruneClock {
public:
    static constexpr qint64 tolerance = ChargePoint::msPerDay;
    static constexpr qint64 confirmation = 6 * 3600 * 1000;

    // TIME is that of the next reading written.
    void written(qint64 time);
    std::optional<qint64> now() const { return m_trusted; }

private:
    std::optional<qint64> m_trusted;
    std::optional<qint64> m_previous;
    // The first reading of a stretch ahead not believed yet.
    std::optional<qint64> m_aheadSince;
};

// Each device's record: a reading is kept when its charge or its connection
// changed since the last one kept, for 90 days. The store works on a thread
// of its own (a slow disk never holds up the main thread); what the
// estimates need (each device's last reading and current discharge, bounded)
// is kept here, on the main thread. Readings that cannot be written (the
// file locked by another program, or not open yet) wait, a bounded number,
// and are written when it can be. Main thread only.
class ChargeHistory final : public QObject {
    Q_OBJECT

public:
    static constexpr int keptDays = 90;
    // Waiting readings beyond these keep only each device's latest.
    static constexpr qsizetype maximumWaiting = 1000;
    static constexpr int retryMs = 3000;
    using StoreFactory = std::function<std::unique_ptr<ChargeStore>()>;

    // The user's record: history.sqlite beside the diagnostic log.
    static QString databasePath();

    // MAKESTORE is called once, on the store's thread.
    explicit ChargeHistory(StoreFactory makeStore, QObject* parent = nullptr);
    // Waits a few seconds at most for the writes handed over so far.
    ~ChargeHistory() override;

    // Opens the store (starting a new one in place of a damaged file; one
    // that cannot be opened is tried again with the next write), drops what
    // is older than 90 days and reads back each device's last reading and
    // current discharge; loaded() follows. Readings recorded meanwhile are
    // kept until then.
    void open();
    bool isLoaded() const { return m_loaded; }

    // Keeps, at time NOW (ms since the epoch), the readings of DEVICES that
    // changed.
    void record(const QList<MonitoredDevice>& devices, qint64 now);
    // For a connected device with a charge; none when there is too little
    // to go on (see TimeLeftEstimate).
    std::optional<TimeLeft> timeLeft(const MonitoredDevice& device, double threshold, qint64 now) const;
    // The device's latest kept reading.
    std::optional<ChargePoint> lastReading(const QString& deviceID) const;
    // Every kept reading since FROM, grouped by device, oldest first; DONE
    // runs later on this object's thread (not at all when it is gone).
    void load(qint64 from, std::function<void(const QList<ChargePoint>&)> done);

Q_SIGNALS:
    // The last readings and discharges are in: estimates may have changed.
    void loaded();
    // A write was kept.
    void recorded();

private:
    struct Worker;
    struct Loaded;
    struct Written;

    void adopt(const Loaded& read);
    // Hands CHANGED (maybe none: only what waits) to the store.
    void write(const QList<ChargePoint>& changed);
    void written(const Written& result);

    StoreFactory m_makeStore;
    QThreadPool* m_pool;
    std::shared_ptr<Worker> m_worker;
    bool m_loaded = false;
    QList<std::pair<QList<MonitoredDevice>, qint64>> m_pending;
    QHash<QString, ChargePoint> m_last;
    QHash<QString, TimeLeftEstimate::Discharge> m_discharges;
    QTimer m_retry;
};
