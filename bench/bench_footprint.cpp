// Resident memory of the running program under Xvfb, beside a bare Qt
// Widgets program with one tray icon, in the same run: after start-up, and
// after the panel and the settings window were opened once each.
#include "BenchSupport.h"
#include "PrivateBus.h"
#include "ProgramRun.h"
#include "TrayWatcherMock.h"
#include "Xvfb.h"

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

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    QTextStream out(stdout);
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

    // The panel (a click on the item), then the settings window.
    QString item;
    for (const QString& name : tray.registeredItems()) {
        if (tray.itemProperty(name, QStringLiteral("Title")).toString() == QLatin1String("Voltwren"))
            item = name;
    }
    const bool clicked = !item.isEmpty() && tray.callItem(item, QStringLiteral("Activate"), {0, 0});
    settle(2000);
    QDBusMessage showSettings = QDBusMessage::createMethodCall(
        QStringLiteral("app.voltwren.Voltwren"), QStringLiteral("/app/voltwren/Voltwren"),
        QStringLiteral("app.voltwren.Voltwren1"), QStringLiteral("ShowSettings"));
    const bool settingsShown =
        session.connection().call(showSettings, QDBus::Block, 5000).type() == QDBusMessage::ReplyMessage;
    settle(5000);
    const qint64 bareAfter = BenchSupport::residentKilobytes(barePid);
    const qint64 voltwrenAfter = BenchSupport::residentKilobytes(voltwrenPid);

    const auto mb = [](qint64 kb) { return QString::number(double(kb) / 1024.0, 'f', 1); };
    const auto ratio = [](qint64 a, qint64 b) { return QString::number(double(a) / double(b), 'f', 2); };
    out << "panel opened: " << (clicked ? "yes" : "NO")
        << ", settings opened: " << (settingsShown ? "yes" : "NO") << "\n";
    out << "| moment | bare tray program | voltwren | ratio | target |\n| --- | --- | --- | --- | --- |\n";
    out << "| after start-up | " << mb(bareStart) << " MB | " << mb(voltwrenStart) << " MB | "
        << ratio(voltwrenStart, bareStart) << " | <= 1.2 |\n";
    out << "| after panel and settings | " << mb(bareAfter) << " MB | " << mb(voltwrenAfter) << " MB | "
        << ratio(voltwrenAfter, bareAfter) << " | <= 1.6 |\n";
    voltwren.stop();
    bare.stop();
    return 0;
}
