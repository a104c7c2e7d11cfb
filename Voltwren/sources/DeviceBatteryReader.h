#pragma once

#include "platform/PowerSupplies.h"
#include "sources/BluetoothBatteryReader.h"

#include <QList>
#include <QMap>
#include <QString>

#include <optional>

// Accessories that only the kernel knows: receivers' mice and keyboards,
// controllers on a cable, and any other battery of scope "Device" that the
// report's accessories did not take. Each becomes a reading of its own.
namespace DeviceBatteryReader {

using Battery = PowerSupplies::DeviceBattery;
using BluetoothBatteryReader::AccessoryReading;

// Every id begins with this, so none equals an address id of the report.
inline constexpr const char* idPrefix = "power-supply:";

// The row of one battery: id from the serial number, else the address, else
// the supply's name; name from the model, else the HID name.
AccessoryReading makeReading(const Battery& battery);
// What the input devices' capabilities say the accessory is, when they
// agree on one kind.
std::optional<DeviceKind> kindFromInputs(const QList<QMap<QString, QString>>& inputs);

// Rows for the batteries that no reading of LISTED took, in order: a battery
// with an address belongs to the listed accessory of that address; one
// without belongs to the listed accessory to which its name gave its charge.
// Supplies that share a HID_UNIQ (a mouse on its receiver and on its cable)
// are one device: the first with a charge speaks for it, else the first.
QList<AccessoryReading> unlisted(const QList<AccessoryReading>& listed, const QList<Battery>& batteries);

// Gives each listed accessory without a charging state the one its kernel
// battery (matched by address) tells.
void addCharging(QList<AccessoryReading>& listed, const QList<Battery>& batteries);

// The system's device batteries; none when they cannot be listed.
QList<Battery> scan(const PowerSupplies& supplies);

} // namespace DeviceBatteryReader
