#include "AppState.h"

#include "app/Console.h"
#include "app/DiagnosticLog.h"
#include "app/LoginItem.h"
#include "app/WhenFinished.h"
#include "history/ChargeHistory.h"
#include "model/DeviceName.h"
#include "platform/Bundle.h"
#include "platform/DefaultsStore.h"
#include "platform/LoginItemService.h"
#include "platform/NotificationCenter.h"
#include "platform/PowerSupplyMonitor.h"
#include "platform/SleepMonitor.h"
#include "sources/AdvertisedBatteryReader.h"
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
const QString remindIntervalKey = QStringLiteral("voltwren.remindIntervalHours");
const QString notifyWhenChargedKey = QStringLiteral("voltwren.notifyWhenCharged");
const QString chargedLevelKey = QStringLiteral("voltwren.chargedLevel");
const QString macID = QStringLiteral("mac");

// The value under KEY when it has the type READ asks for; anything else is
// ignored and the caller's default used.
template <typename T>
std::optional<T> stored(const DefaultsStore& store, const QString& key,
                        std::optional<T> (DefaultsValue::*read)() const) {
    const std::optional<DefaultsValue> value = store.get(key);
    return value ? ((*value).*read)() : std::nullopt;
}

const MonitoredDevice* listed(const QList<MonitoredDevice>& devices, const QString& id) {
    for (const MonitoredDevice& device : devices) {
        if (device.id == id)
            return &device;
    }
    return nullptr;
}

// A stored value that is not one of OPTIONS counts as the default, the first.
template <std::size_t N> double oneOf(const std::array<double, N>& options, std::optional<double> value) {
    return value && std::find(options.cbegin(), options.cend(), *value) != options.cend() ? *value
                                                                                          : options.front();
}

// Waits of the retry schedule, in seconds; after the last, each refresh retries.
constexpr std::array<int, 3> retryDelays{10, 30, 120};
constexpr qsizetype postedLimit = 64;

} // namespace

AppState::Services AppState::Services::systemSources() {
    Services services;
    services.gattReader = &GATTBatteryReader::shared();
    services.readInternalBattery = [] { return ::readInternalBattery(); };
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
    // Only the tray follows adverts: a one-off reading would have to wait for them.
    AdvertisedBatteryReader* advertised = &AdvertisedBatteryReader::shared();
    services.advertisedReader = advertised;
    services.readAccessories = [advertised] {
        return BluetoothBatteryReader::readAccessories(mainBundle(), systemPowerSupplies(),
                                                       advertised->copyLatestReadings());
    };
    return services;
}

double AppState::snapToThresholdOption(double value) {
    // Far out values are nearest the end they lie beyond; measured, they
    // would tie with every option and give "None".
    if (value >= thresholdOptions.back())
        return thresholdOptions.back();
    if (value <= thresholdOptions.front())
        return thresholdOptions.front();
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
        return QCoreApplication::translate("AppState", "%1 is at %2%.")
            .arg(name, QString::number(*device.batteryPercent));
    return QCoreApplication::translate("AppState", "%1 battery is low.").arg(name);
}

QString AppState::chargedBody(const MonitoredDevice& device) {
    return QCoreApplication::translate("AppState", "%1 is charged to %2%.")
        .arg(DeviceName::forDisplay(device.name), QString::number(device.batteryPercent.value_or(0)));
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

    if (AdvertisedBatteryReader* reader = m_services.advertisedReader) {
        const QPointer<AppState> weak(this);
        reader->onUpdate = [weak] {
            if (weak)
                weak->requestRefresh(QStringLiteral("an advertised battery level"));
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
        notifications->onDeliveredLate = [this](const QString& request) { deliveredLate(request); };
        notifications->onAction = [this](const QString& request, const QString& action) {
            if (action == remindLaterAction)
                remindLater(request);
        };
    }
    m_alertClock.setSingleShot(true);
    connect(&m_alertClock, &QTimer::timeout, this, &AppState::checkAllAlerts);

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
    // Precise: it bounds how late an announced change shows.
    m_requestWindow.setTimerType(Qt::PreciseTimer);
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
    if (NotificationCenter* notifications = m_services.notifications) {
        notifications->onServerAppeared = nullptr;
        notifications->onDeliveredLate = nullptr;
        notifications->onAction = nullptr;
    }
    if (GATTBatteryReader* reader = m_services.gattReader) {
        reader->onUpdate = nullptr;
        reader->onFirstStateKnown = nullptr;
        reader->onConnectionEvent = nullptr;
    }
    if (AdvertisedBatteryReader* reader = m_services.advertisedReader)
        reader->onUpdate = nullptr;
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
    m_remindIntervalHours =
        oneOf(remindIntervalOptions, stored(store, remindIntervalKey, &DefaultsValue::toNumber));
    m_notifyWhenCharged = stored(store, notifyWhenChargedKey, &DefaultsValue::toBool).value_or(false);
    m_chargedLevel = oneOf(chargedLevelOptions, stored(store, chargedLevelKey, &DefaultsValue::toNumber));
    if (const std::optional<QByteArray> data = stored(store, overridesKey, &DefaultsValue::toData)) {
        // Entry by entry: one bad entry costs only itself.
        if (std::optional<DeviceThresholdOverride::Decoded> decoded =
                DeviceThresholdOverride::decodeEntries(*data)) {
            for (DeviceThresholdOverride& entry : decoded->entries)
                entry.threshold = snapToThresholdOption(entry.threshold);
            m_deviceThresholdOverrides = std::move(decoded->entries);
            m_unreadableOverrides = std::move(decoded->unreadable);
            for (auto it = m_unreadableOverrides.constBegin(); it != m_unreadableOverrides.constEnd(); ++it)
                diagnosticLog(QStringLiteral("Ignoring an unreadable threshold override for \"") +
                              DeviceName::forDisplay(it.key()) + QStringLiteral("\""));
        } else {
            diagnosticLog(QStringLiteral("Ignoring the stored threshold overrides: they cannot be read"));
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
    // The user's own list now: what could not be read goes with this write.
    m_unreadableOverrides = {};
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

void AppState::setRemindIntervalHours(double value) {
    m_remindIntervalHours = value;
    m_services.defaults->setNumber(remindIntervalKey, value);
    publish(&AppState::remindIntervalHoursChanged);
    scheduleAlertClock();
}

void AppState::setNotifyWhenCharged(bool value) {
    m_notifyWhenCharged = value;
    m_services.defaults->setBool(notifyWhenChargedKey, value);
    publish(&AppState::notifyWhenChargedChanged);
    checkAllAlerts();
}

void AppState::setChargedLevel(double value) {
    m_chargedLevel = value;
    m_services.defaults->setNumber(chargedLevelKey, value);
    publish(&AppState::chargedLevelChanged);
    checkAllAlerts();
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
    m_services.defaults->setData(overridesKey, DeviceThresholdOverride::encodeCollection(
                                                   m_deviceThresholdOverrides, m_unreadableOverrides));
}

void AppState::saveDeviceThresholdOverrides() {
    writeDeviceThresholdOverrides();
    checkAllAlerts();
}

double AppState::effectiveThreshold(const QString& deviceID) const {
    const auto entry = m_deviceThresholdOverrides.constFind(deviceID);
    return entry != m_deviceThresholdOverrides.constEnd() ? entry->threshold : m_threshold;
}

AppState::Clock::duration AppState::pollMinutes(double minutes) const {
    return std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double, std::milli>(minutes * double(m_services.pollMinute.count())));
}

void AppState::checkAlert(qsizetype index) {
    if (index < 0 || index >= m_devices.size())
        return;
    const MonitoredDevice& device = m_devices.at(index);
    if (!device.batteryPercent || !device.isConnected)
        return;
    checkCharged(device);
    AlertRecord& record = m_alerts[device.id];
    const Clock::time_point now = Clock::now();
    // On its charger a device is not low: that ends a spell, and unplugging
    // it below the threshold begins the next.
    if (isLow(device)) {
        if (!device.hasFiredAlert) {
            ++record.spell;
            record.accepted = false;
            record.inFlight = false;
            record.awaitingServer = false;
            record.failures = 0;
            record.retryAt.reset();
            record.lastNotified = now;
            if (m_sendNotifications)
                postLowCharge(device, record);
            m_devices[index].hasFiredAlert = true;
            publish(&AppState::devicesChanged);
        } else if (m_sendNotifications && !record.inFlight) {
            const bool retryDue = !record.accepted && record.retryAt && *record.retryAt <= now;
            const bool remindDue = m_remindIntervalHours > 0 && record.lastNotified &&
                                   now - *record.lastNotified >= pollMinutes(m_remindIntervalHours * 60) &&
                                   (!record.mutedUntil || *record.mutedUntil <= now);
            if (retryDue || remindDue)
                postLowCharge(device, record);
        }
    } else if (device.hasFiredAlert) {
        record.failures = 0;
        record.retryAt.reset();
        record.awaitingServer = false;
        record.lastNotified.reset();
        m_devices[index].hasFiredAlert = false;
        publish(&AppState::devicesChanged);
    }
}

void AppState::checkCharged(const MonitoredDevice& device) {
    if (!device.isCharging)
        return; // unknown: never told, and the charge it may be in goes on
    AlertRecord& record = m_alerts[device.id];
    if (!*device.isCharging) {
        record.chargedNotified = false;
        return;
    }
    if (!m_notifyWhenCharged || record.chargedNotified ||
        static_cast<double>(*device.batteryPercent) < m_chargedLevel)
        return;
    record.chargedNotified = true;
    if (!m_sendNotifications)
        return;
    Notification notification;
    notification.title = QStringLiteral("Voltwren");
    notification.body = chargedBody(device);
    notification.requestIdentifier =
        requestIdentifier(device.id, static_cast<double>(QDateTime::currentMSecsSinceEpoch()) / 1000.0);
    const QString name = DeviceName::forDisplay(device.name);
    m_services.notifications->post(notification, [name](std::optional<NotificationError> error) {
        if (error)
            Console::printLine(QStringLiteral("Voltwren: failed to deliver notification for ") + name +
                               QStringLiteral(": ") + error->text);
    });
}

void AppState::checkAllAlerts() {
    const qsizetype count = m_devices.size();
    for (qsizetype index = 0; index < count; ++index)
        checkAlert(index);
    scheduleAlertClock();
}

void AppState::scheduleAlertClock() {
    std::optional<Clock::time_point> next;
    const auto consider = [&next](Clock::time_point at) {
        if (!next || at < *next)
            next = at;
    };
    if (m_sendNotifications) {
        for (const MonitoredDevice& device : std::as_const(m_devices)) {
            const auto found = m_alerts.constFind(device.id);
            if (!device.hasFiredAlert || found == m_alerts.cend() || !isLow(device))
                continue;
            if (found->retryAt && !found->accepted)
                consider(*found->retryAt);
            if (m_remindIntervalHours > 0 && found->lastNotified)
                consider(std::max(*found->lastNotified + pollMinutes(m_remindIntervalHours * 60),
                                  found->mutedUntil.value_or(Clock::time_point())));
        }
    }
    if (!next) {
        m_alertClock.stop();
        return;
    }
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*next - Clock::now());
    // QTimer takes an int of milliseconds.
    m_alertClock.start(std::clamp<qint64>(wait.count(), 0, 2'000'000'000));
}

bool AppState::isLow(const MonitoredDevice& device) const {
    return device.isConnected && device.batteryPercent && !device.isCharging.value_or(false) &&
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
    postLowCharge(device, m_alerts[device.id]);
}

void AppState::postLowCharge(const MonitoredDevice& device, AlertRecord& record) {
    const double now = static_cast<double>(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
    Notification notification;
    notification.title = QStringLiteral("Voltwren");
    notification.body = notificationBody(device);
    notification.requestIdentifier = requestIdentifier(device.id, now);
    notification.batteryLow = true;
    if (m_remindIntervalHours > 0)
        notification.actions.append(
            {remindLaterAction, QCoreApplication::translate("AppState", "Remind Me Later")});
    record.inFlight = true;
    record.awaitingServer = false;
    record.retryAt.reset();
    record.lastNotified = Clock::now();
    m_posted.append({notification.requestIdentifier, device.id, record.spell, record.accepted});
    if (m_posted.size() > postedLimit)
        m_posted.removeFirst();
    const QString name = DeviceName::forDisplay(device.name);
    const QString request = notification.requestIdentifier;
    const QPointer<AppState> weak(this);
    m_services.notifications->post(
        notification, [name, request, weak](std::optional<NotificationError> error) {
            if (error)
                Console::printLine(QStringLiteral("Voltwren: failed to deliver notification for ") + name +
                                   QStringLiteral(": ") + error->text);
            if (weak)
                weak->lowChargeAnswered(request, error);
        });
}

const AppState::PostedRequest* AppState::postedRequest(const QString& requestIdentifier) const {
    for (const PostedRequest& posted : m_posted) {
        if (posted.requestIdentifier == requestIdentifier)
            return &posted;
    }
    return nullptr;
}

void AppState::lowChargeAnswered(const QString& requestIdentifier,
                                 const std::optional<NotificationError>& error) {
    const PostedRequest* posted = postedRequest(requestIdentifier);
    if (!posted)
        return;
    const auto found = m_alerts.find(posted->deviceID);
    // An answer about an earlier spell changes nothing of the current one.
    if (found == m_alerts.end() || found->spell != posted->spell)
        return;
    AlertRecord& record = *found;
    record.inFlight = false;
    if (!error) {
        record.accepted = true;
    } else if (error->noServer) {
        // Posted again when a server appears.
        record.awaitingServer = !record.accepted;
    } else if (!record.accepted) {
        // The server is there but did not take it: try again on a schedule,
        // then at each refresh.
        const int failure = record.failures++;
        if (failure < int(retryDelays.size()))
            record.retryAt = Clock::now() + retryDelays[failure] * m_services.deliverySecond;
    }
    scheduleAlertClock();
}

void AppState::deliveredLate(const QString& requestIdentifier) {
    const PostedRequest* posted = postedRequest(requestIdentifier);
    if (!posted)
        return;
    const auto found = m_alerts.find(posted->deviceID);
    if (found == m_alerts.end() || found->spell != posted->spell)
        return;
    if (found->accepted && !posted->acceptedWhenPosted) {
        // A retry of the spell was shown meanwhile: one of them is enough.
        m_services.notifications->withdraw(requestIdentifier);
        return;
    }
    diagnosticLog(QStringLiteral("Notification for \"") + posted->deviceID +
                  QStringLiteral("\" was shown after all"));
    found->accepted = true;
    found->retryAt.reset();
    found->awaitingServer = false;
    scheduleAlertClock();
}

void AppState::postUndeliveredNotifications() {
    // Once per low spell: the device must still be low, and the spell the
    // same (a re-armed device starts a new one), and no server took it yet.
    if (!m_sendNotifications)
        return;
    for (const MonitoredDevice& device : std::as_const(m_devices)) {
        const auto found = m_alerts.find(device.id);
        if (found == m_alerts.end() || !device.hasFiredAlert || !isLow(device) || found->accepted ||
            found->inFlight || !(found->awaitingServer || found->failures > 0))
            continue;
        postLowCharge(device, *found);
    }
}

void AppState::retryAtRefresh() {
    if (!m_sendNotifications)
        return;
    for (const MonitoredDevice& device : std::as_const(m_devices)) {
        const auto found = m_alerts.find(device.id);
        if (found != m_alerts.end() && device.hasFiredAlert && isLow(device) && !found->accepted &&
            !found->inFlight && !found->awaitingServer && !found->retryAt &&
            found->failures > int(retryDelays.size()))
            postLowCharge(device, *found);
    }
}

void AppState::remindLater(const QString& requestIdentifier) {
    const PostedRequest* posted = postedRequest(requestIdentifier);
    if (!posted)
        return;
    m_alerts[posted->deviceID].mutedUntil = Clock::now() + pollMinutes(remindLaterMinutes);
    diagnosticLog(QStringLiteral("Reminders for \"") + posted->deviceID +
                  QStringLiteral("\" muted for 4 hours"));
    scheduleAlertClock();
}

void AppState::startFirstPoll(FirstPollReason reason) {
    if (m_hasRunFirstPoll)
        return;
    m_hasRunFirstPoll = true;
    diagnosticLog(
        reason == FirstPollReason::bluetoothState
            ? QStringLiteral("Running first poll (BlueZ reported the adapter's first state)")
            : QStringLiteral("Running first poll (3s timeout \u2014 no adapter state from BlueZ yet)"));
    refresh();
}

std::chrono::milliseconds AppState::pollInterval() const {
    // At least a minute; also for a value that is not a number.
    const double minutes = m_pollIntervalMinutes >= 1.0 ? m_pollIntervalMinutes : 1.0;
    const double milliseconds = minutes * static_cast<double>(m_services.pollMinute.count());
    // QTimer takes an int of milliseconds: about 24 days at most.
    return std::chrono::milliseconds(static_cast<qint64>(std::min(milliseconds, 2.0e9)));
}

void AppState::scheduleTimer() {
    // One timer for the life of the state; restarting it replaces the old
    // schedule, and its first firing is one whole interval from now.
    m_timer.start(pollInterval());
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
    if (AdvertisedBatteryReader* reader = m_services.advertisedReader)
        reader->pollStarted(pollInterval());
}

void AppState::refreshFromCachedReadings() {
    diagnosticLog(QStringLiteral("refreshFromCachedReadings called"));
    requestRefresh(QStringLiteral("a changed GATT reading"));
}

void AppState::requestRefresh(const QString& cause, bool withScan) {
    if (!m_requestCauses.contains(cause))
        m_requestCauses.append(cause);
    m_requestWantsScan = m_requestWantsScan || withScan;
    // While a refresh runs, or one is about to start, what comes joins the next.
    if (m_requestedRefreshRunning)
        return;
    if (!m_requestWindow.isActive()) {
        // After a quiet spell: at once (on the next turn of the event loop,
        // not inside the caller's signal handler).
        m_requestWindow.start(0);
        return;
    }
    // In the window after a refresh, announcements that go on keep it open
    // (for a while): a storm that outlasts refreshes does not chain them.
    if (!m_gatherUntil.hasExpired())
        m_requestWindow.start(
            std::min<qint64>(m_services.announcementWindow.count(), m_gatherUntil.remainingTime()));
}

void AppState::startRequestedRefresh() {
    m_gatherUntil = QDeadlineTimer();
    // The window after a refresh ended with nothing asked for: quiet again.
    if (m_requestCauses.isEmpty())
        return;
    m_requestedRefreshRunning = true;
    diagnosticLog(QStringLiteral("Refreshing after ") +
                  std::exchange(m_requestCauses, {}).join(QStringLiteral(", ")));
    if (std::exchange(m_requestWantsScan, false))
        checkPermissionAndScan();
    performRefresh([this] {
        m_requestedRefreshRunning = false;
        // What came meanwhile, or comes soon after, gathers into one more.
        m_gatherUntil = QDeadlineTimer(m_services.announcementWindow * 5);
        m_requestWindow.start(m_services.announcementWindow);
    });
}

void AppState::systemDidWake() {
    // The poll timer did not count the time asleep: its interval starts now.
    scheduleTimer();
    requestRefresh(QStringLiteral("waking from sleep"), true);
}

void AppState::performRefresh(std::function<void()> completed) {
    // Two background reads, one after the other; the main thread never waits.
    const auto readInternal = m_services.readInternalBattery;
    const auto readAccessories = m_services.readAccessories;
    const quint64 generation = ++m_refreshesStarted;
    whenFinished(
        this, QtConcurrent::run(QThreadPool::globalInstance(), [readInternal] { return readInternal(); }),
        [this, readAccessories, completed, generation](std::optional<InternalBatteryReading> internal) {
            const QString name = QLatin1String(internalBatteryDeviceName);
            diagnosticLog(internal ? QStringLiteral("Battery for \"") + name + QStringLiteral("\": ") +
                                         QString::number(internal->percent) +
                                         QStringLiteral("% via the kernel's power supplies")
                                   : QStringLiteral("Battery for \"") + name +
                                         QStringLiteral("\": no reading available"));
            whenFinished(this,
                         QtConcurrent::run(QThreadPool::globalInstance(),
                                           [readAccessories] { return readAccessories(); }),
                         [this, internal, completed, generation](const auto& accessories) {
                             finishRefresh(generation, internal, accessories);
                             if (completed)
                                 completed();
                         });
        });
}

void AppState::finishRefresh(
    quint64 generation, std::optional<InternalBatteryReading> internal,
    const std::optional<QList<BluetoothBatteryReader::AccessoryReading>>& accessories) {
    Console::printLine(QStringLiteral("Refreshed battery states"));
    // Refreshes may overlap (the timer's beside an announced one): readings
    // taken before the published ones must not replace them.
    if (generation < m_refreshesPublished) {
        diagnosticLog(
            QStringLiteral("A refresh that started earlier ended later; its readings are left out"));
        Q_EMIT refreshCompleted();
        return;
    }
    m_refreshesPublished = generation;

    // Read the current list now, after the waits, so alerts fired by a
    // refresh that completed meanwhile carry over.
    QList<MonitoredDevice> devices;
    if (internal) {
        devices.append(MonitoredDevice{macID, QLatin1String(internalBatteryDeviceName), DeviceKind::mac,
                                       internal->percent, true, firedBefore(macID), std::nullopt,
                                       internal->isCharging});
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
                                       reading.isConnected, firedBefore(reading.id), reading.subReadings,
                                       reading.isCharging});
    }
    const QDateTime now = QDateTime::currentDateTimeUtc();
    // Before the list is published, so views that redraw from it see the new estimates.
    if (m_services.history)
        m_services.history->record(devices, now.toMSecsSinceEpoch());
    rememberDeparted(devices);
    setDevices(devices);
    m_lastPolled = now;
    publish(&AppState::lastPolledChanged);
    syncOverrideNames(devices);
    checkAllAlerts();
    retryAtRefresh();
    Q_EMIT refreshCompleted();
}

bool AppState::firedBefore(const QString& id) const {
    if (const MonitoredDevice* device = listed(m_devices, id))
        return device->hasFiredAlert;
    // A device back within a while keeps its spell: a flapping connection
    // or a restarted Bluetooth service is not a new fall.
    const auto found = m_alerts.constFind(id);
    return found != m_alerts.cend() && found->departedAt &&
           Clock::now() - *found->departedAt < pollMinutes(departedMemoryMinutes) && found->firedWhenDeparted;
}

void AppState::rememberDeparted(const QList<MonitoredDevice>& next) {
    const Clock::time_point now = Clock::now();
    for (const MonitoredDevice& device : std::as_const(m_devices)) {
        if (!listed(next, device.id)) {
            AlertRecord& record = m_alerts[device.id];
            record.departedAt = now;
            record.firedWhenDeparted = device.hasFiredAlert;
        }
    }
    for (auto it = m_alerts.begin(); it != m_alerts.end();) {
        if (listed(next, it.key())) {
            it->departedAt.reset();
            ++it;
        } else if (it->departedAt && now - *it->departedAt >= pollMinutes(departedMemoryMinutes)) {
            it = m_alerts.erase(it);
        } else {
            ++it;
        }
    }
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
