#include "DeviceThresholdOverride.h"

#include <QJsonDocument>
#include <QJsonValue>

QJsonObject DeviceThresholdOverride::toJson() const {
    return QJsonObject{
        {QStringLiteral("address"), address},
        {QStringLiteral("name"), name},
        {QStringLiteral("kind"), rawValue(kind)},
        {QStringLiteral("threshold"), threshold},
    };
}

std::optional<DeviceThresholdOverride> DeviceThresholdOverride::fromJson(const QJsonValue& value) {
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject object = value.toObject();
    const QJsonValue address = object.value(QLatin1String("address"));
    const QJsonValue name = object.value(QLatin1String("name"));
    const QJsonValue kind = object.value(QLatin1String("kind"));
    const QJsonValue threshold = object.value(QLatin1String("threshold"));
    if (!address.isString() || !name.isString() || !kind.isString() || !threshold.isDouble())
        return std::nullopt;
    const std::optional<DeviceKind> decodedKind = deviceKindFromRawValue(kind.toString());
    if (!decodedKind)
        return std::nullopt;
    return DeviceThresholdOverride{address.toString(), name.toString(), *decodedKind, threshold.toDouble()};
}

QByteArray DeviceThresholdOverride::encodeCollection(const Collection& overrides, const QJsonObject& keep) {
    QJsonObject object = keep;
    for (auto it = overrides.cbegin(); it != overrides.cend(); ++it)
        object.insert(it.key(), it.value().toJson());
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<DeviceThresholdOverride::Collection>
DeviceThresholdOverride::decodeCollection(const QByteArray& json) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    Collection result;
    for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
        std::optional<DeviceThresholdOverride> entry = fromJson(it.value());
        if (!entry)
            return std::nullopt;
        result.insert(it.key(), *entry);
    }
    return result;
}

std::optional<DeviceThresholdOverride::Decoded>
DeviceThresholdOverride::decodeEntries(const QByteArray& json) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    Decoded decoded;
    for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
        if (std::optional<DeviceThresholdOverride> entry = fromJson(it.value()))
            decoded.entries.insert(it.key(), *entry);
        else
            decoded.unreadable.insert(it.key(), it.value());
    }
    return decoded;
}
