// The thin wrapper over the real sources, kept apart from the pure rules so
// that those build and test without any platform.
#include "BluetoothBatteryReader.h"

#include "platform/Bundle.h"

namespace BluetoothBatteryReader {

QList<AccessoryReading> readAccessories(const Bundle& bundle) {
    // The report comes first; the snapshot, the scan and the helper runs
    // follow inside the aggregation, in that order.
    const QList<ConnectedDevice> devices = SystemProfilerBluetoothInfo::connectedDevices(bundle);
    return aggregate(
        devices, [] { return GATTBatteryReader::shared().copyLatestReadings(); },
        [] { return HIDBatteryReader::scanRegistry(); },
        [&bundle](const QString& address) {
            return IOBluetoothPrivateBatteryReader::readBattery(address, bundle);
        });
}

QList<AccessoryReading> readAccessories() {
    return readAccessories(mainBundle());
}

} // namespace BluetoothBatteryReader
