// The thin wrapper over the real sources, kept apart from the pure rules so
// that those build and test without any platform.
#include "BluetoothBatteryReader.h"

#include "platform/Bundle.h"
#include "sources/DeviceBatteryReader.h"

namespace BluetoothBatteryReader {

std::optional<QList<AccessoryReading>> readAccessories(const Bundle& bundle, const PowerSupplies& supplies,
                                                       const AdvertisedBattery::Table& advertised) {
    // The report comes first; the snapshot, the scan and the helper runs
    // follow inside the aggregation, in that order.
    const std::optional<QList<ConnectedDevice>> devices =
        SystemProfilerBluetoothInfo::connectedDevices(bundle);
    if (!devices)
        return std::nullopt;
    QList<AccessoryReading> readings = aggregate(
        *devices, [] { return GATTBatteryReader::shared().copyLatestReadings(); },
        [&supplies] { return HIDBatteryReader::scanRegistry(supplies); },
        [&bundle](const QString& address) {
            return IOBluetoothPrivateBatteryReader::readBattery(address, bundle);
        },
        advertised);
    // Accessories that the report does not know (a receiver's mouse, a
    // controller on a cable) come after its own, in the kernel's order.
    const QList<DeviceBatteryReader::Battery> batteries = DeviceBatteryReader::scan(supplies);
    DeviceBatteryReader::addCharging(readings, batteries);
    readings += DeviceBatteryReader::unlisted(readings, batteries);
    return readings;
}

std::optional<QList<AccessoryReading>> readAccessories() {
    return readAccessories(mainBundle());
}

} // namespace BluetoothBatteryReader
