#pragma once

#include "platform/AdvertisementWatcher.h"
#include "sources/AdvertisedBattery.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QTimer>

#include <chrono>
#include <functional>
#include <mutex>

// The battery levels that connected earbuds advertise. It matches adverts to
// the connected devices (their own resolved adverts, or for the Apple message
// the strongest near advert of the same model), keeps the latest levels for a
// while, and asks for short discovery bursts when a poll finds them missing
// or stale. Values of adverts that match no connected device are never kept
// beyond the matching window, shown or logged: only their count is.
class AdvertisedBatteryReader final : public QObject {
    Q_OBJECT

public:
    struct Timing {
        std::chrono::milliseconds burst{5000};
        // At most one burst in this time.
        std::chrono::milliseconds burstGap{60000};
        // A device that just connected is read once after this.
        std::chrono::milliseconds afterConnect{5000};
        // Near adverts compete within this window.
        std::chrono::milliseconds candidateWindow{10000};
        // A level is dropped this long after its last advert.
        std::chrono::milliseconds keep{30 * 60 * 1000};
    };
    static constexpr qint64 minimumRssi = -70;
    // Two near adverts of one model this close are the same distance away.
    static constexpr qint64 ambiguousWithinDb = 6;

    // The process-wide reader over the system's watcher; main thread only
    // (copyLatestReadings excepted).
    static AdvertisedBatteryReader& shared();
    // Whether shared() was ever called: any thread.
    static bool hasShared();

    // CLOCK gives milliseconds since 1970 (the wall clock when absent).
    AdvertisedBatteryReader(AdvertisementWatcher* watcher, Timing timing, std::function<qint64()> clock,
                            QObject* parent = nullptr);
    explicit AdvertisedBatteryReader(AdvertisementWatcher* watcher);
    ~AdvertisedBatteryReader() override;

    // Main thread: the levels of a connected device changed.
    std::function<void()> onUpdate;

    // A full poll runs: discover briefly when a device that advertises its
    // levels has none newer than FRESHNESS (the poll interval).
    void pollStarted(std::chrono::milliseconds freshness);

    // Any thread: the levels still current, by device address.
    AdvertisedBattery::Table copyLatestReadings() const;

    // A device whose levels come from its adverts (Apple earbuds and
    // headphones, Fast Pair devices).
    static bool advertisesLevels(const AdvertisementWatcher::ConnectedDevice& device);

private:
    struct Candidate {
        qint64 productID = 0;
        AdvertisedBattery::Levels levels;
        qint64 rssi = 0;
        qint64 at = 0;
    };

    void onAdvertisement(const AdvertisementWatcher::Advertisement& advert);
    void onDevicesChanged();
    void dropOldCandidates(qint64 now);
    void matchNearby(qint64 productID, qint64 now);
    void take(const QString& address, const AdvertisedBattery::Levels& levels, qint64 now);
    bool hasFreshLevels(const QString& address, qint64 since) const;
    void startBurst(const QString& why);
    qint64 now() const;

    AdvertisementWatcher* m_watcher;
    Timing m_timing;
    std::function<qint64()> m_clock;

    // Connected devices that advertise their levels, by address.
    QHash<QString, AdvertisementWatcher::ConnectedDevice> m_devices;
    // Near adverts of the last window, by advertising address.
    QHash<QString, Candidate> m_candidates;
    // When each connected device last advertised on its own object.
    QHash<QString, qint64> m_ownAdvertAt;
    // When the levels of each device were last handed on.
    QHash<QString, qint64> m_announcedAt;
    qint64 m_lastBurstAt = 0;
    bool m_hasBurst = false;
    bool m_loggedAudio = false;
    // A poll that found no device (the system may not have listed them yet),
    // and when: a device listed soon after is read at once.
    std::optional<std::chrono::milliseconds> m_pendingPoll;
    qint64 m_pendingPollAt = 0;
    QSet<qint64> m_ambiguousModels;
    qint64 m_ignored = 0;
    QTimer m_afterConnect;

    mutable std::mutex m_latestLock;
    AdvertisedBattery::Table m_latest;
};
