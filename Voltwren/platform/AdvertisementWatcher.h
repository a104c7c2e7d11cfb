#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <optional>

// What nearby Bluetooth LE devices advertise, as the system hands it over,
// and the short discovery bursts that make it hand adverts over at all.
// Main thread only; every callback arrives there.
class AdvertisementWatcher {
public:
    struct ConnectedDevice {
        // Upper-case, as the system prints it.
        QString address;
        std::optional<qint64> vendorID;
        std::optional<qint64> productID;
        // Lower-case full UUID texts.
        QStringList uuids;

        bool operator==(const ConnectedDevice&) const = default;
    };

    struct Advertisement {
        // The advertising address; when IS_CONNECTED_DEVICE, the system
        // resolved it to that connected device, whose address this is.
        QString address;
        bool isConnectedDevice = false;
        QHash<quint16, QByteArray> manufacturerData;
        // By lower-case full UUID text.
        QHash<QString, QByteArray> serviceData;
        std::optional<qint64> rssi;
    };

    struct Handlers {
        std::function<void(const Advertisement&)> advertisement;
        // The connected devices, or whether audio plays, changed.
        std::function<void()> devicesChanged;
        std::function<void(const QString& line)> log;
    };

    virtual ~AdvertisementWatcher() = default;

    // Follows the system from now on; stop() ends it (and a running burst).
    virtual void start(Handlers handlers) = 0;
    virtual void stop() = 0;

    virtual QList<ConnectedDevice> connectedDevices() const = 0;
    // Some audio stream of the system is playing: discovery makes it stutter.
    virtual bool isAudioPlaying() const = 0;
    virtual bool isDiscovering() const = 0;
    // Discovers for at most DURATION, then stops by itself; also when audio
    // starts, the system goes to sleep or the program ends. False when it
    // could not start (already running, audio playing, no adapter).
    virtual bool startDiscoveryBurst(std::chrono::milliseconds duration) = 0;
};

// The system's watcher. Main thread only.
AdvertisementWatcher& advertisementWatcher();
