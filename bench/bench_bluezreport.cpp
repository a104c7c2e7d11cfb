// Times one run of the staged bluez-report tool, process start included,
// against a BlueZ mock with 50 connected devices, and prints the median.
#include "BluezMock.h"
#include "sources/SystemProfilerBluetoothInfo.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTextStream>

#include <algorithm>
#include <vector>

namespace {

constexpr int deviceCount = 50;
constexpr int runs = 30;
const QString tool = QStringLiteral(VOLTWREN_STAGE_LIBEXECDIR "/bluez-report");

bool populate(BluezMock& mock) {
    if (mock.addAdapter().isEmpty())
        return false;
    for (int i = 0; i < deviceCount; ++i) {
        const QString address = QStringLiteral("AA:BB:CC:DD:EE:%1").arg(i, 2, 16, QLatin1Char('0')).toUpper();
        const QString path = BluezMock::devicePath(address);
        if (mock.addDevice(address, QStringLiteral("Device %1").arg(i)).isEmpty() ||
            !mock.setProperty(path, QStringLiteral("org.bluez.Device1"), QStringLiteral("Class"),
                              QVariant::fromValue(0x240418u)) ||
            !mock.setProperty(path, QStringLiteral("org.bluez.Device1"), QStringLiteral("Modalias"),
                              QStringLiteral("bluetooth:v004Cp2014d0100")) ||
            !mock.addBattery(path, static_cast<quint8>(i)) || !mock.connectDevice(address))
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    QTextStream out(stdout);
    BluezMock mock;
    if (!mock.isValid() || !populate(mock)) {
        out << "bench_bluezreport: could not set up the BlueZ mock\n";
        return 1;
    }
    const QProcessEnvironment environment = environmentWithBuses(&mock.bus(), nullptr);

    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        QProcess process;
        process.setProcessEnvironment(environment);
        QElapsedTimer clock;
        clock.start();
        process.start(tool, {QStringLiteral("SPBluetoothDataType")});
        if (!process.waitForFinished(10000) || process.exitCode() != 0) {
            out << "bench_bluezreport: " << tool << " failed\n";
            return 1;
        }
        times.push_back(clock.nsecsElapsed() / 1e6);
        const auto blocks = SystemProfilerBluetoothInfo::parseDeviceBlocks(
            QString::fromUtf8(process.readAllStandardOutput()));
        if (blocks.size() != deviceCount) {
            out << "bench_bluezreport: expected " << deviceCount << " devices, read " << blocks.size()
                << "\n";
            return 1;
        }
    }
    std::sort(times.begin(), times.end());
    out << "bluez-report, " << deviceCount << " connected devices, " << runs << " runs: median "
        << QString::number(times[times.size() / 2], 'f', 1) << " ms (min "
        << QString::number(times.front(), 'f', 1) << ", max " << QString::number(times.back(), 'f', 1)
        << ")\n";
    return 0;
}
