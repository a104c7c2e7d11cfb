#include "AdvertisedBatteryReader.h"

#include "app/DiagnosticLog.h"
#include "sources/BluetoothBatteryReader.h"

#include <QDateTime>

#include <atomic>

namespace {

using AdvertisedBattery::Level;
using AdvertisedBattery::Levels;
using Device = AdvertisementWatcher::ConnectedDevice;

const QString logPrefix = QStringLiteral("Advertised batteries: ");
const QString audioSinkUuid = QStringLiteral("0000110b-0000-1000-8000-00805f9b34fb");

std::atomic<bool> sharedMade{false};

// Later values replace earlier ones component by component: a bud that is
// out of range keeps what it said last, with its time.
void merge(std::optional<Level>& into, const std::optional<Level>& from, qint64 now) {
    if (from) {
        into = from;
        into->seenAt = now;
    }
}

void dropOlder(std::optional<Level>& level, qint64 before) {
    if (level && level->seenAt < before)
        level.reset();
}

bool sameLevels(const Levels& a, const Levels& b) {
    const auto same = [](const std::optional<Level>& x, const std::optional<Level>& y) {
        return x && y ? x->percent == y->percent && x->charging == y->charging : !x && !y;
    };
    return same(a.left, b.left) && same(a.right, b.right) && same(a.caseLevel, b.caseLevel) &&
           same(a.single, b.single);
}

} // namespace

AdvertisedBatteryReader& AdvertisedBatteryReader::shared() {
    static AdvertisedBatteryReader* const instance = [] {
        sharedMade = true;
        return new AdvertisedBatteryReader(&advertisementWatcher());
    }();
    return *instance;
}

bool AdvertisedBatteryReader::hasShared() {
    return sharedMade;
}

AdvertisedBatteryReader::AdvertisedBatteryReader(AdvertisementWatcher* watcher, Timing timing,
                                                 std::function<qint64()> clock, QObject* parent)
    : QObject(parent)
    , m_watcher(watcher)
    , m_timing(timing)
    , m_clock(std::move(clock)) {
    m_afterConnect.setSingleShot(true);
    m_afterConnect.setInterval(m_timing.afterConnect);
    connect(&m_afterConnect, &QTimer::timeout, this,
            [this] { startBurst(QStringLiteral("a device that advertises its battery connected")); });
    if (!m_watcher)
        return;
    m_watcher->start({[this](const AdvertisementWatcher::Advertisement& advert) { onAdvertisement(advert); },
                      [this] { onDevicesChanged(); }, [](const QString& line) { diagnosticLog(line); }});
    onDevicesChanged();
}

AdvertisedBatteryReader::AdvertisedBatteryReader(AdvertisementWatcher* watcher)
    : AdvertisedBatteryReader(watcher, Timing{}, {}) {}

AdvertisedBatteryReader::~AdvertisedBatteryReader() {
    if (m_watcher)
        m_watcher->stop();
}

qint64 AdvertisedBatteryReader::now() const {
    return m_clock ? m_clock() : QDateTime::currentMSecsSinceEpoch();
}

bool AdvertisedBatteryReader::advertisesLevels(const Device& device) {
    if (device.uuids.contains(QLatin1String(AdvertisedBattery::fastPairServiceUuid)))
        return true;
    if (device.vendorID != AdvertisedBattery::appleCompanyID)
        return false;
    // Apple's mice and keyboards share the vendor but advertise no levels.
    return BluetoothBatteryReader::kindForAppleProduct(device.productID).has_value() ||
           device.uuids.contains(audioSinkUuid);
}

void AdvertisedBatteryReader::onDevicesChanged() {
    QHash<QString, Device> devices;
    bool newcomer = false;
    for (const Device& device : m_watcher->connectedDevices()) {
        if (!advertisesLevels(device))
            continue;
        devices.insert(device.address, device);
        newcomer = newcomer || !m_devices.contains(device.address);
    }
    m_devices = std::move(devices);
    bool dropped = false;
    {
        const std::lock_guard<std::mutex> guard(m_latestLock);
        for (auto it = m_latest.begin(); it != m_latest.end();) {
            if (m_devices.contains(it.key())) {
                ++it;
            } else {
                it = m_latest.erase(it);
                dropped = true;
            }
        }
    }
    for (auto it = m_ownAdvertAt.begin(); it != m_ownAdvertAt.end();)
        it = m_devices.contains(it.key()) ? std::next(it) : m_ownAdvertAt.erase(it);
    for (auto it = m_announcedAt.begin(); it != m_announcedAt.end();)
        it = m_devices.contains(it.key()) ? std::next(it) : m_announcedAt.erase(it);
    if (!m_watcher->isAudioPlaying())
        m_loggedAudio = false;
    const auto pending = std::exchange(m_pendingPoll, std::nullopt);
    if (pending && newcomer && now() - m_pendingPollAt < m_timing.afterConnect.count())
        pollStarted(*pending);
    else if (newcomer)
        m_afterConnect.start();
    if (dropped && onUpdate)
        onUpdate();
}

void AdvertisedBatteryReader::onAdvertisement(const AdvertisementWatcher::Advertisement& advert) {
    const qint64 at = now();
    std::optional<Levels> apple;
    if (const auto data = advert.manufacturerData.constFind(AdvertisedBattery::appleCompanyID);
        data != advert.manufacturerData.cend())
        apple = AdvertisedBattery::decodeProximityPairing(*data);
    if (advert.isConnectedDevice && m_devices.contains(advert.address)) {
        std::optional<Levels> levels = apple;
        if (!levels) {
            if (const auto data =
                    advert.serviceData.constFind(QLatin1String(AdvertisedBattery::fastPairServiceUuid));
                data != advert.serviceData.cend())
                levels = AdvertisedBattery::decodeFastPairBattery(*data);
        }
        if (levels && !levels->isEmpty()) {
            m_ownAdvertAt.insert(advert.address, at);
            take(advert.address, *levels, at);
        }
        return;
    }
    // Only the Apple message carries its model in the clear; a Fast Pair
    // advert from elsewhere cannot be told apart from a neighbour's.
    if (!apple || apple->isEmpty() || !apple->productID) {
        return;
    }
    const qint64 productID = *apple->productID;
    bool modelConnected = false;
    for (const Device& device : std::as_const(m_devices))
        modelConnected = modelConnected || device.productID == productID;
    if (!modelConnected || !advert.rssi || *advert.rssi < minimumRssi) {
        ++m_ignored;
        m_candidates.remove(advert.address);
        return;
    }
    m_candidates.insert(advert.address, Candidate{productID, *apple, *advert.rssi, at});
    matchNearby(productID, at);
}

void AdvertisedBatteryReader::dropOldCandidates(qint64 now) {
    // Neighbours' adverts are not kept past their window, even in memory.
    const qint64 since = now - m_timing.candidateWindow.count();
    for (auto it = m_candidates.begin(); it != m_candidates.end();)
        it = it->at < since ? m_candidates.erase(it) : std::next(it);
}

void AdvertisedBatteryReader::matchNearby(qint64 productID, qint64 now) {
    dropOldCandidates(now);
    const qint64 since = now - m_timing.candidateWindow.count();

    QList<QString> owners;
    for (const Device& device : std::as_const(m_devices)) {
        if (device.productID == productID)
            owners.append(device.address);
    }
    // Two connected pairs of one model cannot be told apart by their adverts;
    // a device heard on its own object needs no guessing.
    if (owners.size() != 1 || m_ownAdvertAt.value(owners.constFirst(), 0) >= since)
        return;

    const Candidate* strongest = nullptr;
    for (const Candidate& candidate : std::as_const(m_candidates)) {
        if (candidate.productID == productID && (!strongest || candidate.rssi > strongest->rssi))
            strongest = &candidate;
    }
    if (!strongest)
        return;
    for (const Candidate& candidate : std::as_const(m_candidates)) {
        if (&candidate == strongest || candidate.productID != productID)
            continue;
        if (strongest->rssi - candidate.rssi <= ambiguousWithinDb &&
            !AdvertisedBattery::sameValues(candidate.levels, strongest->levels)) {
            if (!m_ambiguousModels.contains(productID)) {
                m_ambiguousModels.insert(productID);
                diagnosticLog(logPrefix +
                              QStringLiteral("two devices of the connected model are equally near; "
                                             "taking neither"));
            }
            // What was taken before may have been the other one's.
            bool dropped = false;
            {
                const std::lock_guard<std::mutex> guard(m_latestLock);
                dropped = m_latest.remove(owners.constFirst()) > 0;
            }
            if (dropped && onUpdate)
                onUpdate();
            return;
        }
    }
    m_ambiguousModels.remove(productID);
    take(owners.constFirst(), strongest->levels, now);
}

void AdvertisedBatteryReader::take(const QString& address, const Levels& levels, qint64 now) {
    bool changed = false;
    {
        const std::lock_guard<std::mutex> guard(m_latestLock);
        Levels& known = m_latest[address];
        const Levels before = known;
        merge(known.left, levels.left, now);
        merge(known.right, levels.right, now);
        merge(known.caseLevel, levels.caseLevel, now);
        merge(known.single, levels.single, now);
        if (levels.productID)
            known.productID = levels.productID;
        changed = !sameLevels(before, known);
    }
    // Unchanged values are handed on now and then, so their age stays true.
    const qint64 announced = m_announcedAt.value(address, 0);
    if (!changed && now - announced < 60000)
        return;
    m_announcedAt.insert(address, now);
    if (onUpdate)
        onUpdate();
}

bool AdvertisedBatteryReader::hasFreshLevels(const QString& address, qint64 since) const {
    const std::lock_guard<std::mutex> guard(m_latestLock);
    const auto found = m_latest.constFind(address);
    if (found == m_latest.cend())
        return false;
    for (const std::optional<Level>& level : {found->left, found->right, found->single}) {
        if (level && level->seenAt >= since)
            return true;
    }
    return false;
}

void AdvertisedBatteryReader::pollStarted(std::chrono::milliseconds freshness) {
    dropOldCandidates(now());
    if (m_ignored > 0) {
        diagnosticLog(logPrefix + QStringLiteral("ignored ") + QString::number(m_ignored) +
                      QStringLiteral(" advert(s) of devices that are not connected"));
        m_ignored = 0;
    }
    // The first poll may come before the devices are known.
    if (m_devices.isEmpty()) {
        m_pendingPoll = freshness;
        m_pendingPollAt = now();
        return;
    }
    // A burst lasts a while: levels it brought a poll ago still count as fresh.
    const qint64 since = now() - freshness.count() + m_timing.burst.count() + 30000;
    for (const Device& device : std::as_const(m_devices)) {
        if (!hasFreshLevels(device.address, since)) {
            startBurst(QStringLiteral("a poll"));
            return;
        }
    }
}

void AdvertisedBatteryReader::startBurst(const QString& why) {
    if (!m_watcher || m_devices.isEmpty() || m_watcher->isDiscovering())
        return;
    const qint64 at = now();
    if (m_hasBurst && at - m_lastBurstAt < m_timing.burstGap.count())
        return;
    if (m_watcher->isAudioPlaying()) {
        if (!std::exchange(m_loggedAudio, true))
            diagnosticLog(logPrefix + QStringLiteral("not discovering while audio plays"));
        return;
    }
    if (!m_watcher->startDiscoveryBurst(m_timing.burst))
        return;
    m_hasBurst = true;
    m_lastBurstAt = at;
    diagnosticLog(logPrefix + QStringLiteral("discovering for ") +
                  QString::number(m_timing.burst.count() / 1000.0) + QStringLiteral(" s after ") + why);
}

AdvertisedBattery::Table AdvertisedBatteryReader::copyLatestReadings() const {
    const qint64 before = now() - m_timing.keep.count();
    const std::lock_guard<std::mutex> guard(m_latestLock);
    AdvertisedBattery::Table table;
    for (auto it = m_latest.cbegin(); it != m_latest.cend(); ++it) {
        Levels levels = *it;
        dropOlder(levels.left, before);
        dropOlder(levels.right, before);
        dropOlder(levels.caseLevel, before);
        dropOlder(levels.single, before);
        if (!levels.isEmpty())
            table.insert(it.key(), levels);
    }
    return table;
}
