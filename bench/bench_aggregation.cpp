// Times one pure aggregation over 200 report devices, 200 GATT and 200
// registry readings, with a helper that answers nothing at once.
//
// Every name is unique so that no duplicate is collapsed: a collapse writes
// a log line, and file writes would be timed instead of the merge itself.
#include "sources/BluetoothBatteryReader.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <vector>

using namespace BluetoothBatteryReader;

namespace {

constexpr int deviceCount = 200;

QString addressOf(int i, const QChar separator) {
    return QStringLiteral("AA%1BB%1CC%1DD%1%2%1%3")
        .arg(separator)
        .arg((i / 256) % 256, 2, 16, QLatin1Char('0'))
        .arg(i % 256, 2, 16, QLatin1Char('0'))
        .toUpper();
}

// A spread over every branch: own charge, own components, GATT, HID by
// address, HID by name, helper, no address, and signal sightings.
QList<ConnectedDevice> makeProfiler() {
    QList<ConnectedDevice> devices;
    for (int i = 0; i < deviceCount; ++i) {
        ConnectedDevice device;
        device.name = QStringLiteral("Accessory Number %1 Mouse").arg(i);
        device.address = addressOf(i, QLatin1Char(':'));
        device.minorType = QStringLiteral("Mouse");
        switch (i % 8) {
        case 0:
            device.batteryPercent = 50;
            break;
        case 1:
            device.vendorID = 0x004C;
            device.productID = 0x2014;
            device.subReadings = SystemProfilerBluetoothInfo::componentReadings({}, {}, 40).readings;
            break;
        case 5:
            device.address.reset();
            break;
        case 6:
            device.minorType.reset();
            device.rssi = -60;
            break;
        default:
            break;
        }
        devices.append(device);
    }
    return devices;
}

QList<GATTBatteryReader::Reading> makeGatt() {
    QList<GATTBatteryReader::Reading> readings;
    for (int i = 0; i < deviceCount; ++i) {
        // Every eighth offset 2 device matches by name; the rest miss.
        const int target = i % 8 == 2 ? i : i + 1000;
        readings.append(
            {QStringLiteral("id-%1").arg(i), QStringLiteral("ACCESSORY NUMBER %1 MOUSE").arg(target), 70});
    }
    return readings;
}

QList<HIDBatteryReader::Reading> makeHid() {
    QList<HIDBatteryReader::Reading> readings;
    for (int i = 0; i < deviceCount; ++i) {
        if (i % 2 == 0)
            readings.append({QStringLiteral("Registry %1").arg(i), 60,
                             addressOf(i % 8 == 3 || i % 8 == 4 ? i : i + 1000, QLatin1Char(':'))});
        else
            readings.append(
                {QStringLiteral("accessory number %1 mouse").arg(i % 8 == 3 ? i : i + 1000), 61, {}});
    }
    return readings;
}

} // namespace

int main() {
    QTemporaryDir state;
    qputenv("XDG_STATE_HOME", QFile::encodeName(state.path()));

    const QList<ConnectedDevice> profiler = makeProfiler();
    const QList<GATTBatteryReader::Reading> gatt = makeGatt();
    const QList<HIDBatteryReader::Reading> hid = makeHid();
    qsizetype helperCalls = 0;
    const auto gattSnapshot = [&] { return gatt; };
    const auto registryScan = [&] { return hid; };
    const PrivateReader helper =
        [&](const QString&) -> std::optional<IOBluetoothPrivateBatteryReader::Reading> {
        ++helperCalls;
        return std::nullopt;
    };

    constexpr int warmUp = 50;
    constexpr int runs = 2000;
    std::vector<double> times;
    times.reserve(runs);
    qsizetype readings = 0;
    for (int run = 0; run < warmUp + runs; ++run) {
        QElapsedTimer clock;
        clock.start();
        readings = aggregate(profiler, gattSnapshot, registryScan, helper).size();
        if (run >= warmUp)
            times.push_back(clock.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    const double median = times[times.size() / 2];
    const double p95 = times[times.size() * 95 / 100];

    QTextStream out(stdout);
    out << "aggregation, " << deviceCount << " devices / " << gatt.size() << " GATT / " << hid.size()
        << " registry readings: " << readings << " readings, " << helperCalls / (warmUp + runs)
        << " helper calls per run\n";
    out << "time per call: median " << median << " ms, p95 " << p95 << " ms (target < 1 ms)\n";
    return median < 1.0 ? 0 : 1;
}
