#include "InternalBatteryReader.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

std::optional<qint64> integer(const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::UInt:
    case QMetaType::UShort:
        return value.toLongLong();
    case QMetaType::ULong:
    case QMetaType::ULongLong:
        if (value.toULongLong() > qulonglong(std::numeric_limits<qint64>::max()))
            return std::nullopt;
        return value.toLongLong();
    default:
        return std::nullopt;
    }
}

} // namespace

std::optional<qint64> internalBatteryPercent(const QList<QVariantMap>& descriptions) {
    // Every system battery counts: business laptops drain one, then the other.
    struct Source {
        qint64 current;
        qint64 maximum;
        QString unit;
    };
    QList<Source> sources;
    for (const QVariantMap& description : descriptions) {
        const QVariant transport = description.value(QStringLiteral("Transport Type"));
        if (transport.typeId() != QMetaType::QString || transport.toString() != QLatin1String("Internal"))
            continue;
        const std::optional<qint64> current = integer(description.value(QStringLiteral("Current Capacity")));
        const std::optional<qint64> maximum = integer(description.value(QStringLiteral("Max Capacity")));
        if (!current || !maximum || *maximum < 1)
            continue;
        const QVariant unit = description.value(QStringLiteral("Capacity Unit"));
        sources.append(
            {*current, *maximum, unit.typeId() == QMetaType::QString ? unit.toString() : QString()});
    }
    if (sources.isEmpty())
        return std::nullopt;
    // Stored over stored capacity when all count in one unit; else each
    // battery's fraction weighs the same.
    const bool oneUnit = std::all_of(sources.cbegin(), sources.cend(),
                                     [&](const Source& source) { return source.unit == sources[0].unit; });
    double fraction = 0.0;
    if (oneUnit) {
        double current = 0.0, maximum = 0.0;
        for (const Source& source : std::as_const(sources)) {
            current += double(source.current);
            maximum += double(source.maximum);
        }
        fraction = current / maximum;
    } else {
        for (const Source& source : std::as_const(sources))
            fraction += double(source.current) / double(source.maximum) / double(sources.size());
    }
    // Clamped as a double so the conversion back stays defined.
    const double percent = std::round(fraction * 100.0);
    return qint64(std::clamp(percent, 0.0, 100.0));
}

std::optional<qint64> readInternalBatteryPercent(const PowerSupplies& supplies) {
    return internalBatteryPercent(supplies.powerSourceDescriptions());
}

std::optional<qint64> readInternalBatteryPercent() {
    return readInternalBatteryPercent(systemPowerSupplies());
}

std::optional<bool> internalBatteryCharging(const QList<QVariantMap>& descriptions) {
    std::optional<bool> charging;
    for (const QVariantMap& description : descriptions) {
        const QVariant transport = description.value(QStringLiteral("Transport Type"));
        const QVariant value = description.value(QStringLiteral("Is Charging"));
        if (transport.typeId() != QMetaType::QString || transport.toString() != QLatin1String("Internal") ||
            value.typeId() != QMetaType::Bool)
            continue;
        // One of two batteries charging puts the computer on its charger.
        if (value.toBool())
            return true;
        charging = false;
    }
    return charging;
}

std::optional<InternalBatteryReading> internalBattery(const QList<QVariantMap>& descriptions) {
    const std::optional<qint64> percent = internalBatteryPercent(descriptions);
    if (!percent)
        return std::nullopt;
    return InternalBatteryReading{*percent, internalBatteryCharging(descriptions)};
}

std::optional<InternalBatteryReading> readInternalBattery(const PowerSupplies& supplies) {
    return internalBattery(supplies.powerSourceDescriptions());
}

std::optional<InternalBatteryReading> readInternalBattery() {
    return readInternalBattery(systemPowerSupplies());
}
