#include "DeviceStatus.h"

#include "AppState.h"

QList<QVariantMap> DeviceStatus::deviceMaps(const AppState& state) {
    QList<QVariantMap> maps;
    maps.reserve(state.devices().size());
    for (const MonitoredDevice& device : state.devices()) {
        const double threshold = state.effectiveThreshold(device.id);
        QVariantMap map;
        map.insert(QStringLiteral("id"), device.id);
        map.insert(QStringLiteral("name"), device.name);
        map.insert(QStringLiteral("kind"), rawValue(device.kind));
        if (device.batteryPercent)
            map.insert(QStringLiteral("percent"), static_cast<qint32>(*device.batteryPercent));
        map.insert(QStringLiteral("connected"), device.isConnected);
        if (device.isCharging)
            map.insert(QStringLiteral("charging"), *device.isCharging);
        // The tray icon's rule.
        map.insert(QStringLiteral("low"), state.isLow(device));
        map.insert(QStringLiteral("threshold"), threshold);
        if (const std::optional<TimeLeft> left = state.timeLeft(device)) {
            map.insert(QStringLiteral("secondsUntilThreshold"), left->secondsUntilThreshold);
            map.insert(QStringLiteral("secondsUntilEmpty"), left->secondsUntilEmpty);
        }
        if (device.subReadings) {
            QList<QVariantMap> components;
            for (const SubBatteryReading& reading : *device.subReadings) {
                QVariantMap component;
                component.insert(QStringLiteral("id"), reading.id);
                component.insert(QStringLiteral("label"), reading.label);
                if (reading.percent)
                    component.insert(QStringLiteral("percent"), static_cast<qint32>(*reading.percent));
                components.append(component);
            }
            map.insert(QStringLiteral("components"), QVariant::fromValue(components));
        }
        maps.append(map);
    }
    return maps;
}
