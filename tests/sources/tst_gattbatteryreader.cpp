#include "SimulatedCentral.h"
#include "StdoutCapture.h"
#include "app/DiagnosticLog.h"
#include "sources/GATTBatteryReader.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <atomic>
#include <thread>

using Peripheral = SimulatedCentral::Peripheral;
using Service = SimulatedCentral::Service;
using Characteristic = SimulatedCentral::Characteristic;

namespace {

const QString dbg = QStringLiteral("Voltwren [debug]: ");

QString idText(const QUuid& uuid) {
    return uuid.toString(QUuid::WithoutBraces).toUpper();
}

QList<GATTBatteryReader::Reading> only(const QString& id, const QString& name, qint64 percent) {
    return {GATTBatteryReader::Reading{id, name, percent}};
}

// What ACTION printed on standard output. The capture ends before any
// comparison so that failure messages reach the real output.
QStringList printed(const std::function<void()>& action) {
    StdoutCapture capture;
    action();
    return capture.lines();
}

qint64 logSize() {
    return QFileInfo(logFileURL()).size();
}

// The messages logged after OFFSET, without their timestamps.
QStringList loggedSince(qint64 offset) {
    QFile file(logFileURL());
    if (!file.open(QIODevice::ReadOnly) || !file.seek(offset))
        return {};
    QStringList messages;
    for (const QString& line :
         QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const qsizetype end = line.indexOf(QStringLiteral("] "));
        messages << (end < 0 ? line : line.mid(end + 2));
    }
    return messages;
}

// A reader over a simulated central, counting its two callbacks.
struct Harness {
    SimulatedCentral* central = new SimulatedCentral;
    GATTBatteryReader reader{std::unique_ptr<BluetoothCentral>(central)};
    int updates = 0;
    int firstStates = 0;

    Harness() {
        reader.onUpdate = [this] { ++updates; };
        reader.onFirstStateKnown = [this] { ++firstStates; };
    }
    // Powered on, with PERIPHERALS connected: the state report runs the first scan.
    void powerOnWith(const QList<std::shared_ptr<Peripheral>>& peripherals) {
        central->connectedPeripherals = peripherals;
        central->reportState(BluetoothCentral::statePoweredOn);
        central->deliverAll();
    }
    void scanAndDeliver() {
        reader.scan();
        central->deliverAll();
    }
};

QString readingLine(const QString& name, int percent) {
    return dbg + QStringLiteral("GATT Battery Service reading for \"%1\": %2%").arg(name).arg(percent);
}

QStringList scanLines(int count) {
    return {
        dbg +
        QStringLiteral("BlueZ sees %1 connected peripheral(s) advertising the Battery Service").arg(count)};
}

} // namespace

class GATTBatteryReaderTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        qputenv("XDG_STATE_HOME", QFile::encodeName(m_dir.path() + "/state"));
        // The shared reader's own central must find no system bus here.
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", QFile::encodeName("unix:path=" + m_dir.path() + "/no-bus.sock"));
        diagnosticLog(QStringLiteral("test start"));
        QVERIFY(QFile::exists(logFileURL()));
    }

    void firstStateOffThenOn() {
        Harness h;
        qint64 offset = logSize();
        QStringList out = printed([&] { h.central->reportState(BluetoothCentral::statePoweredOff); });
        QCOMPARE(out, QStringList{dbg + "BlueZ adapter state changed to powered off"});
        QCOMPARE(loggedSince(offset), QStringList{"BlueZ adapter state changed to powered off"});
        QCOMPARE(h.firstStates, 1);
        QVERIFY(h.central->calls.isEmpty());

        offset = logSize();
        out = printed([&] { h.central->reportState(BluetoothCentral::statePoweredOn); });
        QCOMPARE(out, QStringList{dbg + "BlueZ adapter state changed to powered on"} + scanLines(0));
        QCOMPARE(loggedSince(offset), (QStringList{"BlueZ adapter state changed to powered on",
                                                   "Scanning for Bluetooth devices via BlueZ (Battery "
                                                   "Service)\u2026",
                                                   "BlueZ scan found 0 peripheral(s) advertising the "
                                                   "Battery Service"}));
        QCOMPARE(h.firstStates, 1);
        QCOMPARE(h.central->calls, QStringList{"retrieve 0000180f"});
    }

    void firstStateCallbackSetLateIsNeverCalled() {
        Harness h;
        h.reader.onFirstStateKnown = nullptr;
        printed([&] { h.central->reportState(BluetoothCentral::statePoweredOff); });
        int calls = 0;
        h.reader.onFirstStateKnown = [&] { ++calls; };
        printed([&] { h.central->reportState(BluetoothCentral::statePoweredOn); });
        QCOMPARE(calls, 0);
    }

    void scanWhenNotPoweredOn_data() {
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("named");
        QTest::newRow("unknown, before any report") << 0 << "unknown";
        QTest::newRow("resetting") << 1 << "resetting";
        QTest::newRow("unsupported") << 2 << "no adapter";
        QTest::newRow("unauthorized") << 3 << "not permitted";
        QTest::newRow("powered off") << 4 << "powered off";
    }
    void scanWhenNotPoweredOn() {
        QFETCH(int, state);
        QFETCH(QString, named);
        Harness h;
        if (state != 0)
            printed([&] { h.central->reportState(state); });
        h.central->calls.clear();
        const qint64 offset = logSize();
        const QStringList out = printed([&] { h.reader.scan(); });
        QCOMPARE(out, QStringList{dbg + QStringLiteral("BlueZ adapter not ready yet (state=%1); will retry "
                                                       "once powered on")
                                            .arg(named)});
        QCOMPARE(
            loggedSince(offset),
            QStringList{
                QStringLiteral("GATT scan skipped \u2014 Bluetooth not powered on (state=%1)").arg(named)});
        QVERIFY(h.central->calls.isEmpty());
    }

    void twoPeripheralsAreStoredAndConnectedInOrder() {
        Harness h;
        auto first = SimulatedCentral::batteryPeripheral(QStringLiteral("Desk Mouse"), QByteArray("\x40", 1));
        auto second =
            SimulatedCentral::batteryPeripheral(QStringLiteral("Desk Keyboard"), QByteArray("\x41", 1));
        h.central->connectedPeripherals = {first, second};
        printed([&] { h.central->reportState(BluetoothCentral::statePoweredOn); });
        h.central->calls.clear();

        const qint64 offset = logSize();
        const QStringList out = printed([&] { h.reader.scan(); });
        QCOMPARE(out, scanLines(2));
        QCOMPARE(loggedSince(offset).last(),
                 QStringLiteral("BlueZ scan found 2 peripheral(s) advertising the Battery Service"));
        QCOMPARE(h.central->calls.mid(0, 3),
                 (QStringList{"retrieve 0000180f", "connect Desk Mouse", "connect Desk Keyboard"}));
        QCOMPARE(h.reader.connectedPeripherals().size(), 2);
        QCOMPARE(h.reader.connectedPeripherals().value(first->id), first);
        QCOMPARE(h.reader.connectedPeripherals().value(second->id), second);

        // The same identifier again replaces the entry.
        auto again = SimulatedCentral::batteryPeripheral(QStringLiteral("Desk Mouse"), QByteArray("\x40", 1),
                                                         first->id);
        h.central->connectedPeripherals = {again};
        printed([&] { h.scanAndDeliver(); });
        QCOMPARE(h.reader.connectedPeripherals().size(), 2);
        QCOMPARE(h.reader.connectedPeripherals().value(first->id), again);
    }

    void deskKeyboardReadingThenUnchangedThenChanged() {
        Harness h;
        auto keyboard =
            SimulatedCentral::batteryPeripheral(QStringLiteral("Desk Keyboard"), QByteArray("\x4D\x00", 2));
        h.central->connectedPeripherals = {keyboard};
        printed([&] { h.central->reportState(BluetoothCentral::statePoweredOn); });
        QStringList out = printed([&] { h.central->deliverAll(); });
        QCOMPARE(out, QStringList{readingLine("Desk Keyboard", 77)});
        QCOMPARE(h.central->calls,
                 (QStringList{"retrieve 0000180f", "connect Desk Keyboard",
                              "discoverServices Desk Keyboard 0000180f",
                              "discoverCharacteristics Desk Keyboard 0000180f 00002a19",
                              "read Desk Keyboard 00002a19", "notify Desk Keyboard 00002a19"}));
        QCOMPARE(h.updates, 1);
        QCOMPARE(h.reader.copyLatestReadings(), only(idText(keyboard->id), "Desk Keyboard", 77));

        qint64 offset = logSize();
        out = printed([&] { h.scanAndDeliver(); });
        QCOMPARE(out, scanLines(1) + QStringList{readingLine("Desk Keyboard", 77)});
        QCOMPARE(
            loggedSince(offset).last(),
            QStringLiteral("GATT reading for \"Desk Keyboard\" unchanged at 77% \u2014 skipping refresh"));
        QCOMPARE(h.updates, 1);

        SimulatedCentral::levelOf(keyboard)->value = QByteArray("\x4C", 1);
        offset = logSize();
        printed([&] { h.scanAndDeliver(); });
        QCOMPARE(h.updates, 2);
        QVERIFY(!loggedSince(offset).join('\n').contains("unchanged"));
        QCOMPARE(h.reader.copyLatestReadings().constFirst().batteryPercent, 76);
    }

    void valueBytes_data() {
        QTest::addColumn<std::optional<QByteArray>>("value");
        QTest::addColumn<int>("expected"); // -1: nothing stored
        QTest::addColumn<QString>("line"); // the last line printed
        const QString none = dbg + "BlueZ sees 1 connected peripheral(s) advertising the Battery Service";
        const QString range = dbg + "GATT Battery Level for \"Pad\" out of range: %1 \u2014 ignored";
        QTest::newRow("0x64 is 100") << std::optional(QByteArray("\x64", 1)) << 100
                                     << readingLine("Pad", 100);
        QTest::newRow("0x00") << std::optional(QByteArray("\x00", 1)) << 0 << readingLine("Pad", 0);
        QTest::newRow("only the first byte counts")
            << std::optional(QByteArray("\x64\x05\x07", 3)) << 100 << readingLine("Pad", 100);
        QTest::newRow("101 is no charge") << std::optional(QByteArray("\x65", 1)) << -1 << range.arg(101);
        QTest::newRow("high bit is not a sign")
            << std::optional(QByteArray("\x80", 1)) << -1 << range.arg(128);
        QTest::newRow("0xFF is no charge") << std::optional(QByteArray("\xFF", 1)) << -1 << range.arg(255);
        QTest::newRow("empty value") << std::optional(QByteArray()) << -1 << none;
        QTest::newRow("absent value") << std::optional<QByteArray>() << -1 << none;
    }
    void valueBytes() {
        QFETCH(std::optional<QByteArray>, value);
        QFETCH(int, expected);
        QFETCH(QString, line);
        Harness h;
        auto accessory = SimulatedCentral::batteryPeripheral(QStringLiteral("Pad"), value);
        const qint64 offset = logSize();
        const QStringList out = printed([&] { h.powerOnWith({accessory}); });
        QCOMPARE(out.last(), line);
        if (expected < 0) {
            QVERIFY(h.reader.copyLatestReadings().isEmpty());
            QCOMPARE(h.updates, 0);
            QCOMPARE(loggedSince(offset).size(), 3);
        } else {
            QCOMPARE(h.reader.copyLatestReadings(), only(idText(accessory->id), "Pad", expected));
            QCOMPARE(h.updates, 1);
        }
    }

    // Notified values take the path of read ones; a peripheral that connects
    // later is read and followed without a scan.
    void notifiedValuesAndLateConnections() {
        Harness h;
        int events = 0;
        h.reader.onConnectionEvent = [&] { ++events; };
        auto keyboard = SimulatedCentral::batteryPeripheral(QStringLiteral("Keys"), QByteArray("\x32", 1));
        SimulatedCentral::levelOf(keyboard)->notifyError = QStringLiteral("Not supported");
        QStringList out = printed([&] { h.powerOnWith({keyboard}); });
        QCOMPARE(out.last(), dbg + "cannot follow the battery level of \"Keys\": Not supported");
        const auto notify = [&](const std::shared_ptr<Peripheral>& peripheral, char percent) {
            SimulatedCentral::levelOf(peripheral)->value = QByteArray(1, percent);
            return printed(
                [&] { h.central->injectValueUpdate(peripheral, SimulatedCentral::levelOf(peripheral)); });
        };
        QCOMPARE(notify(keyboard, 10), QStringList{readingLine("Keys", 10)});
        notify(keyboard, 10);
        QCOMPARE(h.updates, 2); // the unchanged value stays silent

        auto mouse = SimulatedCentral::batteryPeripheral(QStringLiteral("Mouse"), QByteArray("\x2A", 1));
        h.central->connectedPeripherals = {keyboard, mouse};
        h.central->calls.clear();
        out = printed([&] {
            h.central->reportConnectionEvent();
            h.central->deliverAll();
            h.central->reportConnectionEvent(); // already followed
        });
        QCOMPARE(out, (QStringList{dbg + "following newly connected peripheral \"Mouse\"",
                                   readingLine("Mouse", 42)}));
        QCOMPARE(h.central->calls,
                 (QStringList{"retrieve 0000180f", "connect Mouse", "discoverServices Mouse 0000180f",
                              "discoverCharacteristics Mouse 0000180f 00002a19", "read Mouse 00002a19",
                              "notify Mouse 00002a19", "retrieve 0000180f"}));
        QCOMPARE(events, 2);
        QCOMPARE(h.updates, 3);
    }

    void unnamedPeripheralIsUnknownAccessory() {
        Harness h;
        auto accessory = SimulatedCentral::batteryPeripheral(std::nullopt, QByteArray("\x2A", 1));
        const QStringList out = printed([&] { h.powerOnWith({accessory}); });
        QCOMPARE(out.last(), readingLine("Unknown Accessory", 42));
        QCOMPARE(h.reader.copyLatestReadings().constFirst().name, QStringLiteral("Unknown Accessory"));
    }

    void renamedPeripheralIsStoredUnderItsNewName() {
        Harness h;
        auto accessory = SimulatedCentral::batteryPeripheral(QStringLiteral("Old"), QByteArray("\x2A", 1));
        printed([&] { h.powerOnWith({accessory}); });
        accessory->currentName = QStringLiteral("New");
        const qint64 offset = logSize();
        printed([&] { h.scanAndDeliver(); });
        QCOMPARE(h.reader.copyLatestReadings(), only(idText(accessory->id), "New", 42));
        // The change test looks at the percent only.
        QCOMPARE(loggedSince(offset).last(),
                 QStringLiteral("GATT reading for \"New\" unchanged at 42% \u2014 skipping refresh"));
    }

    void errorLines_data() {
        QTest::addColumn<QString>("failure");
        QTest::addColumn<std::optional<QString>>("name");
        QTest::addColumn<QString>("expected");
        const std::optional<QString> named = QStringLiteral("Desk Mouse");
        const std::optional<QString> unnamed;
        QTest::newRow("connect, named")
            << "connect" << named << dbg + "failed to connect to \"Desk Mouse\": Connection refused";
        QTest::newRow("connect, unnamed")
            << "connect" << unnamed << dbg + "failed to connect to \"unknown\": Connection refused";
        QTest::newRow("connect without error")
            << "connect-nil" << named << dbg + "failed to connect to \"Desk Mouse\": nil";
        QTest::newRow("services, named")
            << "services" << named << dbg + "service discovery error for \"Desk Mouse\": Timed out";
        QTest::newRow("services, unnamed")
            << "services" << unnamed << dbg + "service discovery error for \"unknown\": Timed out";
        QTest::newRow("characteristics, unnamed")
            << "characteristics" << unnamed
            << dbg + "characteristic discovery error for \"unknown\": Timed out";
        QTest::newRow("read, named") << "read" << named
                                     << dbg + "read error for \"Desk Mouse\": Not permitted";
        QTest::newRow("read, unnamed")
            << "read" << unnamed << dbg + "read error for \"unknown\": Not permitted";
    }
    void errorLines() {
        QFETCH(QString, failure);
        QFETCH(std::optional<QString>, name);
        QFETCH(QString, expected);
        Harness h;
        auto accessory = SimulatedCentral::batteryPeripheral(name, QByteArray("\x2A", 1));
        if (failure == "connect")
            accessory->connectFailure = std::optional<QString>(QStringLiteral("Connection refused"));
        else if (failure == "connect-nil")
            accessory->connectFailure = std::optional<QString>();
        else if (failure == "services")
            accessory->discoveryError = QStringLiteral("Timed out");
        else if (failure == "characteristics")
            accessory->services->constFirst()->discoveryError = QStringLiteral("Timed out");
        else
            SimulatedCentral::levelOf(accessory)->readError = QStringLiteral("Not permitted");

        const qint64 offset = logSize();
        const QStringList out = printed([&] { h.powerOnWith({accessory}); });
        QCOMPARE(out.last(), expected);
        QCOMPARE(out.size(), 3);
        QCOMPARE(loggedSince(offset).size(), 3); // errors are printed, not logged
        QVERIFY(h.reader.copyLatestReadings().isEmpty());
        QCOMPARE(h.updates, 0);
        // A failed connection stays held.
        QCOMPARE(h.reader.connectedPeripherals().size(), 1);
    }

    void readErrorKeepsThePreviousReading() {
        Harness h;
        auto accessory = SimulatedCentral::batteryPeripheral(QStringLiteral("Pad"), QByteArray("\x2A", 1));
        printed([&] { h.powerOnWith({accessory}); });
        SimulatedCentral::levelOf(accessory)->readError = QStringLiteral("Not permitted");
        SimulatedCentral::levelOf(accessory)->value = QByteArray("\x10", 1);
        printed([&] { h.scanAndDeliver(); });
        QCOMPARE(h.reader.copyLatestReadings(), only(idText(accessory->id), "Pad", 42));
        QCOMPARE(h.updates, 1);
    }

    void serviceAndCharacteristicSelection_data() {
        QTest::addColumn<QStringList>("services");        // "-" absent
        QTest::addColumn<QStringList>("characteristics"); // of the 180F service; "-" absent
        QTest::addColumn<QStringList>("expectedCalls");   // after discoverServices
        const QString discover = "discoverCharacteristics Pad 0000180f 00002a19";
        const QString read = "read Pad 00002a19";
        const QString notify = "notify Pad 00002a19";
        QTest::newRow("several services") << QStringList{"180A", "180F", "1812"} << QStringList{"2A19"}
                                          << QStringList{discover, read, notify};
        QTest::newRow("empty services list") << QStringList{} << QStringList{"2A19"} << QStringList{};
        QTest::newRow("absent services") << QStringList{"-"} << QStringList{"2A19"} << QStringList{};
        QTest::newRow("no battery service")
            << QStringList{"180A", "1812"} << QStringList{"2A19"} << QStringList{};
        QTest::newRow("several characteristics") << QStringList{"180F"} << QStringList{"2A1A", "2A19", "2A1B"}
                                                 << QStringList{discover, read, notify};
        QTest::newRow("empty characteristics")
            << QStringList{"180F"} << QStringList{} << QStringList{discover};
        QTest::newRow("absent characteristics")
            << QStringList{"180F"} << QStringList{"-"} << QStringList{discover};
        QTest::newRow("full UUID text matches")
            << QStringList{"0000180F-0000-1000-8000-00805F9B34FB"}
            << QStringList{"00002a19-0000-1000-8000-00805f9b34fb"} << QStringList{discover, read, notify};
    }
    void serviceAndCharacteristicSelection() {
        QFETCH(QStringList, services);
        QFETCH(QStringList, characteristics);
        QFETCH(QStringList, expectedCalls);
        Harness h;
        auto accessory = std::make_shared<Peripheral>(QUuid::createUuid(), QStringLiteral("Pad"));
        if (services != QStringList{"-"}) {
            QList<std::shared_ptr<Service>> list;
            for (const QString& text : services) {
                auto service = std::make_shared<Service>(bluetoothUuid(text));
                if (characteristics != QStringList{"-"}) {
                    QList<std::shared_ptr<Characteristic>> chars;
                    for (const QString& c : characteristics)
                        chars << std::make_shared<Characteristic>(bluetoothUuid(c), QByteArray("\x33", 1));
                    service->characteristics = chars;
                }
                list << service;
            }
            accessory->services = list;
        }
        printed([&] { h.powerOnWith({accessory}); });
        QCOMPARE(h.central->calls.mid(3), expectedCalls);
        QCOMPARE(h.reader.copyLatestReadings().size(), expectedCalls.contains("read Pad 00002a19") ? 1 : 0);
    }

    void valueOfAnotherCharacteristicIsIgnored() {
        Harness h;
        auto accessory = SimulatedCentral::batteryPeripheral(QStringLiteral("Pad"), QByteArray("\x2A", 1));
        auto other = std::make_shared<Characteristic>(bluetoothUuid("2A1A"), QByteArray("\x2A", 1));
        printed([&] { h.central->reportState(BluetoothCentral::statePoweredOff); });
        const QStringList out = printed([&] { h.central->injectValueUpdate(accessory, other); });
        QVERIFY(out.isEmpty());
        QVERIFY(h.reader.copyLatestReadings().isEmpty());
        QCOMPARE(h.updates, 0);
    }

    void authorizationComesFromTheCentral() {
        Harness h;
        QCOMPARE(h.reader.authorization(), BluetoothAuthorization::allowedAlways);
        h.central->authorizationValue = BluetoothAuthorization::denied;
        QCOMPARE(h.reader.authorization(), BluetoothAuthorization::denied);
        GATTBatteryReader withoutCentral(nullptr);
        QCOMPARE(withoutCentral.authorization(), BluetoothAuthorization::notDetermined);
    }

    // The aggregator copies from its own thread while readings arrive.
    void copiesFromAnotherThreadWhileReadingsArrive() {
        Harness h;
        h.reader.onUpdate = nullptr;
        constexpr int rounds = 4000;
        QList<std::shared_ptr<Peripheral>> accessories;
        for (int i = 0; i < 3; ++i)
            accessories << SimulatedCentral::batteryPeripheral(QStringLiteral("0"), QByteArray(1, '\0'));

        std::atomic<bool> done{false};
        std::atomic<int> copies{0};
        std::atomic<int> inconsistent{0};
        std::thread aggregator([&] {
            while (!done.load()) {
                const QList<GATTBatteryReader::Reading> copy = h.reader.copyLatestReadings();
                for (const GATTBatteryReader::Reading& reading : copy) {
                    if (reading.name != QString::number(reading.batteryPercent) || reading.id.size() != 36)
                        ++inconsistent;
                }
                if (copy.size() > 3)
                    ++inconsistent;
                ++copies;
            }
        });
        {
            StdoutCapture quiet;
            h.central->connectedPeripherals = accessories;
            h.central->reportState(BluetoothCentral::statePoweredOn);
            h.central->deliverAll();
            for (int round = 1; round <= rounds; ++round) {
                // Name and percent change together, so a torn copy shows.
                for (const auto& accessory : accessories) {
                    const int percent = round % 101;
                    accessory->currentName = QString::number(percent);
                    SimulatedCentral::levelOf(accessory)->value = QByteArray(1, static_cast<char>(percent));
                    h.central->injectValueUpdate(accessory, SimulatedCentral::levelOf(accessory));
                }
            }
        }
        // Let the aggregator see the final table at least once.
        const int seen = copies.load();
        QTRY_VERIFY_WITH_TIMEOUT(copies.load() > seen, 10000);
        done = true;
        aggregator.join();
        QCOMPARE(inconsistent.load(), 0);
        QVERIFY(copies.load() > 0);
        const QList<GATTBatteryReader::Reading> last = h.reader.copyLatestReadings();
        QCOMPARE(last.size(), 3);
        for (const GATTBatteryReader::Reading& reading : last)
            QCOMPARE(reading.batteryPercent, rounds % 101);
    }

    // Last: the shared reader is never destroyed.
    void sharedReaderFirstUsedOffTheMainThreadLivesOnIt() {
        GATTBatteryReader* fromWorker = nullptr;
        QList<GATTBatteryReader::Reading> workerCopy{{"x", "x", 1}};
        std::thread worker([&] {
            fromWorker = &GATTBatteryReader::shared();
            workerCopy = fromWorker->copyLatestReadings();
        });
        worker.join();
        QVERIFY(fromWorker);
        QVERIFY(workerCopy.isEmpty());
        QCOMPARE(&GATTBatteryReader::shared(), fromWorker);
        QCOMPARE(fromWorker->thread(), QCoreApplication::instance()->thread());

        // Its central is made on the main thread and reports there: no bus, state 2.
        int firstStates = 0;
        QThread* reportedOn = nullptr;
        fromWorker->onFirstStateKnown = [&] {
            ++firstStates;
            reportedOn = QThread::currentThread();
        };
        const QStringList out = printed([&] {
            (void)QTest::qWaitFor([&] { return firstStates > 0; }, 10000);
            fromWorker->scan();
        });
        QCOMPARE(firstStates, 1);
        QCOMPARE(reportedOn, QCoreApplication::instance()->thread());
        QVERIFY(out.contains(dbg + "BlueZ adapter state changed to no adapter"));
        // The shared reader outlives this test: drop the callback that points at its locals.
        fromWorker->onFirstStateKnown = nullptr;
        QCOMPARE(out.last(),
                 dbg + "BlueZ adapter not ready yet (state=no adapter); will retry once powered on");
    }
};

QTEST_GUILESS_MAIN(GATTBatteryReaderTest)
#include "tst_gattbatteryreader.moc"
