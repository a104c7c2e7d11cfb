#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include <optional>

// Battery levels that earbuds and headphones put in their Bluetooth LE
// advertisements, decoded from the raw bytes. Pure functions: no platform.
namespace AdvertisedBattery {

// Company identifier of the proximity-pairing message, and the service of
// the battery notification.
inline constexpr quint16 appleCompanyID = 0x004C;
inline constexpr const char* fastPairServiceUuid = "0000fe2c-0000-1000-8000-00805f9b34fb";

struct Level {
    qint64 percent = 0;
    bool charging = false;
    // When it was last advertised (milliseconds since 1970); 0 in decoded adverts.
    qint64 seenAt = 0;

    bool operator==(const Level&) const = default;
};

// What one advert says, or what is known of one device. A single-battery
// model has only `single`.
struct Levels {
    std::optional<Level> left;
    std::optional<Level> right;
    std::optional<Level> caseLevel;
    std::optional<Level> single;
    // The model as BlueZ's Modalias spells it (product id), for Apple messages.
    std::optional<qint64> productID;

    bool isEmpty() const { return !left && !right && !caseLevel && !single; }
    bool operator==(const Levels&) const = default;
};

// The proximity-pairing message: VALUE is the manufacturer data of company
// 0x004C without the company id. Nullopt for anything else (another message
// type, pairing mode, too short).
std::optional<Levels> decodeProximityPairing(const QByteArray& value);

// The battery field of a Fast Pair advert (service data of 0xFE2C).
// Nullopt when there is none or the data is malformed.
std::optional<Levels> decodeFastPairBattery(const QByteArray& serviceData);

// The percentages of A and B agree (charging flags and times aside).
bool sameValues(const Levels& a, const Levels& b);

// Advertised levels of connected devices, by upper-case address.
using Table = QHash<QString, Levels>;

} // namespace AdvertisedBattery
