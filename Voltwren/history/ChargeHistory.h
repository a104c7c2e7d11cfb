#pragma once

#include "TimeLeft.h"
#include "model/ChargePoint.h"
#include "model/MonitoredDevice.h"
#include "platform/ChargeStore.h"

#include <QHash>
#include <QList>
#include <QObject>

#include <functional>
#include <memory>
#include <optional>

class QThreadPool;

// Each device's record: a reading is kept when its charge or its connection
// changed since the last one kept, for 90 days. The store works on a thread
// of its own (a slow disk never holds up the main thread); what the
// estimates need (each device's last reading and current discharge) is kept
// here, on the main thread. Main thread only.
class ChargeHistory final : public QObject {
    Q_OBJECT

public:
    static constexpr int keptDays = 90;
    using StoreFactory = std::function<std::unique_ptr<ChargeStore>()>;

    // The user's record: history.sqlite beside the diagnostic log.
    static QString databasePath();

    // MAKESTORE is called once, on the store's thread.
    explicit ChargeHistory(StoreFactory makeStore, QObject* parent = nullptr);
    // Waits a few seconds at most for the writes handed over so far.
    ~ChargeHistory() override;

    // Opens the store (starting a new one in place of a damaged file),
    // drops what is older than 90 days and reads back each device's last
    // reading and current discharge; loaded() follows. Readings recorded
    // meanwhile are kept until then.
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

    void adopt(const Loaded& read);
    void pruneIfDue(qint64 now);

    StoreFactory m_makeStore;
    QThreadPool* m_pool;
    std::shared_ptr<Worker> m_worker;
    bool m_loaded = false;
    QList<std::pair<QList<MonitoredDevice>, qint64>> m_pending;
    QHash<QString, ChargePoint> m_last;
    QHash<QString, QList<ChargePoint>> m_discharges;
    qint64 m_prunedAt = 0;
};
