#include "ChargeHistory.h"

#include "app/DiagnosticLog.h"
#include "app/WhenFinished.h"

#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <atomic>
#include <chrono>

namespace {

constexpr int shutdownWaitMs = 5000;
constexpr qint64 keptMs = ChargeHistory::keptDays * ChargePoint::msPerDay;

} // namespace

void PruneClock::written(qint64 time) {
    if (!m_trusted || time <= *m_trusted + tolerance) {
        // In step with the trusted time, or behind it (that moves nothing).
        m_trusted = std::max(m_trusted.value_or(time), time);
        m_aheadSince.reset();
    } else if (m_aheadSince && time >= *m_aheadSince && time <= *m_previous + tolerance) {
        if (time - *m_aheadSince >= confirmation) {
            m_trusted = time;
            m_aheadSince.reset();
        }
    } else {
        m_aheadSince = time;
    }
    m_previous = time;
}

// The store and everything that touches it live on the pool's one thread.
struct ChargeHistory::Worker {
    StoreFactory makeStore;
    std::unique_ptr<ChargeStore> store;
    QList<ChargePoint> waiting;
    PruneClock clock;
    std::optional<qint64> prunedAt;
    QString lastProblem;
    // Tasks handed to the pool and not finished: when none are left, the
    // store rests (closed connection, SQLite let go) until the next.
    std::atomic<int> queued = 0;

    struct Task {
        explicit Task(Worker& worker)
            : worker(worker) {}
        ~Task() {
            if (--worker.queued == 0 && worker.store)
                worker.store->rest();
        }
        Worker& worker;
    };

    // Opened (or opened again after a failure), the record's age known and
    // the old readings gone.
    bool ready() {
        if (!store) {
            store = makeStore();
            store->problemReporter = [this](const QString& problem) {
                // The same trouble at every try is said once.
                if (problem != lastProblem)
                    diagnosticLog(problem);
                lastProblem = problem;
            };
        }
        if (store->isOpen())
            return true;
        if (!store->open())
            return false;
        if (!lastProblem.isEmpty())
            diagnosticLog(QStringLiteral("ChargeHistory: the record is open; recording"));
        lastProblem.clear();
        clock = PruneClock();
        prunedAt.reset();
        store->visitWrittenTimes([this](qint64 time) { clock.written(time); });
        prune();
        return store->isOpen();
    }

    std::optional<qint64> cutoff() const {
        const std::optional<qint64> now = clock.now();
        return now ? std::optional<qint64>(*now - keptMs) : std::nullopt;
    }

    // At most once a day of the record's own time.
    void prune() {
        const std::optional<qint64> now = clock.now();
        if (!now || (prunedAt && *now - *prunedAt < ChargePoint::msPerDay))
            return;
        if (store->removeBefore(*now - keptMs))
            prunedAt = *now;
    }

    void keepWaiting(const QList<ChargePoint>& points) {
        waiting.append(points);
        if (waiting.size() <= maximumWaiting)
            return;
        // Each device's latest reading, in the order they came.
        QList<ChargePoint> latest;
        for (qsizetype i = waiting.size() - 1; i >= 0; --i) {
            const QString& id = waiting.at(i).deviceID;
            if (std::none_of(latest.cbegin(), latest.cend(),
                             [&id](const ChargePoint& point) { return point.deviceID == id; }))
                latest.prepend(waiting.at(i));
        }
        waiting = latest;
    }
};

struct ChargeHistory::Loaded {
    QHash<QString, ChargePoint> last;
    QHash<QString, TimeLeftEstimate::Discharge> discharges;
};

struct ChargeHistory::Written {
    bool kept = false;
    bool waiting = false;
    std::optional<qint64> cutoff;
};

QString ChargeHistory::databasePath() {
    return logDirectoryURL() + QStringLiteral("/history.sqlite");
}

ChargeHistory::ChargeHistory(StoreFactory makeStore, QObject* parent)
    : QObject(parent)
    , m_makeStore(std::move(makeStore))
    , m_pool(new QThreadPool)
    , m_worker(std::make_shared<Worker>()) {
    // One thread that never ends: a store is used from the thread that
    // made it.
    m_pool->setMaxThreadCount(1);
    m_pool->setExpiryTimeout(-1);
    m_worker->makeStore = m_makeStore;
    m_retry.setSingleShot(true);
    m_retry.setInterval(retryMs);
    connect(&m_retry, &QTimer::timeout, this, [this] { write({}); });
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
    ++m_worker->queued;
    whenFinished(this,
                 QtConcurrent::run(m_pool,
                                   [worker = m_worker] {
                                       const Worker::Task task(*worker);
                                       Loaded loaded;
                                       if (!worker->ready())
                                           return loaded;
                                       worker->store->visit(worker->cutoff().value_or(0),
                                                            [&loaded](const ChargePoint& point) {
                                                                loaded.last.insert(point.deviceID, point);
                                                                loaded.discharges[point.deviceID].add(point);
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
        m_discharges[device.id].add(point);
        changed.append(point);
    }
    if (!changed.isEmpty())
        write(changed);
}

void ChargeHistory::write(const QList<ChargePoint>& changed) {
    m_retry.stop();
    ++m_worker->queued;
    whenFinished(this,
                 QtConcurrent::run(m_pool,
                                   [worker = m_worker, changed] {
                                       const Worker::Task task(*worker);
                                       Written result;
                                       worker->keepWaiting(changed);
                                       if (worker->waiting.isEmpty() || !worker->ready() ||
                                           !worker->store->append(worker->waiting)) {
                                           result.waiting = !worker->waiting.isEmpty();
                                           return result;
                                       }
                                       for (const ChargePoint& point : std::as_const(worker->waiting))
                                           worker->clock.written(point.time);
                                       worker->waiting.clear();
                                       worker->prune();
                                       result.kept = true;
                                       result.cutoff = worker->cutoff();
                                       return result;
                                   }),
                 [this](const Written& result) { written(result); });
}

void ChargeHistory::written(const Written& result) {
    if (result.cutoff) {
        for (TimeLeftEstimate::Discharge& discharge : m_discharges)
            discharge.removeBefore(*result.cutoff);
    }
    if (result.waiting && !m_retry.isActive())
        m_retry.start();
    if (result.kept)
        Q_EMIT recorded();
}

std::optional<TimeLeft> ChargeHistory::timeLeft(const MonitoredDevice& device, double threshold,
                                                qint64 now) const {
    if (!device.isConnected || !device.batteryPercent)
        return std::nullopt;
    const auto found = m_discharges.constFind(device.id);
    if (found != m_discharges.constEnd() && found->lastPercent() == device.batteryPercent)
        return found->estimate(threshold, now);
    // A reading not kept yet (the record still loading) counts from now.
    TimeLeftEstimate::Discharge discharge =
        found != m_discharges.constEnd() ? *found : TimeLeftEstimate::Discharge();
    discharge.add(
        ChargePoint{device.id, device.name, device.kind, now, device.batteryPercent, device.isConnected});
    return discharge.estimate(threshold, now);
}

std::optional<ChargePoint> ChargeHistory::lastReading(const QString& deviceID) const {
    const auto last = m_last.constFind(deviceID);
    return last != m_last.constEnd() ? std::optional<ChargePoint>(*last) : std::nullopt;
}

void ChargeHistory::load(qint64 from, std::function<void(const QList<ChargePoint>&)> done) {
    ++m_worker->queued;
    whenFinished(this,
                 QtConcurrent::run(m_pool,
                                   [worker = m_worker, from] {
                                       const Worker::Task task(*worker);
                                       QList<ChargePoint> points;
                                       if (worker->store && worker->store->isOpen())
                                           worker->store->visit(from, [&points](const ChargePoint& point) {
                                               points.append(point);
                                           });
                                       return points;
                                   }),
                 std::move(done));
}
