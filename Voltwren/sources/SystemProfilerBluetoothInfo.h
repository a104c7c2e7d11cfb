#pragma once

#include "model/SubBatteryReading.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class Bundle;

// Reads the text report of the Bluetooth device tool (bluez-report on Linux,
// playing the role of `system_profiler SPBluetoothDataType`) and turns each
// device of its connected sections into a ConnectedDevice.
namespace SystemProfilerBluetoothInfo {

// The raw text of one device: its heading name and the lines that follow it.
struct DeviceBlock {
    QString name;
    QStringList lines;

    bool operator==(const DeviceBlock&) const = default;
};

struct ConnectedDevice {
    QString name;
    std::optional<QString> address;
    std::optional<QString> minorType;
    std::optional<qint64> vendorID;
    std::optional<qint64> productID;
    std::optional<qint64> rssi;
    std::optional<qint64> batteryPercent;
    std::optional<QList<SubBatteryReading>> subReadings;

    bool operator==(const ConnectedDevice&) const = default;
};

struct ComponentReadings {
    QList<SubBatteryReading> readings;
    std::optional<qint64> overallPercent;

    bool operator==(const ComponentReadings&) const = default;
};

// The auxiliary executable that produces the report, and its one argument.
inline constexpr const char* reportToolName = "bluez-report";
inline constexpr const char* reportArgument = "SPBluetoothDataType";

// The connected devices in report order; nullopt when the tool failed, which
// says nothing about what is connected. Blocks until the tool has exited:
// never call on the main thread.
std::optional<QList<ConnectedDevice>> connectedDevices();
std::optional<QList<ConnectedDevice>> connectedDevices(const Bundle& bundle);

// The tool's standard output, or nullopt (launch failure, non-zero status,
// timeout, invalid UTF-8).
std::optional<QString> runSystemProfiler();
std::optional<QString> runSystemProfiler(const Bundle& bundle);

QList<DeviceBlock> parseDeviceBlocks(const QString& report);
void logDeviceBlocks(const QList<DeviceBlock>& blocks);
// A level outside 0 to 100 is no level (with a debug line).
ConnectedDevice makeConnectedDevice(const DeviceBlock& block);

std::optional<QString> stringValue(const QString& key, const QStringList& lines);
std::optional<qint64> hexIntValue(const QString& key, const QStringList& lines);
std::optional<qint64> intValue(const QString& key, const QStringList& lines);
std::optional<qint64> percentValue(const QString& key, const QStringList& lines);

// Always three components (left, right, case); overall is the smaller of the
// earbuds present, never the case.
ComponentReadings componentReadings(std::optional<qint64> left, std::optional<qint64> right,
                                    std::optional<qint64> caseLevel);

// Horizontal white space as the report grammar trims it: tab and every
// space separator (U+0020, U+00A0, U+2000..., U+3000).
QString trimmedHorizontal(const QString& text);

} // namespace SystemProfilerBluetoothInfo
