// Resident memory of the running program under Xvfb, beside a bare Qt
// Widgets program with one tray icon, in the same run: after start-up (with
// a month of charge record), after the panel and the settings window were
// opened once each, and after the history window was opened once. Below the
// figures, both processes' memory by mapping after start-up (with --smaps,
// at every moment).
#include "BenchSupport.h"
#include "PrivateBus.h"
#include "ProgramRun.h"
#include "SmapsBreakdown.h"
#include "TrayWatcherMock.h"
#include "Xvfb.h"
#include "platform/linux/SqliteChargeStore.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QProcess>
#include <QTest>
#include <QTextStream>

namespace {

void settle(int ms) {
    QTest::qWait(ms);
}

// Thirty days of the five devices, in 1% steps: what a month leaves behind.
bool seedRecord(const QString& path) {
    SqliteChargeStore store(path, ChargeStore::Access::readWrite);
    if (!store.open())
        return false;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    QList<ChargePoint> points;
    for (int device = 0; device < 5; ++device) {
        const QString id = QStringLiteral("AA:BB:CC:DD:EE:%1").arg(device, 2, 16, QLatin1Char('0')).toUpper();
        for (qint64 hour = 30 * 24; hour > 0; --hour)
            points.append(ChargePoint{id, QStringLiteral("Device %1").arg(device), DeviceKind::mouse,
                                      now - hour * 3600 * 1000, 100 - (30 * 24 - hour) % 70, true});
    }
    return store.append(points);
}

bool callProgram(PrivateBus& session, const QString& method) {
    const QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("app.voltwren.Voltwren"), QStringLiteral("/app/voltwren/Voltwren"),
        QStringLiteral("app.voltwren.Voltwren1"), method);
    return session.connection().call(call, QDBus::Block, 5000).type() == QDBusMessage::ReplyMessage;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    QTextStream out(stdout);
    const bool everyMoment = QCoreApplication::arguments().contains(QStringLiteral("--smaps"));
    Xvfb x;
    BluezMock bluez;
    PrivateBus session(QStringLiteral("session"));
    if (!x.isValid() || !bluez.isValid() || !session.isValid() || !BenchSupport::addDevices(bluez, 5)) {
        out << "cannot start Xvfb, the buses or the fake BlueZ\n";
        return 1;
    }
    TrayWatcherMock tray(session);
    if (!tray.isValid()) {
        out << "cannot start the tray watcher\n";
        return 1;
    }

    ProgramRun bare(&bluez.bus(), &session, x.display());
    bare.program = QStringLiteral(VOLTWREN_BARE_TRAY);
    ProgramRun voltwren(&bluez.bus(), &session, x.display());
    if (!seedRecord(voltwren.home() + QStringLiteral("/state/app.voltwren.Voltwren/history.sqlite"))) {
        out << "cannot write the charge record\n";
        return 1;
    }
    if (!bare.start() || !voltwren.start()) {
        out << "cannot start the programs\n";
        return 1;
    }
    // Both icons registered and the first poll done, then a quiet moment.
    const QDeadlineTimer deadline(30000);
    while ((tray.registeredItems().size() < 2 || !voltwren.output().contains("Refreshed battery states")) &&
           !deadline.hasExpired())
        settle(100);
    settle(5000);
    const qint64 barePid = bare.processId();
    const qint64 voltwrenPid = voltwren.processId();
    const qint64 bareStart = BenchSupport::residentKilobytes(barePid);
    const qint64 voltwrenStart = BenchSupport::residentKilobytes(voltwrenPid);
    QList<std::pair<QString, std::pair<SmapsBreakdown::Table, SmapsBreakdown::Table>>> breakdowns;
    const auto breakDown = [&](const QString& moment) {
        breakdowns.append({moment, {SmapsBreakdown::read(barePid), SmapsBreakdown::read(voltwrenPid)}});
    };
    breakDown(QStringLiteral("after start-up"));

    // The panel (a click on the item), then the settings window.
    QString item;
    for (const QString& name : tray.registeredItems()) {
        if (tray.itemProperty(name, QStringLiteral("Title")).toString() == QLatin1String("Voltwren"))
            item = name;
    }
    const bool clicked = !item.isEmpty() && tray.callItem(item, QStringLiteral("Activate"), {0, 0});
    settle(2000);
    const bool settingsShown = callProgram(session, QStringLiteral("ShowSettings"));
    settle(5000);
    const qint64 bareAfter = BenchSupport::residentKilobytes(barePid);
    const qint64 voltwrenAfter = BenchSupport::residentKilobytes(voltwrenPid);
    if (everyMoment)
        breakDown(QStringLiteral("after panel and settings"));

    // The history window, with its month of readings drawn.
    const bool historyShown = callProgram(session, QStringLiteral("ShowHistory"));
    settle(5000);
    const qint64 bareHistory = BenchSupport::residentKilobytes(barePid);
    const qint64 voltwrenHistory = BenchSupport::residentKilobytes(voltwrenPid);
    if (everyMoment)
        breakDown(QStringLiteral("after the history window"));

    // Closed again (Ctrl+W), and the next poll (which hands freed memory back).
    qputenv("DISPLAY", x.display().toLocal8Bit());
    // (xdotool may complain of the window it just closed.)
    QProcess::execute(QStringLiteral("xdotool"),
                      {QStringLiteral("search"), QStringLiteral("--name"), QStringLiteral("Voltwren History"),
                       QStringLiteral("windowfocus"), QStringLiteral("--sync"), QStringLiteral("key"),
                       QStringLiteral("ctrl+w")});
    settle(500);
    const bool historyClosed =
        QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--name"),
                                                      QStringLiteral("Voltwren History")}) != 0;
    settle(1000);
    callProgram(session, QStringLiteral("Refresh"));
    settle(5000);
    const qint64 bareClosed = BenchSupport::residentKilobytes(barePid);
    const qint64 voltwrenClosed = BenchSupport::residentKilobytes(voltwrenPid);
    if (everyMoment)
        breakDown(QStringLiteral("after closing it and a poll"));

    const auto mb = [](qint64 kb) { return QString::number(double(kb) / 1024.0, 'f', 1); };
    const auto ratio = [](qint64 a, qint64 b) { return QString::number(double(a) / double(b), 'f', 2); };
    out << "panel opened: " << (clicked ? "yes" : "NO")
        << ", settings opened: " << (settingsShown ? "yes" : "NO")
        << ", history opened: " << (historyShown ? "yes" : "NO")
        << ", closed: " << (historyClosed ? "yes" : "NO") << "\n";
    out << "| moment | bare tray program | voltwren | ratio | target |\n| --- | --- | --- | --- | --- |\n";
    out << "| after start-up | " << mb(bareStart) << " MB | " << mb(voltwrenStart) << " MB | "
        << ratio(voltwrenStart, bareStart) << " | <= 1.15 |\n";
    out << "| after panel and settings | " << mb(bareAfter) << " MB | " << mb(voltwrenAfter) << " MB | "
        << ratio(voltwrenAfter, bareAfter) << " | <= 1.5 |\n";
    out << "| after the history window | " << mb(bareHistory) << " MB | " << mb(voltwrenHistory) << " MB | "
        << ratio(voltwrenHistory, bareHistory) << " | <= 1.7 |\n";
    out << "| after closing it and a poll | " << mb(bareClosed) << " MB | " << mb(voltwrenClosed) << " MB | "
        << ratio(voltwrenClosed, bareClosed) << " | <= 1.8 |\n";
    for (const auto& [moment, tables] : breakdowns)
        SmapsBreakdown::print(out, moment, tables.first, tables.second);
    voltwren.stop();
    bare.stop();
    return 0;
}
