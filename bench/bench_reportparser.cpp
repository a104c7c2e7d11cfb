// Times parsing of a large Bluetooth device report, and checks that doubling
// the input at most doubles the time (linear parsing).
#include "sources/SystemProfilerBluetoothInfo.h"

#include <QElapsedTimer>
#include <QTextStream>

#include <algorithm>
#include <vector>

using namespace SystemProfilerBluetoothInfo;

namespace {

QString makeReport(qsizetype targetBytes) {
    QString report =
        QStringLiteral("Bluetooth:\n\n      Bluetooth Controller:\n          Address: 00:11:22:33:44:55\n"
                       "          State: On\n      Connected:\n");
    for (int i = 0; report.size() < targetBytes; ++i) {
        report += QStringLiteral("          Device %1:\n"
                                 "              Address: AA:BB:CC:DD:%2:%3\n"
                                 "              Vendor ID: 0x004C\n"
                                 "              Product ID: 0x2014\n"
                                 "              Left Battery Level: 100%\n"
                                 "              Right Battery Level: 90%\n"
                                 "              Case Battery Level: 45%\n"
                                 "              Minor Type: Headphones\n"
                                 "              RSSI: -52\n")
                      .arg(i)
                      .arg((i / 256) % 256, 2, 16, QLatin1Char('0'))
                      .arg(i % 256, 2, 16, QLatin1Char('0'));
    }
    return report;
}

double medianMilliseconds(const QString& report, int runs) {
    std::vector<double> times;
    qsizetype devices = 0;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer clock;
        clock.start();
        const QList<DeviceBlock> blocks = parseDeviceBlocks(report);
        for (const DeviceBlock& block : blocks)
            devices += makeConnectedDevice(block).name.size();
        times.push_back(clock.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return devices > 0 ? times[times.size() / 2] : 0;
}

} // namespace

int main() {
    QTextStream out(stdout);
    const QString one = makeReport(1 << 20);
    const QString two = makeReport(2 << 20);
    const double t1 = medianMilliseconds(one, 15);
    const double t2 = medianMilliseconds(two, 15);
    out << "report parse, 1 MiB: median " << t1 << " ms\n";
    out << "report parse, 2 MiB: median " << t2 << " ms (ratio " << t2 / t1 << ", limit 2.2)\n";
    return t2 <= 2.2 * t1 ? 0 : 1;
}
