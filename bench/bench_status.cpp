// `voltwren status --json` against a running program, beside one bare gdbus
// call reading the same property; then a soak of 1,000 Refresh() calls with
// 20 devices, with the program's memory and open descriptors before and after.
#include "BenchSupport.h"
#include "PrivateBus.h"
#include "ProgramRun.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <QTextStream>

#include <algorithm>
#include <vector>

namespace {

double medianMs(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

// Wall time of one run of PROGRAM to its end, in ms; -1 when it failed.
double timeRun(const QProcessEnvironment& environment, const QString& program, const QStringList& arguments) {
    QProcess process;
    process.setProcessEnvironment(environment);
    QElapsedTimer timer;
    timer.start();
    process.start(program, arguments);
    if (!process.waitForFinished(20000) || process.exitCode() != 0)
        return -1;
    return double(timer.nsecsElapsed()) / 1e6;
}

} // namespace

// Counts the program's announcements of a new poll.
class PollCounter : public QObject {
    Q_OBJECT
public:
    int polls = 0;
public Q_SLOTS:
    void onChanged(const QDBusMessage&) { ++polls; }
};

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    QTextStream out(stdout);
    BluezMock bluez;
    PrivateBus session(QStringLiteral("session"));
    if (!bluez.isValid() || !session.isValid() || !BenchSupport::addDevices(bluez, 20)) {
        out << "cannot start the buses or the fake BlueZ\n";
        return 1;
    }
    ProgramRun voltwren(&bluez.bus(), &session);
    if (!voltwren.start() || !session.waitForName(QStringLiteral("app.voltwren.Voltwren")) ||
        !voltwren.waitForOutput(QStringLiteral("Refreshed battery states"), 20000)) {
        out << "cannot start voltwren\n";
        return 1;
    }
    QTest::qWait(2000);

    const QStringList gdbus{QStringLiteral("call"),
                            QStringLiteral("--session"),
                            QStringLiteral("--dest"),
                            QStringLiteral("app.voltwren.Voltwren"),
                            QStringLiteral("--object-path"),
                            QStringLiteral("/app/voltwren/Voltwren"),
                            QStringLiteral("--method"),
                            QStringLiteral("org.freedesktop.DBus.Properties.Get"),
                            QStringLiteral("app.voltwren.Voltwren1"),
                            QStringLiteral("Devices")};
    std::vector<double> statusTimes;
    std::vector<double> gdbusTimes;
    for (int i = 0; i < 30; ++i) {
        statusTimes.push_back(timeRun(voltwren.environment, voltwren.program,
                                      {QStringLiteral("status"), QStringLiteral("--json")}));
        gdbusTimes.push_back(timeRun(voltwren.environment, QStringLiteral("gdbus"), gdbus));
    }
    const double status = medianMs(statusTimes);
    const double bare = medianMs(gdbusTimes);
    out << "| command (median of 30) | wall time |\n| --- | --- |\n";
    out << "| voltwren status --json | " << QString::number(status, 'f', 1) << " ms |\n";
    out << "| gdbus call (Devices) | " << QString::number(bare, 'f', 1) << " ms |\n";
    out << "ratio " << QString::number(status / bare, 'f', 2) << " (target <= 2)\n\n";

    // The soak: each Refresh() waits for the poll it started to be announced.
    QDBusConnection connection = session.connection();
    PollCounter counter;
    connection.connect(QStringLiteral("app.voltwren.Voltwren"), QStringLiteral("/app/voltwren/Voltwren"),
                       QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("PropertiesChanged"),
                       &counter, SLOT(onChanged(QDBusMessage)));
    const qint64 pid = voltwren.processId();
    const qint64 rssBefore = BenchSupport::residentKilobytes(pid);
    const qint64 fdsBefore = BenchSupport::openDescriptors(pid);
    const QDBusMessage refresh = QDBusMessage::createMethodCall(
        QStringLiteral("app.voltwren.Voltwren"), QStringLiteral("/app/voltwren/Voltwren"),
        QStringLiteral("app.voltwren.Voltwren1"), QStringLiteral("Refresh"));
    QElapsedTimer soak;
    soak.start();
    int answered = 0;
    // BENCH_SOAK_ROUNDS changes the count; BENCH_SOAK_TRACE prints the memory every 250.
    const int rounds = std::max(1, qEnvironmentVariableIsSet("BENCH_SOAK_ROUNDS")
                                       ? qEnvironmentVariableIntValue("BENCH_SOAK_ROUNDS")
                                       : 1000);
    for (int i = 0; i < rounds; ++i) {
        if (qEnvironmentVariableIsSet("BENCH_SOAK_TRACE") && i % 250 == 0)
            out << i << ": " << BenchSupport::residentKilobytes(pid) << " kB\n" << Qt::flush;
        const int before = counter.polls;
        if (connection.call(refresh, QDBus::Block, 5000).type() == QDBusMessage::ReplyMessage)
            ++answered;
        QElapsedTimer wait;
        wait.start();
        while (counter.polls == before && wait.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    QTest::qWait(3000);
    const qint64 rssAfter = BenchSupport::residentKilobytes(pid);
    const qint64 fdsAfter = BenchSupport::openDescriptors(pid);
    out << "soak: " << answered << " of " << rounds << " Refresh() answered, " << counter.polls
        << " announcements, " << QString::number(double(soak.elapsed()) / 1000.0, 'f', 1) << " s\n";
    out << "| | before | after | growth |\n| --- | --- | --- | --- |\n";
    out << "| resident memory | " << rssBefore << " kB | " << rssAfter << " kB | " << (rssAfter - rssBefore)
        << " kB |\n";
    out << "| open descriptors | " << fdsBefore << " | " << fdsAfter << " | " << (fdsAfter - fdsBefore)
        << " |\n";
    voltwren.stop();
    return 0;
}

#include "bench_status.moc"
