#pragma once

#include <QDBusObjectPath>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <optional>

// Turns BlueZ's object tree into the Bluetooth device report that Voltwren
// reads: controllers first, then the connected devices, then the paired ones
// that are not connected. Pure text building, no bus access.
namespace BluezReport {

// The reply of org.freedesktop.DBus.ObjectManager.GetManagedObjects.
using InterfaceMap = QMap<QString, QVariantMap>;
using ManagedObjects = QMap<QDBusObjectPath, InterfaceMap>;

inline constexpr const char* argument = "SPBluetoothDataType";
inline constexpr const char* usageLine = "usage: bluez-report SPBluetoothDataType\n";

// A value that cannot stand in the report (a battery level that is no byte
// from 0 to 100) is left out, with one line about it in NOTES.
QString build(const ManagedObjects& objects, QStringList* notes = nullptr);

// The error of a bus without BlueZ: then nothing is connected over Bluetooth.
bool meansNoBluez(const QString& errorName);

// The device heading text (without its colon) that reads back as one device
// name: line breaks become spaces, ": " gets a no-break space, and a name
// that would read as a section heading gets a trailing no-break space.
QString headingName(const QString& name);

// A word for the Class of Device's minor class, when it names one.
std::optional<QString> minorTypeForClass(quint32 deviceClass);
// A word for BlueZ's Icon, when it names one.
std::optional<QString> minorTypeForIcon(const QString& icon);

// A word for a Bluetooth LE Appearance, when it names one.
std::optional<QString> minorTypeForAppearance(quint16 appearance);

struct DeviceIds {
    quint16 vendor = 0;
    quint16 product = 0;

    bool operator==(const DeviceIds&) const = default;
};

// Vendor and product from "bluetooth:vXXXXpYYYYdZZZZ" or "usb:v…p…d…".
std::optional<DeviceIds> idsFromModalias(const QString& modalias);

// The one stderr line (with its line feed) for a failed GetManagedObjects.
QString failureLine(const QString& errorName, const QString& errorMessage);

} // namespace BluezReport
