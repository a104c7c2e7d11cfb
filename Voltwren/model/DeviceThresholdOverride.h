#pragma once

#include "DeviceKind.h"

#include <QByteArray>
#include <QJsonObject>
#include <QMap>
#include <QString>

#include <optional>

// A user's low-battery threshold for one device, keyed by the device id.
struct DeviceThresholdOverride {
    QString address;
    QString name;
    DeviceKind kind = DeviceKind::otherAccessory;
    double threshold = 0;

    bool operator==(const DeviceThresholdOverride&) const = default;

    // Device id -> override; every key equals its entry's address.
    using Collection = QMap<QString, DeviceThresholdOverride>;

    QJsonObject toJson() const;
    // All four keys are required with their types; extra keys are ignored.
    static std::optional<DeviceThresholdOverride> fromJson(const QJsonValue& value);

    // KEEP's members go along where OVERRIDES has no entry of their key.
    static QByteArray encodeCollection(const Collection& overrides, const QJsonObject& keep = {});
    // Fails as a whole on the first bad member.
    static std::optional<Collection> decodeCollection(const QByteArray& json);

    // The good entries, and the members that are not entries, as they were.
    struct Decoded {
        Collection entries;
        QJsonObject unreadable;
    };
    // Nullopt only when JSON is not an object at all.
    static std::optional<Decoded> decodeEntries(const QByteArray& json);
};
