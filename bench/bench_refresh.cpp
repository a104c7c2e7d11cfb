// Times one full refresh (from refresh() to the published list) against a
// fake BlueZ with 20 connected devices, through the real sources.
#include "AppState.h"
#include "BluezMock.h"
#include "platform/linux/LinuxBundle.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <vector>

int main(int argc, char* argv[]) {
    QTemporaryDir home;
    qputenv("XDG_STATE_HOME", QFile::encodeName(home.path() + "/state"));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path() + "/config"));
    QCoreApplication application(argc, argv);
    QTextStream out(stdout);

    BluezMock bluez;
    PrivateBus session(QStringLiteral("session"));
    if (!bluez.isValid() || !session.isValid() || bluez.addAdapter().isEmpty()) {
        out << "cannot start the fake BlueZ\n";
        return 1;
    }
    for (int i = 0; i < 20; ++i) {
        const QString address = QStringLiteral("AA:BB:CC:DD:EE:%1").arg(i, 2, 16, QLatin1Char('0')).toUpper();
        const QString path = bluez.addDevice(address, QStringLiteral("Device %1").arg(i));
        bluez.setProperty(path, QStringLiteral("org.bluez.Device1"), QStringLiteral("Icon"),
                          QStringLiteral("input-mouse"));
        bluez.addBattery(path, static_cast<quint8>(50 + i));
        bluez.connectDevice(address);
    }
    // The real services read the buses from the environment on first use.
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", bluez.bus().address().toUtf8());
    qputenv("DBUS_SESSION_BUS_ADDRESS", session.address().toUtf8());

    AppState::Services services = AppState::Services::system();
    const LinuxBundle bundle(QStringLiteral(VOLTWREN_STAGE_LIBEXECDIR),
                             QStringLiteral(VOLTWREN_STAGE_DIR "/bin/voltwren"));
    services.readAccessories = [&bundle] { return BluetoothBatteryReader::readAccessories(bundle); };
    services.firstPollTimeout = std::chrono::hours(1);
    AppState state(services);

    std::vector<double> times;
    for (int run = 0; run < 15; ++run) {
        QSignalSpy done(&state, &AppState::refreshCompleted);
        QElapsedTimer clock;
        clock.start();
        state.refresh();
        if (!done.wait(10000)) {
            out << "refresh did not complete\n";
            return 1;
        }
        times.push_back(clock.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    out << "full refresh, " << state.devices().size() << " devices: median " << times[times.size() / 2]
        << " ms (min " << times.front() << ", max " << times.back() << ")\n";
    return 0;
}
