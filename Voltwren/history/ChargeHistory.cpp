#include "ChargeHistory.h"

#include "TimeLeftEstimate.h"
#include "app/DiagnosticLog.h"
#include "app/WhenFinished.h"

#include <QDateTime>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <chrono>

namespace {

constexpr int shutdownWaitMs = 5000;

} // namespace

// The store and everything that touches it live on the pool's one thread.
struct ChargeHistory::Worker {
    std::unique_ptr<ChargeStore> store;
};

struct ChargeHistory::Loaded {
    QHash<QString, ChargePoint> last;
    QHash<QString, QList<ChargePoint>> discharges;
};

QString ChargeHistory::databasePath() {
    return logDirectoryURL() + QStringLiteral("/history.sqlite");
}

ChargeHistory::ChargeHistory(StoreFactory makeStore, QObject* parent)
    : QObject(parent)
    , m_makeStore(std::move(makeStore))
    , m_pool(new QThreadPool)
    , m_worker(std::make_shared<Worker>()) {
    // One thread that never ends: a Qt SQL connection is tied to the thread
    // that made it.
    m_pool->setMaxThreadCount(1);
    m_pool->setExpiryTimeout(-1);
}

ChargeHistory::~ChargeHistory() {
    // The connection is closed on its own thread, after the writes before it.
    m_pool->start([worker = m_worker] { worker->store.reset(); });
    if (m_pool->waitForDone(shutdownWaitMs)) {
        delete m_pool;
        return;
    }
    // A disk that hangs must not hang the program's end: the thread is left
    // to finish on its own.
    diagnosticLog(QStringLiteral("ChargeHistory: the record did not finish writing in time"));
}

void ChargeHistory::open() {
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const qint64 cutoff = now - keptDays * ChargePoint::msPerDay;
    m_prunedAt = now;
    whenFinished(this,
                 QtConcurrent::run(m_pool,
                                   [worker = m_worker, makeStore = m_makeStore, cutoff] {
                                       Loaded loaded;
                                       worker->store = makeStore();
                                       worker->store->problemReporter = [](const QString& problem) {
                                           diagnosticLog(problem);
                                       };
                                       if (!worker->store->open())
                                           return loaded;
                                       worker->store->removeBefore(cutoff);
                                       worker->store->visit(cutoff, [&loaded](const ChargePoint& point) {
                                           loaded.last.insert(point.deviceID, point);
                                           TimeLeftEstimate::extend(loaded.discharges[point.deviceID], point);
                                       });
                                       return loaded;
                                   }),
                 [this](const Loaded& loaded) { adopt(loaded); });
}

void ChargeHistory::adopt(const Loaded& read) {
    m_last = read.last;
    m_discharges = read.discharges;
    m_loaded = true;
    for (const auto& [devices, time] : std::exchange(m_pending, {}))
        record(devices, time);
    Q_EMIT loaded();
}

void ChargeHistory::record(const QList<MonitoredDevice>& devices, qint64 now) {
    if (!m_loaded) {
        // Whether a reading changed is only known against the record.
        m_pending.append({devices, now});
        return;
    }
    QList<ChargePoint> changed;
    for (const MonitoredDevice& device : devices) {
        const ChargePoint point{device.id, device.name,           device.kind,
                                now,       device.batteryPercent, device.isConnected};
        const auto last = m_last.constFind(device.id);
        if (last != m_last.constEnd() && last->percent == point.percent && last->connected == point.connected)
            continue;
        m_last.insert(device.id, point);
        TimeLeftEstimate::extend(m_discharges[device.id], point);
        changed.append(point);
    }
    pruneIfDue(now);
    if (changed.isEmpty())
        return;
    whenFinished(
        this,
        QtConcurrent::run(
            m_pool, [worker = m_worker, changed] { return worker->store && worker->store->append(changed); }),
        [this](bool kept) {
            if (kept)
                Q_EMIT recorded();
        });
}

void ChargeHistory::pruneIfDue(qint64 now) {
    if (now - m_prunedAt < ChargePoint::msPerDay)
        return;
    m_prunedAt = now;
    const qint64 cutoff = now - keptDays * ChargePoint::msPerDay;
    for (QList<ChargePoint>& discharge : m_discharges)
        discharge.removeIf([cutoff](const ChargePoint& point) { return point.time < cutoff; });
    m_pool->start([worker = m_worker, cutoff] {
        if (worker->store)
            worker->store->removeBefore(cutoff);
    });
}

std::optional<TimeLeft> ChargeHistory::timeLeft(const MonitoredDevice& device, double threshold,
                                                qint64 now) const {
    if (!device.isConnected || !device.batteryPercent)
        return std::nullopt;
    // A reading not kept yet (the record still loading) counts from now.
    QList<ChargePoint> discharge = m_discharges.value(device.id);
    if (discharge.isEmpty() || discharge.constLast().percent != device.batteryPercent)
        TimeLeftEstimate::extend(discharge, ChargePoint{device.id, device.name, device.kind, now,
                                                        device.batteryPercent, device.isConnected});
    return TimeLeftEstimate::estimate(discharge, threshold, now);
}

std::optional<ChargePoint> ChargeHistory::lastReading(const QString& deviceID) const {
    const auto last = m_last.constFind(deviceID);
    return last != m_last.constEnd() ? std::optional<ChargePoint>(*last) : std::nullopt;
}

void ChargeHistory::load(qint64 from, std::function<void(const QList<ChargePoint>&)> done) {
    whenFinished(this,
                 QtConcurrent::run(m_pool,
                                   [worker = m_worker, from] {
                                       QList<ChargePoint> points;
                                       if (worker->store)
                                           worker->store->visit(from, [&points](const ChargePoint& point) {
                                               points.append(point);
                                           });
                                       return points;
                                   }),
                 std::move(done));
}
