#pragma once

#include "history/TimeLeft.h"
#include "model/DeviceThresholdOverride.h"
#include "model/MonitoredDevice.h"
#include "sources/BluetoothBatteryReader.h"
#include "sources/InternalBatteryReader.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QStringList>
#include <QTimer>

#include <array>
#include <chrono>
#include <functional>
#include <optional>

class AdvertisedBatteryReader;
class ChargeHistory;
class DefaultsStore;
class GATTBatteryReader;
class LoginItemService;
class NotificationCenter;
struct NotificationError;
class PowerSupplyMonitor;
class SleepMonitor;

// The one application state: settings, the device list, the poll timer, the
// alert rule and notifications. Main thread only. Every assignment of a
// published field emits its change signal, also when the value is unchanged.
class AppState final : public QObject {
    Q_OBJECT

public:
    // What the state reads and drives; the real ones by default.
    struct Services {
        DefaultsStore* defaults = nullptr;
        NotificationCenter* notifications = nullptr;
        LoginItemService* loginItems = nullptr;
        GATTBatteryReader* gattReader = nullptr;
        // The levels earbuds advertise; full polls ask it to look for them.
        AdvertisedBatteryReader* advertisedReader = nullptr;
        // Announcements that start refreshes; none when absent.
        PowerSupplyMonitor* powerSupplyMonitor = nullptr;
        SleepMonitor* sleepMonitor = nullptr;
        // Null: nothing is recorded and there are no estimates.
        ChargeHistory* history = nullptr;
        std::function<std::optional<InternalBatteryReading>()> readInternalBattery;
        // nullopt when the report failed: the accessories listed stay as they are.
        std::function<std::optional<QList<BluetoothBatteryReader::AccessoryReading>>()> readAccessories;
        std::chrono::milliseconds firstPollTimeout{3000};
        // How long the poll timer's minute lasts. Tests shorten it; the
        // program itself never polls more often than once a minute.
        std::chrono::milliseconds pollMinute{60000};
        // How long a second of the notification retry schedule lasts. The
        // reminders, their muting and the memory of a device that left are
        // counted in poll minutes.
        std::chrono::milliseconds deliverySecond{1000};
        // How long announcements gather after a refresh they asked for,
        // into the one that follows it.
        std::chrono::milliseconds announcementWindow{200};

        static Services system();
        // Only the sources of the real ones (GATT reader, battery and
        // accessory reads); the settings, notifications and login item are
        // the caller's, and the real ones are not even made.
        static Services systemSources();
    };

    static constexpr std::array<double, 13> thresholdOptions{0,  5,  10, 15, 20, 25, 30,
                                                             40, 50, 60, 70, 80, 90};
    // The nearest option; a tie goes to the smaller.
    static double snapToThresholdOption(double value);

    // "Remind again while low": never, hourly, every 4 hours.
    static constexpr std::array<double, 3> remindIntervalOptions{0, 1, 4};
    // "Notify when charged" at one of these levels.
    static constexpr std::array<double, 3> chargedLevelOptions{80, 90, 100};
    // How long a device that left the list keeps its alert state, in minutes.
    static constexpr int departedMemoryMinutes = 30;
    // How long "Remind Me Later" mutes a device's reminders, in minutes.
    static constexpr int remindLaterMinutes = 240;
    static inline const QString remindLaterAction = QStringLiteral("remind-later");

    // The notification texts and the request identifier.
    static QString notificationBody(const MonitoredDevice& device);
    static QString chargedBody(const MonitoredDevice& device);
    static QString requestIdentifier(const QString& deviceID, double secondsSince1970);

    explicit AppState(Services services = Services::system(), QObject* parent = nullptr);
    ~AppState() override;

    // Settings (persisted unless noted).
    double threshold() const { return m_threshold; }
    void setThreshold(double value);
    double pollIntervalMinutes() const { return m_pollIntervalMinutes; }
    void setPollIntervalMinutes(double value);
    bool launchAtLogin() const { return m_launchAtLogin; } // not persisted
    void setLaunchAtLogin(bool value);
    const DeviceThresholdOverride::Collection& deviceThresholdOverrides() const {
        return m_deviceThresholdOverrides;
    }
    void setDeviceThresholdOverrides(const DeviceThresholdOverride::Collection& value);
    bool highlightMenubarIcon() const { return m_highlightMenubarIcon; }
    void setHighlightMenubarIcon(bool value);
    bool sendNotifications() const { return m_sendNotifications; }
    void setSendNotifications(bool value);
    // Hours between reminders for a device that stays low; 0 is never.
    double remindIntervalHours() const { return m_remindIntervalHours; }
    void setRemindIntervalHours(double value);
    bool notifyWhenCharged() const { return m_notifyWhenCharged; }
    void setNotifyWhenCharged(bool value);
    double chargedLevel() const { return m_chargedLevel; }
    void setChargedLevel(double value);

    // Monitoring state.
    const QList<MonitoredDevice>& devices() const { return m_devices; }
    std::optional<QDateTime> lastPolled() const { return m_lastPolled; }
    bool notificationPermissionDenied() const { return m_notificationPermissionDenied; }
    bool bluetoothPermissionDenied() const { return m_bluetoothPermissionDenied; }

    // A full poll: permission, GATT scan, then both sources. Returns at once.
    void refresh();
    // Refreshes numbered as they start; the list shown is from the one
    // numbered refreshesPublished(). A caller that needs readings taken
    // after some moment waits for a number above refreshesStarted() then.
    quint64 refreshesStarted() const { return m_refreshesStarted; }
    quint64 refreshesPublished() const { return m_refreshesPublished; }
    // A poll without a new GATT scan, as a requested refresh. Returns at once.
    void refreshFromCachedReadings();
    // Something announced a change (CAUSE says what, for the log). The first
    // after a quiet spell starts a refresh at once; those that come while it
    // runs or within a short window after it gather, the window kept open
    // while they go on (up to five windows), into exactly one more. WITH_SCAN
    // makes that a full poll.
    void requestRefresh(const QString& cause, bool withScan = false);
    void scheduleTimer();
    // The poll timer's interval: at least a minute.
    std::chrono::milliseconds pollInterval() const;
    const QTimer* timer() const { return &m_timer; }

    void saveDeviceThresholdOverrides();
    double effectiveThreshold(const QString& deviceID) const;
    void checkAlert(qsizetype index);
    void checkAllAlerts();
    // Connected, not charging, with a charge below its effective threshold.
    bool isLow(const MonitoredDevice& device) const;
    bool isAnyDeviceLow() const;
    // How long the device's charge lasts at its current drain, when the
    // record says enough (derived, never stored).
    std::optional<TimeLeft> timeLeft(const MonitoredDevice& device) const;
    ChargeHistory* history() const { return m_services.history; }

    void requestNotificationAuthorization();
    void postLowChargeNotification(const MonitoredDevice& device);
    // Posts again what no server took, for devices still low in the same spell.
    void postUndeliveredNotifications();
    // Mutes the reminders of the device a low-charge notification was for.
    void remindLater(const QString& requestIdentifier);

    enum class FirstPollReason { bluetoothState, timeout };
    void startFirstPoll(FirstPollReason reason);

Q_SIGNALS:
    void thresholdChanged();
    void pollIntervalMinutesChanged();
    void launchAtLoginChanged();
    void deviceThresholdOverridesChanged();
    void highlightMenubarIconChanged();
    void sendNotificationsChanged();
    void remindIntervalHoursChanged();
    void notifyWhenChargedChanged();
    void chargedLevelChanged();
    void devicesChanged();
    void lastPolledChanged();
    void notificationPermissionDeniedChanged();
    void bluetoothPermissionDeniedChanged();
    // The record was read back, so estimates may differ.
    void timeLeftChanged();
    // After every published change, for views that redraw wholesale.
    void changed();
    // A refresh has stored its list (after the alert pass).
    void refreshCompleted();

private:
    void loadSettings();
    void startAnnouncements();
    void checkPermissionAndScan();
    void startRequestedRefresh();
    void systemDidWake();
    // COMPLETED runs once the list is stored.
    void performRefresh(std::function<void()> completed = {});
    void finishRefresh(quint64 generation, std::optional<InternalBatteryReading> internal,
                       const std::optional<QList<BluetoothBatteryReader::AccessoryReading>>& accessories);
    void syncOverrideNames(const QList<MonitoredDevice>& devices);
    void setDevices(QList<MonitoredDevice> devices);
    void setNotificationPermissionDenied(bool value);
    void setBluetoothPermissionDenied(bool value);
    void writeDeviceThresholdOverrides();
    void publish(void (AppState::*signal)());

    using Clock = std::chrono::steady_clock;
    // What the alert rule keeps of one device besides hasFiredAlert; also,
    // for a while, of one that left the list.
    struct AlertRecord {
        // Counts the device's low spells, so late answers find their own.
        quint64 spell = 0;
        // A server took a notification of the current spell.
        bool accepted = false;
        // A request of the spell is on its way.
        bool inFlight = false;
        // The last request failed for want of any server.
        bool awaitingServer = false;
        // Failed requests of the spell, and when the next retry is due.
        int failures = 0;
        std::optional<Clock::time_point> retryAt;
        // When the spell was last notified (or began, without notifications).
        std::optional<Clock::time_point> lastNotified;
        std::optional<Clock::time_point> mutedUntil;
        // The charged notice of the current charge was given.
        bool chargedNotified = false;
        // Set while the device is not listed, with its alert state then.
        std::optional<Clock::time_point> departedAt;
        bool firedWhenDeparted = false;
    };
    struct PostedRequest {
        QString requestIdentifier;
        QString deviceID;
        quint64 spell = 0;
        // A reminder of a spell already shown, not a retry of it.
        bool acceptedWhenPosted = false;
    };
    Clock::duration pollMinutes(double minutes) const;
    void postLowCharge(const MonitoredDevice& device, AlertRecord& record);
    void lowChargeAnswered(const QString& requestIdentifier, const std::optional<NotificationError>& error);
    void deliveredLate(const QString& requestIdentifier);
    const PostedRequest* postedRequest(const QString& requestIdentifier) const;
    void checkCharged(const MonitoredDevice& device);
    void rememberDeparted(const QList<MonitoredDevice>& next);
    bool firedBefore(const QString& id) const;
    // The next retry or reminder runs the alert pass.
    void scheduleAlertClock();
    void retryAtRefresh();

    Services m_services;

    double m_threshold = 20;
    double m_pollIntervalMinutes = 15;
    bool m_launchAtLogin = false;
    DeviceThresholdOverride::Collection m_deviceThresholdOverrides;
    bool m_highlightMenubarIcon = true;
    bool m_sendNotifications = false;
    double m_remindIntervalHours = 0;
    bool m_notifyWhenCharged = false;
    double m_chargedLevel = 80;
    QList<MonitoredDevice> m_devices;
    std::optional<QDateTime> m_lastPolled;
    bool m_notificationPermissionDenied = false;
    bool m_bluetoothPermissionDenied = false;
    QTimer m_timer;
    bool m_hasRunFirstPoll = false;
    // Numbers of the refreshes started and of the latest one published.
    quint64 m_refreshesStarted = 0;
    quint64 m_refreshesPublished = 0;

    // The requested refreshes: gathering, running, and what the next is for.
    QTimer m_requestWindow;
    QDeadlineTimer m_gatherUntil;
    bool m_requestedRefreshRunning = false;
    QStringList m_requestCauses;
    bool m_requestWantsScan = false;
    QHash<QString, AlertRecord> m_alerts;
    // The latest low-charge requests, oldest first, a few dozen at most.
    QList<PostedRequest> m_posted;
    QTimer m_alertClock;
    // Overrides that could not be read; kept in the file until the user
    // changes the overrides.
    QJsonObject m_unreadableOverrides;
};
