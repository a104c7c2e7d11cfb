// The charge record at size: a record of 500,000 readings (one long
// discharge of 10 devices, a reading a minute) and one of 6.5 M (50 devices,
// 90 days), both built with SQL. Measured against the staged program: the
// tray's resident memory 10 s after start beside an empty record, the median
// D-Bus read of Devices, and `voltwren history` (wall time and peak resident
// memory). BENCH_RECORD_SMALL_ONLY skips the large record.
#include "BenchSupport.h"
#include "PrivateBus.h"
#include "ProgramRun.h"
#include "platform/linux/SqliteChargeStore.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>
#include <QTextStream>

#include <algorithm>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

QString recordPath(const ProgramRun& run) {
    return run.home() + QStringLiteral("/state/app.voltwren.Voltwren/history.sqlite");
}

// DEVICES devices ("Device N", as BenchSupport names them) discharging
// without a rise, a reading each a minute for MINUTES, ending now; written
// oldest first as the program would.
bool buildRecord(const QString& path, int devices, qint64 minutes) {
    {
        SqliteChargeStore store(path, ChargeStore::Access::readWrite);
        if (!store.open())
            return false;
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("build"));
    db.setDatabaseName(path);
    bool ok = db.open();
    QSqlQuery query(db);
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    ok = ok && query.exec(QStringLiteral("PRAGMA synchronous=OFF")) &&
         query.exec(QStringLiteral("PRAGMA cache_size=-65536")) &&
         query.exec(QStringLiteral(
                        "WITH RECURSIVE m(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM m WHERE i < %1 - 1), "
                        "d(n) AS (SELECT 0 UNION ALL SELECT n + 1 FROM d WHERE n < %2 - 1) "
                        "INSERT INTO readings (device_id, time, name, kind, percent, connected) "
                        "SELECT printf('AA:BB:CC:DD:EE:%02X', n), %3 - (%1 - i) * 60000 + n, 'Device ' || n, "
                        "'mouse', 100 - i * 90 / %1, 1 FROM m, d ORDER BY i, n")
                        .arg(minutes)
                        .arg(devices)
                        .arg(now));
    if (!ok)
        QTextStream(stderr) << query.lastError().text() << "\n";
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("build"));
    return ok;
}

qint64 highWaterKilobytes(qint64 pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').constFirst().toLongLong();
    }
    return -1;
}

struct Run {
    double ms = -1;
    qint64 peakKilobytes = -1;
    int status = -1;
    QString said;
};

// PROGRAM ARGUMENTS to its end, output thrown away: wall time and peak
// resident memory.
Run measure(const ProgramRun& run, const QStringList& arguments) {
    std::vector<QByteArray> strings;
    strings.push_back(QFile::encodeName(run.program));
    for (const QString& argument : arguments)
        strings.push_back(argument.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& s : strings)
        argv.push_back(s.data());
    argv.push_back(nullptr);
    std::vector<QByteArray> environment;
    for (const QString& entry : run.environment.toStringList())
        environment.push_back(entry.toLocal8Bit());
    std::vector<char*> envp;
    for (QByteArray& s : environment)
        envp.push_back(s.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const QByteArray errors = QFile::encodeName(run.home() + QStringLiteral("/errors.txt"));
    posix_spawn_file_actions_addopen(&actions, 2, errors.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    Run result;
    QElapsedTimer timer;
    timer.start();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) == 0) {
        // Its own high-water mark, read while it runs (what wait4 reports
        // counts the spawning benchmark's memory too); bin/voltwren execs
        // the reader in place, which starts a new mark.
        int status = 0;
        while (waitpid(pid, &status, WNOHANG) == 0) {
            result.peakKilobytes = std::max(result.peakKilobytes, highWaterKilobytes(pid));
            usleep(2000);
        }
        result.ms = double(timer.nsecsElapsed()) / 1e6;
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        QFile said(QString::fromLocal8Bit(errors));
        if (result.status != 0 && said.open(QIODevice::ReadOnly))
            result.said = QString::fromUtf8(said.readAll()).trimmed();
    }
    posix_spawn_file_actions_destroy(&actions);
    return result;
}

QString describe(const Run& run) {
    return QStringLiteral("%1 ms | %2 MB | %3")
        .arg(run.ms, 0, 'f', 0)
        .arg(double(run.peakKilobytes) / 1024.0, 0, 'f', 1)
        .arg(run.said.isEmpty() ? QString::number(run.status)
                                : QString::number(run.status) + QStringLiteral(": ") + run.said);
}

double devicesReadMs(PrivateBus& session) {
    const QDBusMessage get = QDBusMessage::createMethodCall(
        QStringLiteral("app.voltwren.Voltwren"), QStringLiteral("/app/voltwren/Voltwren"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    QDBusMessage call = get;
    call << QStringLiteral("app.voltwren.Voltwren1") << QStringLiteral("Devices");
    std::vector<double> samples;
    for (int i = 0; i < 31; ++i) {
        QElapsedTimer timer;
        timer.start();
        if (session.connection().call(call, QDBus::Block, 10000).type() != QDBusMessage::ReplyMessage)
            return -1;
        samples.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

// The tray on RUN's record: resident memory 10 s after start, then the
// median read of Devices.
std::pair<qint64, double> trayOn(ProgramRun& run, PrivateBus& session) {
    if (!run.start() || !session.waitForName(QStringLiteral("app.voltwren.Voltwren")))
        return {-1, -1};
    QTest::qWait(10000);
    const qint64 rss = BenchSupport::residentKilobytes(run.processId());
    const double read = devicesReadMs(session);
    run.stop();
    return {rss, read};
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    QTextStream out(stdout);
    BluezMock bluez;
    PrivateBus session(QStringLiteral("session"));
    if (!bluez.isValid() || !session.isValid() || !BenchSupport::addDevices(bluez, 10)) {
        out << "cannot start the buses or the fake BlueZ\n";
        return 1;
    }
    ProgramRun empty(&bluez.bus(), &session);
    ProgramRun small(&bluez.bus(), &session);
    QElapsedTimer building;
    building.start();
    if (!buildRecord(recordPath(small), 10, 50000)) {
        out << "cannot build the record\n";
        return 1;
    }
    out << "500,000 readings built in " << building.elapsed() / 1000 << " s, "
        << QFileInfo(recordPath(small)).size() / (1024 * 1024) << " MB\n"
        << Qt::flush;

    const auto [emptyRss, emptyRead] = trayOn(empty, session);
    const auto [smallRss, smallRead] = trayOn(small, session);
    out << "| tray | RSS 10 s after start | Devices read (median of 31) |\n| --- | --- | --- |\n";
    out << "| empty record | " << emptyRss << " kB | " << QString::number(emptyRead, 'f', 2) << " ms |\n";
    out << "| 500,000 readings | " << smallRss << " kB (" << (smallRss - emptyRss) << " kB more) | "
        << QString::number(smallRead, 'f', 2) << " ms |\n\n"
        << Qt::flush;

    out << "| command | wall time | peak RSS | status |\n| --- | --- | --- | --- |\n";
    out << "| 500k: history --days 1 \"Device 3\" | "
        << describe(measure(small, {"history", "--days", "1", "Device 3"})) << " |\n";
    out << "| 500k: history --days 1 (unknown device) | "
        << describe(measure(small, {"history", "--days", "1", "Nobody"})) << " |\n";
    out << "| 500k: history --json --days 90 | "
        << describe(measure(small, {"history", "--json", "--days", "90"})) << " |\n"
        << Qt::flush;

    if (qEnvironmentVariableIsSet("BENCH_RECORD_SMALL_ONLY"))
        return 0;
    ProgramRun large(&bluez.bus(), &session);
    building.restart();
    if (!buildRecord(recordPath(large), 50, 90 * 1440)) {
        out << "cannot build the large record\n";
        return 1;
    }
    out << "| 6.5M (built in " << building.elapsed() / 1000 << " s, "
        << QFileInfo(recordPath(large)).size() / (1024 * 1024) << " MB): history --days 1 \"Device 3\" | "
        << describe(measure(large, {"history", "--days", "1", "Device 3"})) << " |\n"
        << Qt::flush;
    out << "| 6.5M: history --json --days 90 | "
        << describe(measure(large, {"history", "--json", "--days", "90"})) << " |\n"
        << Qt::flush;
    const auto [largeRss, largeRead] = trayOn(large, session);
    out << "\n6.5M tray: " << largeRss << " kB 10 s after start, Devices read "
        << QString::number(largeRead, 'f', 2) << " ms\n";
    return 0;
}
