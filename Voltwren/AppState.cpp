#include "AppState.h"

#include "app/Console.h"
#include "app/DiagnosticLog.h"
#include "app/LoginItem.h"
#include "app/WhenFinished.h"
#include "history/ChargeHistory.h"
#include "model/DeviceName.h"
#include "platform/DefaultsStore.h"
#include "platform/LoginItemService.h"
#include "platform/NotificationCenter.h"
#include "platform/PowerSupplyMonitor.h"
#include "platform/SleepMonitor.h"
#include "sources/GATTBatteryReader.h"
#include "sources/InternalBatteryReader.h"

#include <QCoreApplication>
#include <QFuture>
#include <QThreadPool>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <iterator>

namespace {

const QString thresholdKey = QStringLiteral("voltwren.threshold");
const QString pollIntervalKey = QStringLiteral("voltwren.pollIntervalMinutes");
const QString overridesKey = QStringLiteral("voltwren.deviceThresholdOverrides");
const QString highlightKey = QStringLiteral("voltwren.highlightMenubarIcon");
const QString sendNotificationsKey = QStringLiteral("voltwren.sendNotifications");
const QString macID = QStringLiteral("mac");

// The value under KEY when it has the type READ asks for; anything else is
// ignored and the caller's default used.
template <typename T>
std::optional<T> stored(const DefaultsStore& store, const QString& key,
                        std::optional<T> (DefaultsValue::*read)() const) {
    const std::optional<DefaultsValue> value = store.get(key);
    return value ? ((*value).*read)() : std::nullopt;
}

bool previousAlertState(const QList<MonitoredDevice>& devices, const QString& id) {
    for (const MonitoredDevice& device : devices) {
        if (device.id == id)
            return device.hasFiredAlert;
    }
    return false;
}

} // namespace

AppState::Services AppState::Services::systemSources() {
    Services services;
    services.gattReader = &GATTBatteryReader::shared();
    services.readInternalBattery = [] { return readInternalBatteryPercent(); };
    services.readAccessories = [] { return BluetoothBatteryReader::readAccessories(); };
    return services;
}

AppState::Services AppState::Services::system() {
    Services services = systemSources();
    services.defaults = &userDefaults();
    services.notifications = &notificationCenter();
    services.loginItems = &loginItemService();
    services.powerSupplyMonitor = &::powerSupplyMonitor();
    services.sleepMonitor = &::sleepMonitor();
    return services;
}

double AppState::snapToThresholdOption(double value) {
    double best = thresholdOptions.front();
    for (const double option : thresholdOptions) {
        // Strictly nearer only, so a tie keeps the earlier, smaller option.
        if (std::abs(option - value) < std::abs(best - value))
            best = option;
    }
    return best;
}

QString AppState::notificationBody(const MonitoredDevice& device) {
    const QString name = DeviceName::forDisplay(device.name);
    if (device.batteryPercent)
        return name + QStringLiteral(" is at ") + QString::number(*device.batteryPercent) +
               QStringLiteral("%.");
    return name + QStringLiteral(" battery is low.");
}

QString AppState::requestIdentifier(const QString& deviceID, double secondsSince1970) {
    // The shortest decimal text that reads back to the same double, always
    // with a fraction, so successive alerts of one device differ.
    char buffer[64];
    const auto [end, error] =
        std::to_chars(buffer, buffer + sizeof buffer, secondsSince1970, std::chars_format::fixed);
    QString seconds =
        error == std::errc() ? QString::fromLatin1(buffer, end - buffer) : QString::number(secondsSince1970);
    if (!seconds.contains(QLatin1Char('.')))
        seconds += QStringLiteral(".0");
    return QStringLiteral("voltwren-") + deviceID + QLatin1Char('-') + seconds;
}

AppState::AppState(Services services, QObject* parent)
    : QObject(parent)
    , m_services(std::move(services)) {
    logStartupLine();
    // Problems with the settings file (also one met while loading it) reach the log.
    m_services.defaults->setProblemReporter([](const QString& problem) { diagnosticLog(problem); });
    loadSettings();

    if (GATTBatteryReader* reader = m_services.gattReader) {
        const QPointer<AppState> weak(this);
        reader->onUpdate = [weak] {
            if (weak)
                weak->refreshFromCachedReadings();
        };
        reader->onFirstStateKnown = [weak] {
            if (weak)
                weak->startFirstPoll(FirstPollReason::bluetoothState);
        };
        reader->onConnectionEvent = [weak] {
            if (weak)
                weak->requestRefresh(QStringLiteral("a Bluetooth connection change"));
        };
    }

    // A server that starts after us (as at login) grants what none could,
    // and gets what found no server.
    if (NotificationCenter* notifications = m_services.notifications) {
        notifications->onServerAppeared = [this] {
            if (m_sendNotifications)
                requestNotificationAuthorization();
            postUndeliveredNotifications();
        };
    }

    if (m_services.history)
        connect(m_services.history, &ChargeHistory::loaded, this,
                [this] { publish(&AppState::timeLeftChanged); });

    QTimer::singleShot(m_services.firstPollTimeout, this,
                       [this] { startFirstPoll(FirstPollReason::timeout); });

    // A poll measured in minutes needs no precision; a coarse timer lets the
    // system batch its wake-ups.
    m_timer.setTimerType(Qt::CoarseTimer);
    // Queued, so each firing starts its refresh as a task of its own.
    connect(&m_timer, &QTimer::timeout, this, &AppState::refresh, Qt::QueuedConnection);
    scheduleTimer();

    m_requestWindow.setSingleShot(true);
    m_requestWindow.setInterval(m_services.announcementWindow);
    connect(&m_requestWindow, &QTimer::timeout, this, &AppState::startRequestedRefresh);
    startAnnouncements();
}

void AppState::startAnnouncements() {
    const QPointer<AppState> weak(this);
    const auto log = [](const QString& problem) { diagnosticLog(problem); };
    if (PowerSupplyMonitor* monitor = m_services.powerSupplyMonitor) {
        monitor->start(
            [weak] {
                if (weak)
                    weak->requestRefresh(QStringLiteral("a power supply change"));
            },
            log);
    }
    if (SleepMonitor* monitor = m_services.sleepMonitor) {
        monitor->start(
            [weak] {
                if (weak)
                    weak->systemDidWake();
            },
            log);
    }
}

AppState::~AppState() {
    m_services.defaults->setProblemReporter(nullptr);
    if (NotificationCenter* notifications = m_services.notifications)
        notifications->onServerAppeared = nullptr;
    if (GATTBatteryReader* reader = m_services.gattReader) {
        reader->onUpdate = nullptr;
        reader->onFirstStateKnown = nullptr;
        reader->onConnectionEvent = nullptr;
    }
    if (m_services.powerSupplyMonitor)
        m_services.powerSupplyMonitor->stop();
    if (m_services.sleepMonitor)
        m_services.sleepMonitor->stop();
}

void AppState::publish(void (AppState::*signal)()) {
    Q_EMIT(this->*signal)();
    Q_EMIT changed();
}

void AppState::loadSettings() {
    const DefaultsStore& store = *m_services.defaults;
    m_threshold = snapToThresholdOption(stored(store, thresholdKey, &DefaultsValue::toNumber).value_or(20));
    m_pollIntervalMinutes = stored(store, pollIntervalKey, &DefaultsValue::toNumber).value_or(15);
    m_launchAtLogin = m_services.loginItems->status() == LoginItemService::Status::enabled;
    m_highlightMenubarIcon = stored(store, highlightKey, &DefaultsValue::toBool).value_or(true);
    m_sendNotifications = stored(store, sendNotificationsKey, &DefaultsValue::toBool).value_or(false);
    if (const std::optional<QByteArray> data = stored(store, overridesKey, &DefaultsValue::toData)) {
        if (std::optional<DeviceThresholdOverride::Collection> decoded =
                DeviceThresholdOverride::decodeCollection(*data)) {
            for (DeviceThresholdOverride& entry : *decoded)
                entry.threshold = snapToThresholdOption(entry.threshold);
            m_deviceThresholdOverrides = std::move(*decoded);
        }
    }
    if (m_sendNotifications)
        requestNotificationAuthorization();
}

// Each assignment stores the value, writes it, then tells the observers, so a
// slot that assigns again is the last word in memory and in the file alike.
void AppState::setThreshold(double value) {
    m_threshold = value;
    m_services.defaults->setNumber(thresholdKey, value);
    publish(&AppState::thresholdChanged);
    checkAllAlerts();
}

void AppState::setPollIntervalMinutes(double value) {
    m_pollIntervalMinutes = value;
    m_services.defaults->setNumber(pollIntervalKey, value);
    publish(&AppState::pollIntervalMinutesChanged);
    scheduleTimer();
}

void AppState::setLaunchAtLogin(bool value) {
    m_launchAtLogin = value;
    publish(&AppState::launchAtLoginChanged);
    updateLaunchAtLogin(value, *m_services.loginItems);
}

void AppState::setDeviceThresholdOverrides(const DeviceThresholdOverride::Collection& value) {
    m_deviceThresholdOverrides = value;
    writeDeviceThresholdOverrides();
    publish(&AppState::deviceThresholdOverridesChanged);
    checkAllAlerts();
}

void AppState::setHighlightMenubarIcon(bool value) {
    m_highlightMenubarIcon = value;
    m_services.defaults->setBool(highlightKey, value);
    publish(&AppState::highlightMenubarIconChanged);
}

void AppState::setSendNotifications(bool value) {
    m_sendNotifications = value;
    m_services.defaults->setBool(sendNotificationsKey, value);
    publish(&AppState::sendNotificationsChanged);
    if (value)
        requestNotificationAuthorization();
    else
        setNotificationPermissionDenied(false);
}

void AppState::setNotificationPermissionDenied(bool value) {
    m_notificationPermissionDenied = value;
    publish(&AppState::notificationPermissionDeniedChanged);
}

void AppState::setBluetoothPermissionDenied(bool value) {
    m_bluetoothPermissionDenied = value;
    publish(&AppState::bluetoothPermissionDeniedChanged);
}

void AppState::setDevices(QList<MonitoredDevice> devices) {
    m_devices = std::move(devices);
    publish(&AppState::devicesChanged);
}

void AppState::writeDeviceThresholdOverrides() {
    m_services.defaults->setData(overridesKey,
                                 DeviceThresholdOverride::encodeCollection(m_deviceThresholdOverrides));
}

void AppState::saveDeviceThresholdOverrides() {
    writeDeviceThresholdOverrides();
    checkAllAlerts();
}

double AppState::effectiveThreshold(const QString& deviceID) const {
    const auto entry = m_deviceThresholdOverrides.constFind(deviceID);
    return entry != m_deviceThresholdOverrides.constEnd() ? entry->threshold : m_threshold;
}

void AppState::checkAlert(qsizetype index) {
    if (index < 0 || index >= m_devices.size())
        return;
    const MonitoredDevice& device = m_devices.at(index);
    if (!device.batteryPercent || !device.isConnected)
        return;
    const double threshold = effectiveThreshold(device.id);
    const double percent = static_cast<double>(*device.batteryPercent);
    if (threshold > percent) {
        if (device.hasFiredAlert)
            return;
        if (m_sendNotifications)
            postLowChargeNotification(device);
        m_devices[index].hasFiredAlert = true;
        publish(&AppState::devicesChanged);
    } else if (device.hasFiredAlert) {
        m_undelivered.remove(device.id);
        m_devices[index].hasFiredAlert = false;
        publish(&AppState::devicesChanged);
    }
}

void AppState::checkAllAlerts() {
    const qsizetype count = m_devices.size();
    for (qsizetype index = 0; index < count; ++index)
        checkAlert(index);
}

bool AppState::isLow(const MonitoredDevice& device) const {
    return device.isConnected && device.batteryPercent &&
           effectiveThreshold(device.id) > static_cast<double>(*device.batteryPercent);
}

bool AppState::isAnyDeviceLow() const {
    return std::any_of(m_devices.cbegin(), m_devices.cend(),
                       [this](const MonitoredDevice& device) { return isLow(device); });
}

std::optional<TimeLeft> AppState::timeLeft(const MonitoredDevice& device) const {
    if (!m_services.history)
        return std::nullopt;
    return m_services.history->timeLeft(device, effectiveThreshold(device.id),
                                        QDateTime::currentMSecsSinceEpoch());
}

void AppState::requestNotificationAuthorization() {
    const QPointer<AppState> weak(this);
    m_services.notifications->requestAuthorization([weak](bool granted, std::optional<QString> error) {
        if (error)
            Console::printLine(QStringLiteral("Voltwren: notification authorization error: ") + *error);
        // The completion may come from anywhere; the flag is only set on the main thread.
        QMetaObject::invokeMethod(
            qApp,
            [weak, granted] {
                if (weak)
                    weak->setNotificationPermissionDenied(!granted);
            },
            Qt::QueuedConnection);
    });
}

void AppState::postLowChargeNotification(const MonitoredDevice& device) {
    const double now = static_cast<double>(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
    Notification notification;
    notification.title = QStringLiteral("Voltwren");
    notification.body = notificationBody(device);
    notification.requestIdentifier = requestIdentifier(device.id, now);
    notification.batteryLow = true;
    const QString name = DeviceName::forDisplay(device.name);
    const QString id = device.id;
    m_undelivered.remove(id);
    const QPointer<AppState> weak(this);
    m_services.notifications->post(notification, [name, id, weak](std::optional<NotificationError> error) {
        if (!error)
            return;
        Console::printLine(QStringLiteral("Voltwren: failed to deliver notification for ") + name +
                           QStringLiteral(": ") + error->text);
        if (error->noServer && weak)
            weak->m_undelivered.insert(id);
    });
}

void AppState::postUndeliveredNotifications() {
    // Once per low episode: the device must still be low, and the episode
    // the same (a re-armed device left the set).
    const QSet<QString> undelivered = std::exchange(m_undelivered, {});
    if (!m_sendNotifications)
        return;
    for (const MonitoredDevice& device : std::as_const(m_devices)) {
        if (undelivered.contains(device.id) && device.hasFiredAlert && isLow(device))
            postLowChargeNotification(device);
    }
}

void AppState::startFirstPoll(FirstPollReason reason) {
    if (m_hasRunFirstPoll)
        return;
    m_hasRunFirstPoll = true;
    diagnosticLog(
        reason == FirstPollReason::bluetoothState
            ? QStringLiteral("Running first poll (CBCentralManager reported its first state)")
            : QStringLiteral("Running first poll (3s timeout \u2014 no CBCentralManager callback yet)"));
    refresh();
}

void AppState::scheduleTimer() {
    // One timer for the life of the state; restarting it replaces the old
    // schedule, and its first firing is one whole interval from now.
    // At least a minute; also for a value that is not a number.
    const double minutes = m_pollIntervalMinutes >= 1.0 ? m_pollIntervalMinutes : 1.0;
    const double milliseconds = minutes * static_cast<double>(m_services.pollMinute.count());
    // QTimer takes an int of milliseconds: about 24 days at most.
    m_timer.start(std::chrono::milliseconds(static_cast<qint64>(std::min(milliseconds, 2.0e9))));
}

void AppState::refresh() {
    checkPermissionAndScan();
    QTimer::singleShot(0, this, [this] { performRefresh(); });
}

void AppState::checkPermissionAndScan() {
    bool denied = false;
    if (GATTBatteryReader* reader = m_services.gattReader) {
        const BluetoothAuthorization authorization = reader->authorization();
        denied = authorization == BluetoothAuthorization::restricted ||
                 authorization == BluetoothAuthorization::denied;
    }
    setBluetoothPermissionDenied(denied);
    if (GATTBatteryReader* reader = m_services.gattReader)
        reader->scan();
}

void AppState::refreshFromCachedReadings() {
    diagnosticLog(QStringLiteral("refreshFromCachedReadings called"));
    requestRefresh(QStringLiteral("a changed GATT reading"));
}

void AppState::requestRefresh(const QString& cause, bool withScan) {
    if (!m_requestCauses.contains(cause))
        m_requestCauses.append(cause);
    m_requestWantsScan = m_requestWantsScan || withScan;
    // A burst gathers in the window; while a refresh runs, what comes is
    // left for the one that follows it.
    if (!m_requestedRefreshRunning && !m_requestWindow.isActive())
        m_requestWindow.start();
    // After a refresh, the window stays open while announcements go on
    // (for a while): a storm that outlasts refreshes does not chain them.
    else if (m_requestWindow.isActive() && !m_gatherUntil.hasExpired())
        m_requestWindow.start();
}

void AppState::startRequestedRefresh() {
    m_requestedRefreshRunning = true;
    m_gatherUntil = QDeadlineTimer();
    diagnosticLog(QStringLiteral("Refreshing after ") +
                  std::exchange(m_requestCauses, {}).join(QStringLiteral(", ")));
    if (std::exchange(m_requestWantsScan, false))
        checkPermissionAndScan();
    performRefresh([this] {
        m_requestedRefreshRunning = false;
        // What came meanwhile gathers in a window of its own.
        if (!m_requestCauses.isEmpty()) {
            m_gatherUntil = QDeadlineTimer(m_services.announcementWindow * 5);
            m_requestWindow.start();
        }
    });
}

void AppState::systemDidWake() {
    diagnosticLog(QStringLiteral("System woke from sleep \u2014 polling now"));
    // The poll timer did not count the time asleep: its interval starts now.
    scheduleTimer();
    refresh();
}

void AppState::performRefresh(std::function<void()> completed) {
    // Two background reads, one after the other; the main thread never waits.
    const auto readInternal = m_services.readInternalBattery;
    const auto readAccessories = m_services.readAccessories;
    whenFinished(
        this, QtConcurrent::run(QThreadPool::globalInstance(), [readInternal] { return readInternal(); }),
        [this, readAccessories, completed](std::optional<qint64> percent) {
            const QString name = QLatin1String(internalBatteryDeviceName);
            diagnosticLog(percent ? QStringLiteral("Battery for \"") + name + QStringLiteral("\": ") +
                                        QString::number(*percent) + QStringLiteral("% via IOPowerSources")
                                  : QStringLiteral("Battery for \"") + name +
                                        QStringLiteral("\": no reading available"));
            whenFinished(this,
                         QtConcurrent::run(QThreadPool::globalInstance(),
                                           [readAccessories] { return readAccessories(); }),
                         [this, percent, completed](const auto& accessories) {
                             finishRefresh(percent, accessories);
                             if (completed)
                                 completed();
                         });
        });
}

void AppState::finishRefresh(
    std::optional<qint64> internalPercent,
    const std::optional<QList<BluetoothBatteryReader::AccessoryReading>>& accessories) {
    Console::printLine(QStringLiteral("Refreshed battery states"));

    // Read the current list now, after the waits, so alerts fired by a
    // refresh that completed meanwhile carry over.
    QList<MonitoredDevice> devices;
    if (internalPercent) {
        devices.append(MonitoredDevice{macID, QLatin1String(internalBatteryDeviceName), DeviceKind::mac,
                                       internalPercent, true, previousAlertState(m_devices, macID),
                                       std::nullopt});
    }
    if (!accessories) {
        // A report that failed says nothing about what is connected: forgetting
        // the accessories would drop their alert state and alert them again.
        diagnosticLog(QStringLiteral("Bluetooth report failed; keeping the accessories of the last refresh"));
        std::copy_if(m_devices.cbegin(), m_devices.cend(), std::back_inserter(devices),
                     [](const MonitoredDevice& device) { return device.id != macID; });
    }
    for (const BluetoothBatteryReader::AccessoryReading& reading :
         accessories.value_or(QList<BluetoothBatteryReader::AccessoryReading>{})) {
        devices.append(MonitoredDevice{reading.id, reading.name, reading.kind, reading.batteryPercent,
                                       reading.isConnected, previousAlertState(m_devices, reading.id),
                                       reading.subReadings});
    }
    const QDateTime now = QDateTime::currentDateTimeUtc();
    // Before the list is published, so views that redraw from it see the new estimates.
    if (m_services.history)
        m_services.history->record(devices, now.toMSecsSinceEpoch());
    setDevices(devices);
    m_lastPolled = now;
    publish(&AppState::lastPolledChanged);
    syncOverrideNames(devices);
    checkAllAlerts();
    Q_EMIT refreshCompleted();
}

void AppState::syncOverrideNames(const QList<MonitoredDevice>& devices) {
    for (const MonitoredDevice& device : devices) {
        const auto entry = m_deviceThresholdOverrides.constFind(device.id);
        if (entry == m_deviceThresholdOverrides.constEnd())
            continue;
        if (entry->name == device.name && entry->kind == device.kind)
            continue;
        m_deviceThresholdOverrides.insert(
            device.id, DeviceThresholdOverride{entry->address, device.name, device.kind, entry->threshold});
        writeDeviceThresholdOverrides();
        publish(&AppState::deviceThresholdOverridesChanged);
        checkAllAlerts();
    }
}
