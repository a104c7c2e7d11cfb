#include "AdvertisedBattery.h"

#include "sources/BluetoothBatteryReader.h"

namespace AdvertisedBattery {

namespace {

constexpr char proximityPairingType = 0x07;
constexpr int proximityPairingLength = 0x19;
constexpr int proximityPairingSize = 2 + proximityPairingLength;

// 0-9 are tens, 0xA is full; the rest (0xF above all) is no reading.
std::optional<Level> nibbleLevel(int nibble, bool charging) {
    if (nibble > 0xA)
        return std::nullopt;
    return Level{nibble * 10, charging, 0};
}

std::optional<Level> fastPairLevel(quint8 byte) {
    const int value = byte & 0x7F;
    if (value > 100)
        return std::nullopt; // 0x7F says "unknown"; the rest is out of range
    return Level{value, (byte & 0x80) != 0, 0};
}

bool samePercent(const std::optional<Level>& a, const std::optional<Level>& b) {
    if (!a || !b)
        return !a && !b;
    return a->percent == b->percent;
}

} // namespace

std::optional<Levels> decodeProximityPairing(const QByteArray& value) {
    // Further messages may follow the first in the same manufacturer data.
    if (value.size() < proximityPairingSize || value[0] != proximityPairingType ||
        static_cast<quint8>(value[1]) != proximityPairingLength)
        return std::nullopt;
    const auto byte = [&value](int index) { return static_cast<quint8>(value[index]); };
    if (byte(2) != 0x01)
        return std::nullopt; // pairing mode lays out the bytes otherwise
    Levels levels;
    levels.productID = (qint64(byte(4)) << 8) | byte(3);
    const bool singleBattery =
        BluetoothBatteryReader::kindForAppleProduct(levels.productID) == DeviceKind::airpodsMax;
    const quint8 flags = byte(7) >> 4;
    if (singleBattery) {
        levels.single = nibbleLevel(byte(6) & 0x0F, (flags & 0x1) != 0);
        return levels;
    }
    // The primary bud's level comes first; bit 0x20 says it is the left one.
    const bool leftIsPrimary = (byte(5) & 0x20) != 0;
    int leftNibble = byte(6) & 0x0F;
    int rightNibble = byte(6) >> 4;
    bool leftCharging = (flags & 0x1) != 0;
    bool rightCharging = (flags & 0x2) != 0;
    if (!leftIsPrimary) {
        std::swap(leftNibble, rightNibble);
        std::swap(leftCharging, rightCharging);
    }
    levels.left = nibbleLevel(leftNibble, leftCharging);
    levels.right = nibbleLevel(rightNibble, rightCharging);
    levels.caseLevel = nibbleLevel(byte(7) & 0x0F, (flags & 0x4) != 0);
    return levels;
}

std::optional<Levels> decodeFastPairBattery(const QByteArray& serviceData) {
    // A discoverable advert is the bare model id; the others start with flags.
    if (serviceData.size() < 2 || serviceData[0] != 0)
        return std::nullopt;
    std::optional<Levels> found;
    qsizetype at = 1;
    while (at < serviceData.size()) {
        const quint8 header = static_cast<quint8>(serviceData[at]);
        const int length = header >> 4;
        const int type = header & 0x0F;
        if (at + 1 + length > serviceData.size())
            return std::nullopt;
        if ((type == 3 || type == 4) && length >= 1) {
            Levels levels;
            std::optional<Level>* const slots[] = {&levels.left, &levels.right, &levels.caseLevel};
            for (int i = 0; i < length && i < 3; ++i)
                *slots[i] = fastPairLevel(static_cast<quint8>(serviceData[at + 1 + i]));
            found = levels;
        }
        at += 1 + length;
    }
    return found;
}

bool sameValues(const Levels& a, const Levels& b) {
    return samePercent(a.left, b.left) && samePercent(a.right, b.right) &&
           samePercent(a.caseLevel, b.caseLevel) && samePercent(a.single, b.single);
}

} // namespace AdvertisedBattery
