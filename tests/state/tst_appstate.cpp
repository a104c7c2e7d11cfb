#include "AppState.h"
#include "FakeExecutable.h"
#include "PrivateBus.h"
#include "StateDoubles.h"
#include "StdoutCapture.h"
#include "TestBundle.h"
#include "app/DiagnosticLog.h"
#include "platform/DefaultsStore.h"
#include "platform/LoginItemService.h"
#include "platform/NotificationCenter.h"
#include "sources/GATTBatteryReader.h"

#include <QElapsedTimer>
#include <QFile>
#include <QMutex>
#include <QThread>

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <atomic>

using AccessoryReading = BluetoothBatteryReader::AccessoryReading;

namespace {

AccessoryReading accessory(const QString& id, const QString& name, std::optional<qint64> percent,
                           bool connected = true, DeviceKind kind = DeviceKind::mouse) {
    return AccessoryReading{id, name, kind, percent, connected, std::nullopt};
}

QStringList logMessages() {
    QFile file(logFileURL());
    QStringList messages;
    if (!file.open(QIODevice::ReadOnly))
        return messages;
    for (const QString& line : QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts)) {
        const qsizetype at = line.indexOf(QLatin1String("Z] "));
        if (line.startsWith('[') && at > 0)
            messages << line.mid(at + 3);
    }
    return messages;
}

} // namespace

class AppStateTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_state;
    MemoryDefaults m_defaults;
    RecordingNotifications m_notifications;
    FixedLoginItem m_loginItem;
    SimulatedPowerSupplyMonitor m_powerSupplies;
    SimulatedSleepMonitor m_sleep;
    std::unique_ptr<GATTBatteryReader> m_gatt;
    std::optional<InternalBatteryReading> m_internal;
    QList<AccessoryReading> m_accessories;
    // The sources are read on the thread pool; timer-driven tests change
    // them while refreshes may run.
    QMutex m_sourcesLock;
    std::atomic<int> m_readDelayMs{0};
    // Once: how long the next read takes after it has read (an older list, late).
    std::atomic<int> m_delayAfterReadMs{0};
    std::chrono::milliseconds m_announcementWindow{50};
    // When set, accessories come from the real aggregation over this package.
    const TestBundle* m_reportTool = nullptr;

    void setAccessories(const QList<AccessoryReading>& accessories) {
        const QMutexLocker locker(&m_sourcesLock);
        m_accessories = accessories;
    }

    std::unique_ptr<AppState> makeState(std::chrono::milliseconds firstPollTimeout = std::chrono::hours(1),
                                        std::chrono::milliseconds pollMinute = std::chrono::minutes(1),
                                        std::chrono::milliseconds deliverySecond = std::chrono::seconds(1)) {
        AppState::Services services;
        services.defaults = &m_defaults;
        services.notifications = &m_notifications;
        services.loginItems = &m_loginItem;
        services.gattReader = m_gatt.get();
        services.powerSupplyMonitor = &m_powerSupplies;
        services.sleepMonitor = &m_sleep;
        services.readInternalBattery = [this] { return m_internal; };
        services.readAccessories = [this]() -> std::optional<QList<AccessoryReading>> {
            if (m_reportTool)
                return BluetoothBatteryReader::readAccessories(*m_reportTool);
            QThread::msleep(static_cast<unsigned long>(m_readDelayMs.load()));
            QList<AccessoryReading> read;
            {
                const QMutexLocker locker(&m_sourcesLock);
                read = m_accessories;
            }
            QThread::msleep(static_cast<unsigned long>(m_delayAfterReadMs.exchange(0)));
            return read;
        };
        services.firstPollTimeout = firstPollTimeout;
        services.pollMinute = pollMinute;
        services.deliverySecond = deliverySecond;
        services.announcementWindow = m_announcementWindow;
        return std::make_unique<AppState>(services);
    }

    static void refreshAndWait(AppState& state) { QVERIFY(StateFixture::refreshAndWait(state)); }

    // Plays STEPS on the mouse "AA" and the notification server:
    // "read P [charging|unplugged]", "leave", "timeout", "answer",
    // "attempts N" (waits until N posts were tried), "late" (the last tried
    // post is shown after all), "server" (a server appears).
    void play(AppState& state, const QStringList& steps) {
        for (const QString& step : steps) {
            const QStringList words = step.split(' ');
            if (words[0] == "read") {
                AccessoryReading reading = accessory("AA", "Desk Mouse", words[1].toLongLong());
                if (words.size() > 2)
                    reading.isCharging = words[2] == "charging";
                setAccessories({reading});
                refreshAndWait(state);
            } else if (words[0] == "leave") {
                setAccessories({});
                refreshAndWait(state);
            } else if (words[0] == "timeout") {
                m_notifications.failure = NotificationError{"no answer in time", false, true};
            } else if (words[0] == "answer") {
                m_notifications.failure.reset();
            } else if (words[0] == "attempts") {
                QTRY_COMPARE(m_notifications.attempted.size(), words[1].toLongLong());
            } else if (words[0] == "late") {
                // After the post's own (failed) completion, as a real server's answer comes.
                QCoreApplication::processEvents();
                m_notifications.onDeliveredLate(m_notifications.attempted.last().requestIdentifier);
            } else if (words[0] == "server") {
                m_notifications.onServerAppeared();
            }
        }
    }

    static QStringList bodies(const QList<Notification>& notifications) {
        QStringList result;
        for (const Notification& notification : notifications)
            result << notification.body;
        return result;
    }

    void clearLog() {
        QFile file(logFileURL());
        if (file.exists())
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    }

private Q_SLOTS:
    void initTestCase() { qputenv("XDG_STATE_HOME", QFile::encodeName(m_state.path())); }

    void init() {
        m_defaults = MemoryDefaults();
        m_notifications.grant = true;
        m_notifications.authorizationError.reset();
        m_notifications.authorizationRequests = 0;
        m_notifications.posted.clear();
        m_notifications.attempted.clear();
        m_notifications.failure.reset();
        m_gatt = std::make_unique<GATTBatteryReader>(nullptr);
        m_internal.reset();
        m_accessories.clear();
        m_reportTool = nullptr;
    }

    void freshInstallDefaults() {
        const auto state = makeState();
        QCOMPARE(state->threshold(), 20.0);
        QCOMPARE(state->pollIntervalMinutes(), 15.0);
        QCOMPARE(state->highlightMenubarIcon(), true);
        QCOMPARE(state->sendNotifications(), false);
        QCOMPARE(state->launchAtLogin(), false);
        QVERIFY(state->deviceThresholdOverrides().isEmpty());
        QCOMPARE(m_notifications.authorizationRequests, 0);
        QVERIFY(m_defaults.writes.isEmpty());
        QCOMPARE(state->timer()->interval(), 900'000);
        QVERIFY(logMessages().contains(
            QStringLiteral("Voltwren, version %1 started").arg(VOLTWREN_TEST_VERSION)));
    }

    void snapToThresholdOption_data() {
        QTest::addColumn<double>("value");
        QTest::addColumn<double>("snapped");
        QTest::newRow("22.5 tie goes down") << 22.5 << 20.0;
        QTest::newRow("35 tie goes down") << 35.0 << 30.0;
        QTest::newRow("12.5 tie goes down") << 12.5 << 10.0;
        QTest::newRow("33") << 33.0 << 30.0;
        QTest::newRow("36") << 36.0 << 40.0;
        QTest::newRow("100") << 100.0 << 90.0;
        QTest::newRow("negative") << -7.0 << 0.0;
        QTest::newRow("exact option") << 60.0 << 60.0;
    }
    void snapToThresholdOption() {
        QFETCH(double, value);
        QFETCH(double, snapped);
        QCOMPARE(AppState::snapToThresholdOption(value), snapped);
    }

    void loadingStoredValues_data() {
        QTest::addColumn<double>("storedThreshold");
        QTest::addColumn<double>("storedInterval");
        QTest::addColumn<double>("threshold");
        QTest::addColumn<int>("timerMs");
        QTest::newRow("33 loads as 30") << 33.0 << 15.0 << 30.0 << 900'000;
        QTest::newRow("interval 0 fires every minute") << 20.0 << 0.0 << 20.0 << 60'000;
        QTest::newRow("interval 0.5 fires every minute") << 20.0 << 0.5 << 20.0 << 60'000;
        QTest::newRow("interval 2") << 90.0 << 2.0 << 90.0 << 120'000;
    }
    void loadingStoredValues() {
        QFETCH(double, storedThreshold);
        QFETCH(double, storedInterval);
        QFETCH(double, threshold);
        QFETCH(int, timerMs);
        m_defaults.putNumber("voltwren.threshold", storedThreshold);
        m_defaults.putNumber("voltwren.pollIntervalMinutes", storedInterval);
        const auto state = makeState();
        QCOMPARE(state->threshold(), threshold);
        QCOMPARE(state->pollIntervalMinutes(), storedInterval);
        QCOMPARE(state->timer()->interval(), timerMs);
        // Loading writes nothing back: the store keeps what it had.
        QVERIFY(m_defaults.writes.isEmpty());
        QCOMPARE(m_defaults.get("voltwren.threshold")->toNumber().value(), storedThreshold);
    }

    void wrongTypesAndBadOverridesAreIgnored() {
        m_defaults.putString("voltwren.threshold", "30");
        m_defaults.putNumber("voltwren.highlightMenubarIcon", 0);
        m_defaults.putString("voltwren.sendNotifications", "true");
        m_defaults.setData("voltwren.deviceThresholdOverrides",
                           R"({"a":{"address":"a","name":"A","kind":"watch","threshold":5}})");
        m_defaults.writes.clear();
        const auto state = makeState();
        QCOMPARE(state->threshold(), 20.0);
        QCOMPARE(state->highlightMenubarIcon(), true);
        QCOMPARE(state->sendNotifications(), false);
        QVERIFY(state->deviceThresholdOverrides().isEmpty());
        QVERIFY(m_defaults.writes.isEmpty());
    }

    void overrideThresholdsSnapOnLoad() {
        m_defaults.setData("voltwren.deviceThresholdOverrides",
                           R"({"AA":{"address":"AA","name":"Desk Mouse","kind":"mouse","threshold":12.5}})");
        const auto state = makeState();
        QCOMPARE(state->deviceThresholdOverrides().value("AA"),
                 (DeviceThresholdOverride{"AA", "Desk Mouse", DeviceKind::mouse, 10}));
    }

    void notificationFlagRules() {
        m_defaults.setBool("voltwren.sendNotifications", true);
        m_notifications.grant = false;
        m_notifications.authorizationError = QStringLiteral("no notification server");
        StdoutCapture out;
        const auto state = makeState();
        QCOMPARE(m_notifications.authorizationRequests, 1);
        QTRY_COMPARE(state->notificationPermissionDenied(), true);
        QVERIFY(out.lines().contains("Voltwren: notification authorization error: no notification server"));

        state->setSendNotifications(false);
        QCOMPARE(state->notificationPermissionDenied(), false);
        QCOMPARE(m_notifications.authorizationRequests, 1);

        state->setSendNotifications(true);
        state->setSendNotifications(true);
        QCOMPARE(state->sendNotifications(), true);
        QCOMPARE(m_notifications.authorizationRequests, 3);
        QTRY_COMPARE(state->notificationPermissionDenied(), true);

        m_notifications.grant = true;
        m_notifications.authorizationError.reset();
        state->setSendNotifications(true);
        QTRY_COMPARE(state->notificationPermissionDenied(), false);
    }

    void everyAssignmentWritesAndPublishes() {
        const auto state = makeState();
        QSignalSpy thresholdSpy(state.get(), &AppState::thresholdChanged);
        QSignalSpy highlightSpy(state.get(), &AppState::highlightMenubarIconChanged);
        state->setThreshold(20);
        state->setThreshold(20);
        state->setHighlightMenubarIcon(true);
        QCOMPARE(thresholdSpy.count(), 2);
        QCOMPARE(highlightSpy.count(), 1);
        QCOMPARE(m_defaults.writes,
                 (QStringList{"voltwren.threshold", "voltwren.threshold", "voltwren.highlightMenubarIcon"}));
        state->setPollIntervalMinutes(0.25);
        QCOMPARE(m_defaults.get("voltwren.pollIntervalMinutes")->toNumber().value(), 0.25);
        QCOMPARE(state->timer()->interval(), 60'000);
    }

    void firstPollRace_data() {
        QTest::addColumn<bool>("bluetoothFirst");
        QTest::newRow("Bluetooth state first") << true;
        QTest::newRow("timeout first") << false;
    }
    void firstPollRace() {
        QFETCH(bool, bluetoothFirst);
        clearLog();
        const auto state = makeState(std::chrono::milliseconds(bluetoothFirst ? 300 : 20));
        QSignalSpy done(state.get(), &AppState::refreshCompleted);
        if (bluetoothFirst)
            m_gatt->onFirstStateKnown();
        QVERIFY(done.wait(5000));
        if (!bluetoothFirst)
            m_gatt->onFirstStateKnown();
        // Past the one-shot: whichever came second did nothing.
        QTest::qWait(400);
        QCOMPARE(done.count(), 1);
        const QStringList firstPollLines = logMessages().filter("Running first poll");
        QCOMPARE(firstPollLines,
                 QStringList{bluetoothFirst
                                 ? "Running first poll (BlueZ reported the adapter's first state)"
                                 : "Running first poll (3s timeout \u2014 no adapter state from BlueZ yet)"});
    }

    void deviceListAndLogLines() {
        m_internal = InternalBatteryReading{87, std::nullopt};
        m_accessories = {accessory("AA", "Desk Mouse", 50), accessory("BB", "Keys", std::nullopt)};
        clearLog();
        StdoutCapture out;
        const auto state = makeState();
        refreshAndWait(*state);
        QCOMPARE(state->devices().size(), 3);
        QCOMPARE(state->devices()[0],
                 (MonitoredDevice{"mac", "Laptop", DeviceKind::mac, 87, true, false, std::nullopt}));
        QCOMPARE(state->devices()[1].id, QString("AA"));
        QVERIFY(state->lastPolled());
        QVERIFY(logMessages().contains("Battery for \"Laptop\": 87% via the kernel's power supplies"));
        QVERIFY(out.lines().contains("Refreshed battery states"));

        m_internal.reset();
        refreshAndWait(*state);
        QCOMPARE(state->devices().size(), 2);
        QVERIFY(logMessages().contains("Battery for \"Laptop\": no reading available"));
    }

    void alertEpisodes() {
        m_defaults.setBool("voltwren.sendNotifications", true);
        const auto state = makeState();
        // One device through a sequence of readings: notified once per episode.
        const QList<std::optional<qint64>> readings{15, 15, 12, 18, 20, 19, std::nullopt, 10};
        // Leaving the list for a moment does not start a new spell.
        const QList<int> postsAfter{1, 1, 1, 1, 1, 2, 2, 2};
        const QList<bool> firedAfter{true, true, true, true, false, true, true, true};
        for (qsizetype i = 0; i < readings.size(); ++i) {
            // A reading of none means the device dropped out of this refresh.
            m_accessories =
                readings[i] ? QList{accessory("AA", "Desk Mouse", readings[i])} : QList<AccessoryReading>{};
            refreshAndWait(*state);
            QCOMPARE(m_notifications.posted.size(), postsAfter[i]);
            if (readings[i])
                QCOMPARE(state->devices()[0].hasFiredAlert, firedAfter[i]);
        }
        QCOMPARE(m_notifications.posted[0].title, QString("Voltwren"));
        QCOMPARE(m_notifications.posted[0].body, QString("Desk Mouse is at 15%."));
        QVERIFY(m_notifications.posted[0].requestIdentifier.startsWith("voltwren-AA-"));
    }

    // A report that could not be made says nothing about what is connected:
    // the accessories stay as they were, and no alert is repeated.
    void failedReportKeepsTheAccessories_data() {
        QTest::addColumn<QString>("report");
        QTest::addColumn<bool>("kept");
        QTest::newRow("non-zero status") << "echo '      Connected:'; exit 3" << true;
        QTest::newRow("killed by a signal") << "kill -9 $$" << true;
        QTest::newRow("ran, nothing connected") << "printf '      Connected:\\n'" << false;
    }
    void failedReportKeepsTheAccessories() {
        QFETCH(QString, report);
        QFETCH(bool, kept);
        // An empty system bus: the GATT reader finds no BlueZ and has no readings.
        PrivateBus systemBus;
        QVERIFY(systemBus.isValid());
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", systemBus.address().toUtf8());
        QTemporaryDir libexec;
        const TestBundle tool(libexec.path());
        m_reportTool = &tool;
        const QByteArray lowMouse = "      Connected:\n          Desk Mouse:\n              Address: AA:01\n"
                                    "              Battery Level: 10%\n";
        m_defaults.setBool("voltwren.sendNotifications", true);
        const auto state = makeState();
        clearLog();

        FakeExecutable::writeReplying(libexec.path(), "bluez-report", lowMouse, 0);
        refreshAndWait(*state);
        const QList<MonitoredDevice> before = state->devices();
        QCOMPARE(m_notifications.posted.size(), 1);

        FakeExecutable::write(libexec.path(), "bluez-report", report);
        refreshAndWait(*state);
        QCOMPARE(state->devices(), kept ? before : QList<MonitoredDevice>());
        QCOMPARE(
            logMessages().contains("Bluetooth report failed; keeping the accessories of the last refresh"),
            kept);

        FakeExecutable::writeReplying(libexec.path(), "bluez-report", lowMouse, 0);
        refreshAndWait(*state);
        // Back within half an hour, still low: the same spell.
        QCOMPARE(m_notifications.posted.size(), 1);
        qunsetenv("DBUS_SYSTEM_BUS_ADDRESS");
    }

    void alertRuleCases_data() {
        QTest::addColumn<double>("general");
        QTest::addColumn<double>("override");
        QTest::addColumn<qint64>("percent");
        QTest::addColumn<bool>("connected");
        QTest::addColumn<bool>("fires");
        QTest::newRow("at the threshold is not low") << 20.0 << -1.0 << qint64(20) << true << false;
        QTest::newRow("one below fires") << 20.0 << -1.0 << qint64(19) << true << true;
        QTest::newRow("disconnected never fires") << 20.0 << -1.0 << qint64(5) << false << false;
        QTest::newRow("override 0 beats general 90") << 90.0 << 0.0 << qint64(0) << true << false;
        QTest::newRow("override above general") << 10.0 << 50.0 << qint64(40) << true << true;
        QTest::newRow("general 0 is None") << 0.0 << -1.0 << qint64(0) << true << false;
    }
    void alertRuleCases() {
        QFETCH(double, general);
        QFETCH(double, override);
        QFETCH(qint64, percent);
        QFETCH(bool, connected);
        QFETCH(bool, fires);
        m_defaults.setNumber("voltwren.threshold", general);
        m_defaults.setBool("voltwren.sendNotifications", true);
        if (override >= 0) {
            DeviceThresholdOverride::Collection overrides;
            overrides.insert("AA", {"AA", "Desk Mouse", DeviceKind::mouse, override});
            m_defaults.setData("voltwren.deviceThresholdOverrides",
                               DeviceThresholdOverride::encodeCollection(overrides));
        }
        m_accessories = {accessory("AA", "Desk Mouse", percent, connected)};
        const auto state = makeState();
        refreshAndWait(*state);
        QCOMPARE(state->devices()[0].hasFiredAlert, fires);
        QCOMPARE(state->isAnyDeviceLow(), fires);
        QCOMPARE(m_notifications.posted.size(), fires ? 1 : 0);
    }

    // A notification no server answered is sent when one appears, once, if
    // the device is still low in the same episode.
    void undeliveredFollowsAServer_data() {
        QTest::addColumn<bool>("noServer");
        QTest::addColumn<qint64>("percentThen");
        QTest::addColumn<bool>("followsUp");
        QTest::newRow("still low") << true << qint64(12) << true;
        QTest::newRow("refused by the server there") << false << qint64(12) << true;
        QTest::newRow("charged meanwhile") << true << qint64(50) << false;
    }
    void undeliveredFollowsAServer() {
        QFETCH(bool, noServer);
        QFETCH(qint64, percentThen);
        QFETCH(bool, followsUp);
        m_defaults.setBool("voltwren.sendNotifications", true);
        m_accessories = {accessory("AA", "Desk Mouse", 15)};
        m_notifications.failure = NotificationError{QStringLiteral("nobody there"), noServer};
        StdoutCapture out;
        const auto state = makeState();
        refreshAndWait(*state);
        QTRY_VERIFY(
            out.lines().contains("Voltwren: failed to deliver notification for Desk Mouse: nobody there"));
        m_notifications.failure.reset();
        m_accessories = {accessory("AA", "Desk Mouse", percentThen)};
        refreshAndWait(*state);
        QCOMPARE(m_notifications.posted.size(), 0);
        // A second server (or the first again) gets nothing more.
        for (int i = 0; i < 2; ++i)
            m_notifications.onServerAppeared();
        QCOMPARE(m_notifications.posted.size(), followsUp ? 1 : 0);
        if (followsUp)
            QCOMPARE(m_notifications.posted[0].body, QString("Desk Mouse is at 12%."));
    }

    // What a person would call a wrong alert: while charging, again for the
    // same low spell, lost, or turned off by a stored value.
    void alertsAPersonWants_data() {
        QTest::addColumn<double>("threshold");
        QTest::addColumn<QByteArray>("overrides");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<int>("attempts");
        QTest::addColumn<QString>("logged");
        const QByteArray good = R"("AA":{"address":"AA","name":"Old","kind":"mouse","threshold":50})";
        QTest::newRow("charging is not low; unplugged below, it is")
            << 20.0 << QByteArray()
            << QStringList{"read 15 charging", "read 12 charging", "read 14 unplugged"}
            << QStringList{"Desk Mouse is at 14%."} << 1 << QString();
        QTest::newRow("a flapping connection is one spell")
            << 20.0 << QByteArray() << QStringList{"read 10", "leave", "read 10", "leave", "read 9"}
            << QStringList{"Desk Mouse is at 10%."} << 1 << QString();
        QTest::newRow("back above its threshold, it is re-armed")
            << 20.0 << QByteArray() << QStringList{"read 10", "leave", "read 30", "read 10"}
            << QStringList{"Desk Mouse is at 10%.", "Desk Mouse is at 10%."} << 2 << QString();
        QTest::newRow("a timed-out alert is retried")
            << 20.0 << QByteArray() << QStringList{"timeout", "read 10", "attempts 1", "answer", "attempts 2"}
            << QStringList{"Desk Mouse is at 10%."} << 2 << QString();
        QTest::newRow("the retries go on at each refresh")
            << 20.0 << QByteArray()
            << QStringList{"timeout", "read 10", "attempts 4", "answer", "read 10", "read 10"}
            << QStringList{"Desk Mouse is at 10%."} << 5 << QString();
        QTest::newRow("shown late, never posted again")
            << 20.0 << QByteArray()
            << QStringList{"timeout", "read 10", "late", "answer", "server", "read 10"} << QStringList{} << 1
            << QString();
        QTest::newRow("a huge general threshold is 90")
            << 1e308 << QByteArray() << QStringList{"read 85"} << QStringList{"Desk Mouse is at 85%."} << 1
            << QString();
        QTest::newRow("a huge override is 90")
            << 20.0 << QByteArray(R"({"AA":{"address":"AA","name":"Old","kind":"mouse","threshold":1e308}})")
            << QStringList{"read 85"} << QStringList{"Desk Mouse is at 85%."} << 1 << QString();
        QTest::newRow("one bad override costs only itself")
            << 20.0 << QByteArray("{" + good + R"(,"BB":{"address":"BB","kind":"toaster"}})")
            << QStringList{"read 40"} << QStringList{"Desk Mouse is at 40%."} << 1
            << QString("Ignoring an unreadable threshold override for \"BB\"");
    }
    void alertsAPersonWants() {
        QFETCH(double, threshold);
        QFETCH(QByteArray, overrides);
        QFETCH(QStringList, steps);
        QFETCH(QStringList, shown);
        QFETCH(int, attempts);
        QFETCH(QString, logged);
        m_defaults.setNumber("voltwren.threshold", threshold);
        m_defaults.setBool("voltwren.sendNotifications", true);
        if (!overrides.isEmpty())
            m_defaults.setData("voltwren.deviceThresholdOverrides", overrides);
        clearLog();
        // Retries after 10, 30 and 120 ms.
        const auto state =
            makeState(std::chrono::hours(1), std::chrono::minutes(1), std::chrono::milliseconds(1));
        play(*state, steps);
        QCOMPARE(bodies(m_notifications.posted), shown);
        QCOMPARE(m_notifications.attempted.size(), attempts);
        if (!logged.isEmpty())
            QCOMPARE(logMessages().count(logged), 1);
        if (!overrides.isEmpty()) {
            // The rename to "Desk Mouse" was written; what could not be read stays.
            const QByteArray stored = m_defaults.get("voltwren.deviceThresholdOverrides")->toData().value();
            QVERIFY(stored.contains("Desk Mouse"));
            for (const QByteArray& member : {QByteArray("\"BB\""), QByteArray("toaster")})
                QCOMPARE(stored.contains(member), overrides.contains(member));
        }
    }

    // The user's own change of the overrides rewrites them without what could not be read.
    void changedOverridesDropTheUnreadable() {
        m_defaults.setData("voltwren.deviceThresholdOverrides", R"({"BB":7,"CC":{"address":"CC"}})");
        const auto state = makeState();
        QVERIFY(state->deviceThresholdOverrides().isEmpty());
        state->setDeviceThresholdOverrides({{"AA", {"AA", "Desk Mouse", DeviceKind::mouse, 30}}});
        QCOMPARE(DeviceThresholdOverride::decodeCollection(
                     m_defaults.get("voltwren.deviceThresholdOverrides")->toData().value()),
                 std::optional(state->deviceThresholdOverrides()));
    }

    void chargedNotice_data() {
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<double>("level");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("once per charge")
            << true << 80.0
            << QStringList{"read 70 charging", "read 80 charging", "read 95 charging", "read 90 unplugged",
                           "read 91 charging"}
            << QStringList{"Desk Mouse is charged to 80%.", "Desk Mouse is charged to 91%."};
        QTest::newRow("at its level") << true << 100.0 << QStringList{"read 99 charging", "read 100 charging"}
                                      << QStringList{"Desk Mouse is charged to 100%."};
        QTest::newRow("unknown charging state")
            << true << 80.0 << QStringList{"read 70", "read 100"} << QStringList{};
        QTest::newRow("off by default") << false << 80.0 << QStringList{"read 100 charging"} << QStringList{};
    }
    void chargedNotice() {
        QFETCH(bool, enabled);
        QFETCH(double, level);
        QFETCH(QStringList, steps);
        QFETCH(QStringList, shown);
        m_defaults.setBool("voltwren.sendNotifications", true);
        if (enabled) {
            m_defaults.setBool("voltwren.notifyWhenCharged", true);
            m_defaults.setNumber("voltwren.chargedLevel", level);
        }
        const auto state = makeState();
        QCOMPARE(state->notifyWhenCharged(), enabled);
        play(*state, steps);
        QCOMPARE(bodies(m_notifications.posted), shown);
    }

    // Hourly reminders while low, on a clock whose hour is 300 ms; "Remind
    // Me Later" mutes one device for four of them.
    void remindersWhileLow() {
        m_defaults.setBool("voltwren.sendNotifications", true);
        m_defaults.setNumber("voltwren.remindIntervalHours", 1);
        setAccessories({accessory("AA", "Desk Mouse", 10), accessory("BB", "Keys", 12)});
        const auto state = makeState(std::chrono::hours(1), std::chrono::milliseconds(5));
        const auto count = [this](const QString& body) { return bodies(m_notifications.posted).count(body); };
        refreshAndWait(*state);
        QCOMPARE(m_notifications.posted.size(), 2);
        QCOMPARE(m_notifications.posted[0].actions,
                 (QList<Notification::Action>{{"remind-later", "Remind Me Later"}}));
        QTRY_COMPARE_WITH_TIMEOUT(count("Desk Mouse is at 10%."), 2, 5000);
        const auto mouse =
            std::find_if(m_notifications.posted.crbegin(), m_notifications.posted.crend(),
                         [](const Notification& n) { return n.body.startsWith("Desk Mouse"); });
        m_notifications.onAction(mouse->requestIdentifier, "remind-later");
        const qsizetype keys = count("Keys is at 12%.");
        // Three more hours: the keys are reminded three times, the mouse not at all.
        QTRY_COMPARE_WITH_TIMEOUT(count("Keys is at 12%."), keys + 3, 10000);
        QCOMPARE(count("Desk Mouse is at 10%."), 2);
        // The mute ends; charging ends the reminders.
        QTRY_COMPARE_WITH_TIMEOUT(count("Desk Mouse is at 10%."), 3, 10000);
        AccessoryReading charging = accessory("AA", "Desk Mouse", 10);
        charging.isCharging = true;
        setAccessories({charging});
        refreshAndWait(*state);
        QVERIFY(!state->isAnyDeviceLow());
    }

    // A refresh that started earlier but ends later does not put its older
    // readings back over newer ones.
    void anOlderRefreshEndingLaterIsLeftOut() {
        setAccessories({accessory("AA", "Desk Mouse", 50)});
        const auto state = makeState();
        QSignalSpy done(state.get(), &AppState::refreshCompleted);
        m_delayAfterReadMs = 800;
        state->refresh(); // reads 50, then takes its time
        QTest::qWait(200);
        setAccessories({accessory("AA", "Desk Mouse", 40)});
        state->refresh(); // reads 40 and ends first
        QTRY_COMPARE_WITH_TIMEOUT(done.count(), 2, 5000);
        QCOMPARE(state->devices().value(0).batteryPercent, 40);
    }

    void notificationsOffStillMarksFired() {
        m_accessories = {accessory("AA", "Desk Mouse", 10)};
        const auto state = makeState();
        refreshAndWait(*state);
        QVERIFY(state->devices()[0].hasFiredAlert);
        state->setSendNotifications(true);
        refreshAndWait(*state);
        QCOMPARE(m_notifications.posted.size(), 0);
    }

    void thresholdChangesTakeEffectAtOnce() {
        m_defaults.setBool("voltwren.sendNotifications", true);
        m_accessories = {accessory("AA", "Desk Mouse", 30)};
        const auto state = makeState();
        refreshAndWait(*state);
        QVERIFY(!state->devices()[0].hasFiredAlert);
        state->setThreshold(40);
        QVERIFY(state->devices()[0].hasFiredAlert);
        QCOMPARE(m_notifications.posted.size(), 1);
        state->setThreshold(30);
        QVERIFY(!state->devices()[0].hasFiredAlert);
    }

    void componentsPlayNoPart() {
        m_accessories = {AccessoryReading{"AP", "Buds", DeviceKind::airpods, 60, true,
                                          QList<SubBatteryReading>{{"case", "Case", 5}}}};
        const auto state = makeState();
        refreshAndWait(*state);
        QVERIFY(!state->devices()[0].hasFiredAlert);
        QVERIFY(!state->isAnyDeviceLow());
    }

    void overrideRenameKeepsThreshold() {
        DeviceThresholdOverride::Collection overrides;
        overrides.insert("AA", {"AA", "Old Name", DeviceKind::otherAccessory, 40});
        overrides.insert("ZZ", {"ZZ", "Gone", DeviceKind::keyboard, 10});
        m_defaults.setData("voltwren.deviceThresholdOverrides",
                           DeviceThresholdOverride::encodeCollection(overrides));
        m_accessories = {accessory("AA", "Desk Mouse", 80)};
        const auto state = makeState();
        m_defaults.writes.clear();
        refreshAndWait(*state);
        overrides["AA"] = {"AA", "Desk Mouse", DeviceKind::mouse, 40};
        QCOMPARE(state->deviceThresholdOverrides(), overrides);
        QCOMPARE(m_defaults.writes, QStringList{"voltwren.deviceThresholdOverrides"});
        QCOMPARE(DeviceThresholdOverride::decodeCollection(
                     m_defaults.get("voltwren.deviceThresholdOverrides")->toData().value()),
                 std::optional(overrides));
        // Up to date now: the next refresh saves nothing.
        refreshAndWait(*state);
        QCOMPARE(m_defaults.writes.size(), 1);
    }

    // The poll timer, with a minute of 100 ms: each firing runs a whole poll.
    void pollTimerRefreshes() {
        m_defaults.setBool("voltwren.sendNotifications", true);
        m_defaults.setNumber("voltwren.pollIntervalMinutes", 0.5); // one minute at least
        setAccessories({accessory("AA", "Desk Mouse", 50)});
        const auto state = makeState(std::chrono::hours(1), std::chrono::milliseconds(100));
        QSignalSpy done(state.get(), &AppState::refreshCompleted);
        QVERIFY(done.wait(5000));
        QCOMPARE(state->devices()[0].batteryPercent, std::optional<qint64>(50));
        QCOMPARE(m_notifications.posted.size(), 0);

        // The mouse drains between two polls: the next one sees it and notifies, once.
        setAccessories({accessory("AA", "Desk Mouse", 10)});
        QTRY_COMPARE_WITH_TIMEOUT(m_notifications.posted.size(), 1, 5000);
        QCOMPARE(state->devices()[0].batteryPercent, std::optional<qint64>(10));
        const qsizetype polls = done.count();
        QTRY_VERIFY_WITH_TIMEOUT(done.count() >= polls + 3, 5000);
        QCOMPARE(m_notifications.posted.size(), 1);
        QCOMPARE(m_notifications.posted[0].body, QString("Desk Mouse is at 10%."));
    }

    // What the system announces starts refreshes: a burst one, more of them
    // while it runs exactly one after it, whatever their number.
    void announcementsAreCoalesced_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<int>("burst");
        QTest::addColumn<int>("whileRunning");
        QTest::addColumn<int>("polls");
        QTest::newRow("power supply burst") << "power supply" << 5 << 0 << 1;
        QTest::newRow("power supply, then more while it runs") << "power supply" << 5 << 5 << 2;
        QTest::newRow("Bluetooth connections, then more") << "bluetooth" << 3 << 3 << 2;
        QTest::newRow("flood of Refresh(), full polls") << "refresh" << 200 << 200 << 2;
        QTest::newRow("flood of wake-ups, full polls") << "wake" << 200 << 200 << 2;
    }
    void announcementsAreCoalesced() {
        QFETCH(QString, source);
        QFETCH(int, burst);
        QFETCH(int, whileRunning);
        QFETCH(int, polls);
        m_readDelayMs = 100;
        clearLog();
        const auto state = makeState();
        QSignalSpy done(state.get(), &AppState::refreshCompleted);
        const auto announce = [&](int times) {
            for (int i = 0; i < times; ++i) {
                if (source == "power supply")
                    m_powerSupplies.changed();
                else if (source == "bluetooth")
                    m_gatt->onConnectionEvent();
                else if (source == "wake")
                    m_sleep.woke();
                else
                    state->requestRefresh("a Refresh() call", true);
            }
        };
        announce(burst);
        QTRY_VERIFY_WITH_TIMEOUT(logMessages().filter("Refreshing after").size() == 1, 5000);
        announce(whileRunning);
        QTRY_COMPARE_WITH_TIMEOUT(done.count(), polls, 5000);
        QTest::qWait(300); // and nothing more
        m_readDelayMs = 0;
        QCOMPARE(done.count(), polls);
        // Only Refresh() and waking up ask for a new GATT scan.
        QCOMPARE(logMessages().filter("GATT scan skipped").size(),
                 source == "refresh" || source == "wake" ? polls : 0);
    }

    // The first announcement after a quiet spell waits for no window; the
    // next, right after its refresh, gathers in the window.
    void aLoneAnnouncementRefreshesAtOnce() {
        m_announcementWindow = std::chrono::hours(1);
        const auto state = makeState();
        m_announcementWindow = std::chrono::milliseconds(50);
        QSignalSpy done(state.get(), &AppState::refreshCompleted);
        m_powerSupplies.changed();
        QVERIFY(done.wait(5000));
        m_powerSupplies.changed();
        QTest::qWait(300);
        QCOMPARE(done.count(), 1);
    }

    // After sleep: a full poll at once, and the poll interval counts from then.
    void wakingUpPollsAndRestartsTheInterval() {
        clearLog();
        const auto state = makeState(std::chrono::hours(1), std::chrono::milliseconds(40)); // every 600 ms
        QSignalSpy done(state.get(), &AppState::refreshCompleted);
        QTest::qWait(400);
        m_sleep.woke();
        QVERIFY(done.wait(1000));
        QVERIFY2(state->timer()->remainingTime() > 400,
                 qPrintable(QString::number(state->timer()->remainingTime())));
        QCOMPARE(logMessages().filter("GATT scan skipped").size(), 1);
        QVERIFY(logMessages().contains("Refreshing after waking from sleep"));
    }

    // A new interval replaces the schedule; its first firing is one whole interval later.
    void changingTheIntervalReplacesTheSchedule() {
        m_defaults.setNumber("voltwren.pollIntervalMinutes", 10);
        const auto state = makeState(std::chrono::hours(1), std::chrono::milliseconds(100));
        QSignalSpy done(state.get(), &AppState::refreshCompleted);
        QTest::qWait(300);
        state->setPollIntervalMinutes(1);
        QTRY_VERIFY_WITH_TIMEOUT(done.count() >= 3, 5000); // the old schedule would have fired once

        state->setPollIntervalMinutes(10);
        QElapsedTimer sinceChange;
        sinceChange.start();
        QTest::qWait(50); // a poll already under way may still complete
        done.clear();
        QVERIFY(done.wait(5000));
        QVERIFY2(sinceChange.elapsed() >= 900, qPrintable(QString::number(sinceChange.elapsed())));
        QCOMPARE(done.count(), 1);
    }

    // A slot that assigns the setting again during its change signal has the
    // last word, in memory and in the store alike.
    void reassignmentDuringTheChangeSignalWins_data() {
        QTest::addColumn<QString>("setting");
        QTest::newRow("threshold") << "voltwren.threshold";
        QTest::newRow("poll interval") << "voltwren.pollIntervalMinutes";
        QTest::newRow("highlight") << "voltwren.highlightMenubarIcon";
        QTest::newRow("notifications") << "voltwren.sendNotifications";
    }
    void reassignmentDuringTheChangeSignalWins() {
        QFETCH(QString, setting);
        const auto state = makeState();
        AppState* s = state.get();
        bool reassigned = false;
        const auto once = [&](auto assign) {
            return [&reassigned, assign] {
                if (!std::exchange(reassigned, true))
                    assign();
            };
        };
        std::function<DefaultsValue()> inMemory;
        if (setting == "voltwren.threshold") {
            connect(s, &AppState::thresholdChanged, once([s] { s->setThreshold(30); }));
            s->setThreshold(33);
            inMemory = [s] { return DefaultsValue::number(s->threshold()); };
            QCOMPARE(s->threshold(), 30.0);
        } else if (setting == "voltwren.pollIntervalMinutes") {
            connect(s, &AppState::pollIntervalMinutesChanged, once([s] { s->setPollIntervalMinutes(1); }));
            s->setPollIntervalMinutes(0.5);
            inMemory = [s] { return DefaultsValue::number(s->pollIntervalMinutes()); };
            QCOMPARE(s->pollIntervalMinutes(), 1.0);
        } else if (setting == "voltwren.highlightMenubarIcon") {
            connect(s, &AppState::highlightMenubarIconChanged,
                    once([s] { s->setHighlightMenubarIcon(false); }));
            s->setHighlightMenubarIcon(true);
            inMemory = [s] { return DefaultsValue::boolean(s->highlightMenubarIcon()); };
            QCOMPARE(s->highlightMenubarIcon(), false);
        } else {
            connect(s, &AppState::sendNotificationsChanged, once([s] { s->setSendNotifications(false); }));
            s->setSendNotifications(true);
            inMemory = [s] { return DefaultsValue::boolean(s->sendNotifications()); };
            QCOMPARE(s->sendNotifications(), false);
        }
        QVERIFY(reassigned);
        QVERIFY(m_defaults.get(setting) == inMemory());
    }

    // Quitting while a poll is still reading: its late result goes nowhere.
    void destroyedWhileAPollIsUnderway() {
        m_readDelayMs = 300;
        setAccessories({accessory("AA", "Desk Mouse", 10)});
        auto state = makeState();
        state->refresh();
        QTest::qWait(50);
        state.reset();
        QTest::qWait(600);
        m_readDelayMs = 0;
        QCOMPARE(m_notifications.posted.size(), 0);
    }

    void settingsFileProblemIsLoggedOnce() {
        clearLog();
        m_defaults.problemAtLoad("Settings: defaults.json could not be read as settings; moved it to X");
        const auto state = makeState();
        QCOMPARE(logMessages().filter("could not be read as settings").size(), 1);
    }

    void notificationTexts_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<std::optional<qint64>>("percent");
        QTest::addColumn<QString>("body");
        const std::optional<qint64> five(5);
        QTest::newRow("with a percent")
            << "AirPods Pro" << std::optional<qint64>(9) << "AirPods Pro is at 9%.";
        QTest::newRow("without") << "AirPods Pro" << std::optional<qint64>() << "AirPods Pro battery is low.";
        // A name is the device's to choose: it must not reshape the sentence.
        QTest::newRow("override and isolates dropped")
            << QChar(0x2067) + QString("Mouse") + QChar(0x202E) + "evil" + QChar(0x2069) << five
            << "Mouseevil is at 5%.";
        QTest::newRow("escape sequence and bell dropped")
            << "Desk\x1b[2J\x1b]0;x\aMouse\x7f" << five << "Desk[2J]0;xMouse is at 5%.";
        QTest::newRow("line breaks become spaces") << "Desk\r\nMouse\t2" << five << "Desk  Mouse 2 is at 5%.";
        QTest::newRow("right-to-left name isolated")
            << QString::fromUtf16(u"\u05E2\u05DB\u05D1\u05E8 2") << five
            << QChar(0x2068) + QString::fromUtf16(u"\u05E2\u05DB\u05D1\u05E8 2") + QChar(0x2069) +
                   " is at 5%.";
        QTest::newRow("a million characters cut")
            << QString(1'000'000, 'x') << five << QString(299, 'x') + QChar(0x2026) + " is at 5%.";
        QTest::newRow("300 characters kept") << QString(300, 'x') << five << QString(300, 'x') + " is at 5%.";
    }
    void notificationTexts() {
        QFETCH(QString, name);
        QFETCH(std::optional<qint64>, percent);
        QFETCH(QString, body);
        QCOMPARE(AppState::notificationBody({"X", name, DeviceKind::airpodsPro, percent, true, false, {}}),
                 body);
    }

    void requestIdentifiers_data() {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("identifier");
        QTest::newRow("fraction") << 1765010469.123 << "voltwren-AA:BB-1765010469.123";
        QTest::newRow("whole second") << 1765010469.0 << "voltwren-AA:BB-1765010469.0";
        QTest::newRow("shortest round trip") << 0.1 << "voltwren-AA:BB-0.1";
    }
    void requestIdentifiers() {
        QFETCH(double, seconds);
        QFETCH(QString, identifier);
        QCOMPARE(AppState::requestIdentifier("AA:BB", seconds), identifier);
        QVERIFY(AppState::requestIdentifier("AA:BB", seconds) !=
                AppState::requestIdentifier("AA:BB", seconds + 1));
    }
};

QTEST_GUILESS_MAIN(AppStateTest)
#include "tst_appstate.moc"
