// One recorded write: the store's transaction on the disk (the record's own
// thread), and what the main thread spends handing a changed reading over.
#include "history/ChargeHistory.h"
#include "platform/linux/SqliteChargeStore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>

namespace {

QString summary(QList<qint64> nanoseconds) {
    std::sort(nanoseconds.begin(), nanoseconds.end());
    const auto at = [&nanoseconds](double share) {
        const qsizetype index =
            std::min(nanoseconds.size() - 1, qsizetype(double(nanoseconds.size()) * share));
        return QString::number(double(nanoseconds.at(index)) / 1000.0, 'f', 1);
    };
    return at(0.5) + QStringLiteral(" µs | ") + at(0.99) + QStringLiteral(" µs | ") + at(1.0) +
           QStringLiteral(" µs");
}

QList<MonitoredDevice> devices(qint64 mousePercent) {
    QList<MonitoredDevice> list;
    list.append(MonitoredDevice{"mac", "Laptop", DeviceKind::mac, 87, true, false, std::nullopt});
    list.append(
        MonitoredDevice{"mouse", "Desk Mouse", DeviceKind::mouse, mousePercent, true, false, std::nullopt});
    for (int i = 0; i < 3; ++i)
        list.append(MonitoredDevice{QString("device-%1").arg(i), QString("Device %1").arg(i),
                                    DeviceKind::keyboard, 50 + i, true, false, std::nullopt});
    return list;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    QTextStream out(stdout);
    QTemporaryDir home;
    qputenv("XDG_STATE_HOME", QFile::encodeName(home.path()));
    const QString path = home.path() + "/history.sqlite";
    constexpr int runs = 500;

    // The transaction itself, as the record's thread runs it.
    QList<qint64> writes;
    {
        SqliteChargeStore store(path, ChargeStore::Access::readWrite);
        if (!store.open()) {
            out << "cannot open " << path << "\n";
            return 1;
        }
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        for (int i = 0; i < runs; ++i) {
            QElapsedTimer timer;
            timer.start();
            store.append(
                {ChargePoint{"mouse", "Desk Mouse", DeviceKind::mouse, now + i, 100 - i % 100, true}});
            writes << timer.nsecsElapsed();
        }
    }

    // The main thread's part: deciding what changed and handing it over.
    QList<qint64> handovers;
    {
        ChargeHistory history([path] { return makeChargeStore(path, ChargeStore::Access::readWrite); });
        QSignalSpy loaded(&history, &ChargeHistory::loaded);
        history.open();
        loaded.wait(10000);
        QSignalSpy recorded(&history, &ChargeHistory::recorded);
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        for (int i = 0; i < runs; ++i) {
            const QList<MonitoredDevice> list = devices(100 - i % 100);
            QElapsedTimer timer;
            timer.start();
            history.record(list, now + i * 1000);
            handovers << timer.nsecsElapsed();
            QCoreApplication::processEvents();
        }
        while (recorded.size() < runs && recorded.wait(5000)) {
        }
    }

    out << "| one recorded write (" << runs << " runs) | median | 99th percentile | slowest |\n"
        << "| --- | --- | --- | --- |\n"
        << "| transaction on disk (record's thread) | " << summary(writes) << " |\n"
        << "| hand-over on the main thread | " << summary(handovers) << " |\n";
    return 0;
}
