#pragma once

#include "model/DeviceKind.h"
#include "model/SubBatteryReading.h"
#include "sources/AdvertisedBattery.h"
#include "sources/GATTBatteryReader.h"
#include "sources/HIDBatteryReader.h"
#include "sources/IOBluetoothPrivateBatteryReader.h"
#include "sources/SystemProfilerBluetoothInfo.h"

#include <QHash>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

class Bundle;

// Merges the accessory sources into one reading per device of the report.
// The report decides which devices exist and in which order; the other
// sources only supply a charge for them. readAccessories() then lists the
// kernel's device batteries that none of them took (DeviceBatteryReader).
namespace BluetoothBatteryReader {

using SystemProfilerBluetoothInfo::ConnectedDevice;

struct AccessoryReading {
    // The address as the report printed it, or the name when it gave none.
    QString id;
    QString name;
    DeviceKind kind = DeviceKind::otherAccessory;
    // Passed on as the source gave it, not clamped.
    std::optional<qint64> batteryPercent;
    bool isConnected = true;
    std::optional<QList<SubBatteryReading>> subReadings;
    // Nullopt when no source says whether it charges.
    std::optional<bool> isCharging = std::nullopt;

    bool operator==(const AccessoryReading&) const = default;
};

// Lookup tables built afresh for every aggregation; one value per key.
using PercentTable = QHash<QString, qint64>;

// The last-resort reader, asked by address.
using PrivateReader = std::function<std::optional<IOBluetoothPrivateBatteryReader::Reading>(const QString&)>;

// The one case mapping used for every name comparison across sources, so
// both sides of a lookup always agree.
QString lowercased(const QString& text);

// Merges entries that share a name (exact text), keeping the one with more
// detail whole, and logs each merge.
QList<ConnectedDevice> collapseDuplicates(const QList<ConnectedDevice>& devices);
// 0, 1, 2, 3, 6 or 7: left/right levels count most, then the case, then an
// overall charge.
int detailScore(const ConnectedDevice& device);

// A device with a signal strength but no minor type, vendor or product
// identifier is a mere sighting, not an accessory.
bool isSignalSighting(const ConnectedDevice& device);
QList<ConnectedDevice> withoutSignalSightings(const QList<ConnectedDevice>& devices);

PercentTable makeGattByName(const QList<GATTBatteryReader::Reading>& readings);
PercentTable makeHidByAddress(const QList<HIDBatteryReader::Reading>& readings);
PercentTable makeHidByName(const QList<HIDBatteryReader::Reading>& readings);

// ADVERTISED holds the levels connected devices advertise, by upper-case
// address: an earbud pair's components come from there, and its charge is
// then the lower bud's, whatever a single reading says.
AccessoryReading makeReading(const ConnectedDevice& device, const PercentTable& gattByName,
                             const PercentTable& hidByAddress, const PercentTable& hidByName,
                             const PrivateReader& privateReader,
                             const AdvertisedBattery::Table& advertised = {});

// Built once, on first use, safely from any thread.
const QHash<qint64, DeviceKind>& appleProductKinds();
std::optional<DeviceKind> kindForAppleProduct(std::optional<qint64> productID);
std::optional<DeviceKind> kindForMinorType(const QString& minorType);
DeviceKind inferKind(const QString& name);
// Depends only on the report's own record, never on the charge's source.
DeviceKind kindOf(const ConnectedDevice& device);

// The whole aggregation over the sources' outputs. The GATT snapshot and the
// registry scan are always taken, once each, even when no device remains.
QList<AccessoryReading> aggregate(const QList<ConnectedDevice>& profiler,
                                  const std::function<QList<GATTBatteryReader::Reading>()>& gattSnapshot,
                                  const std::function<QList<HIDBatteryReader::Reading>()>& registryScan,
                                  const PrivateReader& privateReader,
                                  const AdvertisedBattery::Table& advertised = {});

// Runs the report tool, copies the GATT readings, scans the registry and asks
// the helper where needed; then adds the kernel's device batteries that no
// accessory of the report took. Nullopt when the report tool failed, which is
// not "nothing connected". Blocks on child processes: never call on the main
// thread.
std::optional<QList<AccessoryReading>> readAccessories();
// The same, with the report tool and the helper taken from BUNDLE and the
// registry and device batteries from SUPPLIES, and the levels devices
// advertise from ADVERTISED.
std::optional<QList<AccessoryReading>> readAccessories(const Bundle& bundle,
                                                       const PowerSupplies& supplies = systemPowerSupplies(),
                                                       const AdvertisedBattery::Table& advertised = {});

} // namespace BluetoothBatteryReader
