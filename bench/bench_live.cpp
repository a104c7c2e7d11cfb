// How live the running program is, against a fake BlueZ on private buses:
//   bench_live latency  BlueZ announces a mouse at 10 % (from 50 %): time to
//                       the notification request, median of 20 runs
//   bench_live flood [N]  500 (or N) Refresh() calls in a row: the polls they cause
//   bench_live adverts  connected earbuds advertise a new left level: time until
//                       the running program's Devices show it, median of 20,
//                       and how long each discovery burst lasted
//   bench_live idle     wake-ups of the whole process (all its threads) in
//                       20 s of idle after the first poll
//   bench_live kernel   under umockdev: a mouse's supply goes 50 -> 10 % by a
//                       change uevent, time to the notification request,
//                       median of 20; then 50 change uevents over 1 s, five
//                       times: the refreshes each caused
//   bench_live wakes [N]  500 (or N) PrepareForSleep(false) in a row: the polls
#include "BenchSupport.h"
#include "BluezMock.h"
#include "PrivateBus.h"
#include "ProgramRun.h"
#include "Testbed.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

#include <algorithm>
#include <functional>
#include <vector>

namespace {

QTextStream out(stdout);

qint64 countIn(const QString& path, const QByteArray& text) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().count(text) : -1;
}

// Voluntary and involuntary context switches of every thread of PID.
qint64 contextSwitches(qint64 pid) {
    qint64 total = 0;
    const QString tasks = QStringLiteral("/proc/%1/task").arg(pid);
    for (const QString& task : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile status(tasks + QLatin1Char('/') + task + QStringLiteral("/status"));
        if (!status.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.contains("ctxt_switches:"))
                total += line.mid(line.indexOf(':') + 1).trimmed().toLongLong();
        }
    }
    return total;
}

// Waits until the program has stopped polling for QUIET ms (bounded).
void waitForQuiet(ProgramRun& voltwren, int quiet = 2000) {
    QDeadlineTimer deadline(1800000);
    qsizetype polls = -1;
    while (!deadline.hasExpired()) {
        const qsizetype now = voltwren.output().count(QStringLiteral("Refreshed battery states"));
        if (now == polls && now > 0)
            return;
        polls = now;
        QTest::qWait(quiet);
    }
}

// The median, least and most of TIMES (in ms), as a line's end.
QString spread(std::vector<double> times) {
    std::sort(times.begin(), times.end());
    return QStringLiteral("median %1 ms (min %2, max %3)")
        .arg(QString::number(times[times.size() / 2], 'f', 1), QString::number(times.front(), 'f', 1),
             QString::number(times.back(), 'f', 1));
}

// Twenty times, SET_PERCENT(10) and the time until the notification request
// reaches NOTIFY_LOG, then back to 50 (the next drop is a new low spell);
// prints the spread, for WHAT. False when a step could not be taken.
bool timeToNotify(ProgramRun& voltwren, const QString& notifyLog, const std::function<bool(int)>& setPercent,
                  const QString& what) {
    std::vector<double> times;
    for (int run = 0; run < 20; ++run) {
        const qint64 before = countIn(notifyLog, " Notify ");
        QElapsedTimer clock;
        clock.start();
        if (!setPercent(10))
            return false;
        while (countIn(notifyLog, " Notify ") == before && clock.elapsed() < 30000)
            QTest::qWait(1);
        if (countIn(notifyLog, " Notify ") == before) {
            out << "run " << run << ": no notification within 30 s\n";
            return true;
        }
        times.push_back(double(clock.nsecsElapsed()) / 1e6);
        setPercent(50);
        waitForQuiet(voltwren, 700);
    }
    out << what << " to notification request, 20 runs: " << spread(times) << "\n";
    return true;
}

int latency(BluezMock& bluez, PrivateBus& session) {
    QTemporaryDir dir;
    const QString notifyLog = dir.path() + QStringLiteral("/notify.log");
    DbusMock notifications(session, false, {QStringLiteral("-t"), QStringLiteral("notification_daemon")},
                           QStringLiteral("org.freedesktop.Notifications"), notifyLog);
    if (bluez.addAdapter().isEmpty())
        return 1;
    const QString mouse = bluez.addDevice(QStringLiteral("AA:BB:CC:DD:EE:01"), QStringLiteral("Desk Mouse"));
    const auto setPercent = [&](int percent) {
        return bluez.setProperty(mouse, QStringLiteral("org.bluez.Battery1"), QStringLiteral("Percentage"),
                                 QVariant::fromValue(uchar(percent)));
    };
    if (!notifications.isValid() || mouse.isEmpty() ||
        !bluez.setProperty(mouse, QStringLiteral("org.bluez.Device1"), QStringLiteral("Icon"),
                           QStringLiteral("input-mouse")) ||
        !bluez.addBattery(mouse, 50) || !bluez.connectDevice(QStringLiteral("AA:BB:CC:DD:EE:01")))
        return 1;
    ProgramRun voltwren(&bluez.bus(), &session);
    voltwren.writeDefaults(R"({"voltwren.threshold": 20, "voltwren.sendNotifications": true})");
    if (!voltwren.start() || !voltwren.waitForOutput(QStringLiteral("Refreshed battery states"), 20000))
        return 1;
    waitForQuiet(voltwren);

    if (!timeToNotify(voltwren, notifyLog, setPercent, QStringLiteral("BlueZ announcement")))
        return 1;
    voltwren.stop();
    return 0;
}

int kernel(BluezMock& bluez, PrivateBus& session) {
    QTemporaryDir dir;
    const QString notifyLog = dir.path() + QStringLiteral("/notify.log");
    DbusMock notifications(session, false, {QStringLiteral("-t"), QStringLiteral("notification_daemon")},
                           QStringLiteral("org.freedesktop.Notifications"), notifyLog);
    Testbed bed;
    if (!notifications.isValid() || !bed.isValid() || bluez.addAdapter().isEmpty() || !bed.run(R"([
  {"do": "add", "subsystem": "hid", "name": "0003:046D:4101.0001",
   "properties": {"HID_NAME": "Marathon Mouse", "HID_UNIQ": "4101-a1-b2", "DRIVER": "logitech-hidpp-device"}},
  {"do": "add", "name": "hidpp_battery_0", "parent": "0003:046D:4101.0001",
   "attributes": {"type": "Battery", "scope": "Device", "status": "Discharging", "capacity": "50",
                  "model_name": "Marathon Mouse", "serial_number": "4101-a1-b2"}}])"))
        return 1;
    const auto setCapacity = [&](int percent) {
        return bed.run(
            QStringLiteral(R"({"do": "set", "path": "hidpp_battery_0", "attributes": {"capacity": "%1"}})")
                .arg(percent)
                .toUtf8());
    };
    ProgramRun voltwren(&bluez.bus(), &session);
    bed.apply(voltwren.environment);
    voltwren.writeDefaults(R"({"voltwren.threshold": 20, "voltwren.sendNotifications": true})");
    if (!voltwren.start() || !voltwren.waitForOutput(QStringLiteral("Refreshed battery states"), 20000))
        return 1;
    waitForQuiet(voltwren);

    if (!timeToNotify(voltwren, notifyLog, setCapacity, QStringLiteral("change uevent")))
        return 1;

    QStringList bursts;
    for (int run = 0; run < 5; ++run) {
        const qsizetype before = voltwren.output().count(QStringLiteral("Refreshed battery states"));
        if (!bed.run(R"({"do": "burst", "path": "hidpp_battery_0", "count": 50, "seconds": 1})"))
            return 1;
        waitForQuiet(voltwren, 1500);
        bursts << QString::number(voltwren.output().count(QStringLiteral("Refreshed battery states")) -
                                  before);
    }
    out << "50 change uevents over 1 s, 5 times: refreshes " << bursts.join(QStringLiteral(", ")) << "\n";
    voltwren.stop();
    return 0;
}

int wakes(BluezMock& bluez, PrivateBus& session, int count) {
    DbusMock logind(bluez.bus(), true, {QStringLiteral("-t"), QStringLiteral("logind")},
                    QStringLiteral("org.freedesktop.login1"));
    if (!logind.isValid() || !BenchSupport::addDevices(bluez, 3))
        return 1;
    ProgramRun voltwren(&bluez.bus(), &session);
    if (!voltwren.start() || !voltwren.waitForOutput(QStringLiteral("Refreshed battery states"), 20000))
        return 1;
    waitForQuiet(voltwren);
    const qsizetype pollsBefore = voltwren.output().count(QStringLiteral("Refreshed battery states"));
    QDBusMessage wake = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.DBus.Mock"), QStringLiteral("EmitSignal"));
    wake << QStringLiteral("org.freedesktop.login1.Manager") << QStringLiteral("PrepareForSleep")
         << QStringLiteral("b") << QVariantList{false};
    QElapsedTimer clock;
    clock.start();
    int sent = 0;
    for (int i = 0; i < count; ++i) {
        if (bluez.connection().call(wake, QDBus::Block, 5000).type() == QDBusMessage::ReplyMessage)
            ++sent;
    }
    const qint64 took = clock.elapsed();
    waitForQuiet(voltwren, 3000);
    out << sent << " of " << count << " wake signals sent in " << took << " ms; polls caused: "
        << voltwren.output().count(QStringLiteral("Refreshed battery states")) - pollsBefore << "\n";
    voltwren.stop();
    return 0;
}

// The left bud's level of the device ADDRESS in the running program's Devices.
std::optional<int> leftLevel(const QDBusConnection& session, const QString& address) {
    QDBusMessage get = QDBusMessage::createMethodCall(
        QStringLiteral("app.voltwren.Voltwren"), QStringLiteral("/app/voltwren/Voltwren"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << QStringLiteral("app.voltwren.Voltwren1") << QStringLiteral("Devices");
    const QDBusMessage reply = session.call(get, QDBus::Block, 5000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return std::nullopt;
    const QVariant devices = reply.arguments().constFirst().value<QDBusVariant>().variant();
    for (const QVariantMap& device : qdbus_cast<QList<QVariantMap>>(devices.value<QDBusArgument>())) {
        if (device.value(QStringLiteral("id")).toString() != address)
            continue;
        const QVariant parts = device.value(QStringLiteral("components"));
        if (parts.metaType() != QMetaType::fromType<QDBusArgument>())
            continue;
        const QList<QVariantMap> components = qdbus_cast<QList<QVariantMap>>(parts.value<QDBusArgument>());
        if (!components.isEmpty() && components.constFirst().contains(QStringLiteral("percent")))
            return components.constFirst().value(QStringLiteral("percent")).toInt();
    }
    return std::nullopt;
}

int adverts(BluezMock& bluez, PrivateBus& session) {
    const QString address = QStringLiteral("11:22:33:44:55:66");
    if (bluez.addAdapter().isEmpty())
        return 1;
    const QString buds = bluez.addDevice(address, QStringLiteral("Pods Pro"));
    if (buds.isEmpty() ||
        !bluez.setProperty(buds, QStringLiteral("org.bluez.Device1"), QStringLiteral("Modalias"),
                           QStringLiteral("bluetooth:v004Cp2014d0B20")) ||
        !bluez.connectDevice(address))
        return 1;
    const QString near = bluez.addDevice(QStringLiteral("7A:00:00:00:00:01"), QString());
    ProgramRun voltwren(&bluez.bus(), &session);
    if (!voltwren.start() || !session.waitForName(QStringLiteral("app.voltwren.Voltwren")) ||
        !voltwren.waitForOutput(QStringLiteral("Refreshed battery states"), 20000))
        return 1;
    const auto discovering = [&bluez] {
        return bluez
            .property(QStringLiteral("/org/bluez/hci0"), QStringLiteral("org.bluez.Adapter1"),
                      QStringLiteral("Discovering"))
            .toBool();
    };
    QElapsedTimer burst;
    burst.start();
    while (!discovering() && burst.elapsed() < 20000)
        QTest::qWait(5);
    burst.restart();
    while (discovering() && burst.elapsed() < 60000)
        QTest::qWait(5);
    const double burstSeconds = double(burst.elapsed()) / 1000.0;

    std::vector<double> times;
    for (int run = 0; run < 20; ++run) {
        const int left = 1 + run % 9;
        QByteArray message(27, '\0');
        const char head[] = {0x07, 0x19, 0x01, 0x14, 0x20, 0x20};
        std::copy(std::begin(head), std::end(head), message.begin());
        message[6] = char(0x70 | left);
        message[7] = 0x05;
        QElapsedTimer clock;
        clock.start();
        if (!bluez.advertise(near, 0x004C, message, -50))
            return 1;
        while (leftLevel(session.connection(), address) != left * 10 && clock.elapsed() < 10000)
            QTest::qWait(2);
        if (leftLevel(session.connection(), address) != left * 10) {
            out << "run " << run << ": not shown within 10 s\n";
            return 0;
        }
        times.push_back(double(clock.nsecsElapsed()) / 1e6);
        waitForQuiet(voltwren, 400);
    }
    std::sort(times.begin(), times.end());
    out << "advert to Devices, 20 runs: median " << QString::number(times[times.size() / 2], 'f', 1)
        << " ms (min " << QString::number(times.front(), 'f', 1) << ", max "
        << QString::number(times.back(), 'f', 1) << "); the burst lasted about "
        << QString::number(burstSeconds, 'f', 1)
        << " s; bursts logged: " << voltwren.log().count(QStringLiteral("Advertised batteries: discovering"))
        << "\n";
    voltwren.stop();
    return 0;
}

int flood(BluezMock& bluez, PrivateBus& session, int count) {
    if (!BenchSupport::addDevices(bluez, 3))
        return 1;
    ProgramRun voltwren(&bluez.bus(), &session);
    if (!voltwren.start() || !session.waitForName(QStringLiteral("app.voltwren.Voltwren")) ||
        !voltwren.waitForOutput(QStringLiteral("Refreshed battery states"), 20000))
        return 1;
    waitForQuiet(voltwren);
    const qsizetype pollsBefore = voltwren.output().count(QStringLiteral("Refreshed battery states"));
    const qint64 logBefore = QFileInfo(voltwren.logPath()).size();

    QDBusConnection connection = session.connection();
    const QDBusMessage refresh = QDBusMessage::createMethodCall(
        QStringLiteral("app.voltwren.Voltwren"), QStringLiteral("/app/voltwren/Voltwren"),
        QStringLiteral("app.voltwren.Voltwren1"), QStringLiteral("Refresh"));
    QElapsedTimer clock;
    clock.start();
    int answered = 0;
    for (int i = 0; i < count; ++i) {
        if (connection.call(refresh, QDBus::Block, 5000).type() == QDBusMessage::ReplyMessage)
            ++answered;
    }
    const qint64 calls = clock.elapsed();
    waitForQuiet(voltwren, 3000);
    const qsizetype polls = voltwren.output().count(QStringLiteral("Refreshed battery states")) - pollsBefore;
    out << answered << " of " << count << " Refresh() answered in " << calls << " ms; polls caused: " << polls
        << "; log grew by " << (QFileInfo(voltwren.logPath()).size() - logBefore) / 1024 << " kB\n";
    voltwren.stop();
    return 0;
}

int idle(BluezMock& bluez, PrivateBus& session) {
    if (!BenchSupport::addDevices(bluez, 3))
        return 1;
    ProgramRun voltwren(&bluez.bus(), &session);
    if (!voltwren.start() || !voltwren.waitForOutput(QStringLiteral("Refreshed battery states"), 20000))
        return 1;
    waitForQuiet(voltwren);
    const qint64 pid = voltwren.processId();
    const qint64 before = contextSwitches(pid);
    QTest::qWait(20000);
    const qint64 after = contextSwitches(pid);
    out << "wake-ups in 20 s of idle (context switches, all threads): " << (after - before) << " ("
        << QDir(QStringLiteral("/proc/%1/task").arg(pid)).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size()
        << " threads)\n";
    voltwren.stop();
    return 0;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    const QString mode = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    BluezMock bluez;
    PrivateBus session(QStringLiteral("session"));
    if (!bluez.isValid() || !session.isValid()) {
        out << "cannot start the buses or the fake BlueZ\n";
        return 1;
    }
    int status = 2;
    if (mode == QLatin1String("latency"))
        status = latency(bluez, session);
    else if (mode == QLatin1String("flood"))
        status = flood(bluez, session, argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 500);
    else if (mode == QLatin1String("adverts"))
        status = adverts(bluez, session);
    else if (mode == QLatin1String("idle"))
        status = idle(bluez, session);
    else if (mode == QLatin1String("kernel"))
        status = kernel(bluez, session);
    else if (mode == QLatin1String("wakes"))
        status = wakes(bluez, session, argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 500);
    else
        out << "usage: bench_live latency|flood|adverts|idle|kernel|wakes\n";
    if (status == 1)
        out << "could not set up the run\n";
    return status;
}
