#pragma once

#include "history/TimeLeft.h"
#include "model/DeviceThresholdOverride.h"
#include "model/MonitoredDevice.h"
#include "sources/BluetoothBatteryReader.h"

#include <QDateTime>
#include <QDeadlineTimer>
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

class ChargeHistory;
class DefaultsStore;
class GATTBatteryReader;
class LoginItemService;
class NotificationCenter;
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
        // Announcements that start refreshes; none when absent.
        PowerSupplyMonitor* powerSupplyMonitor = nullptr;
        SleepMonitor* sleepMonitor = nullptr;
        // Null: nothing is recorded and there are no estimates.
        ChargeHistory* history = nullptr;
        std::function<std::optional<qint64>()> readInternalBattery;
        // nullopt when the report failed: the accessories listed stay as they are.
        std::function<std::optional<QList<BluetoothBatteryReader::AccessoryReading>>()> readAccessories;
        std::chrono::milliseconds firstPollTimeout{3000};
        // How long the poll timer's minute lasts. Tests shorten it; the
        // program itself never polls more often than once a minute.
        std::chrono::milliseconds pollMinute{60000};
        // How long announcements gather before the one refresh they start.
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

    // The notification texts and the request identifier.
    static QString notificationBody(const MonitoredDevice& device);
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

    // Monitoring state.
    const QList<MonitoredDevice>& devices() const { return m_devices; }
    std::optional<QDateTime> lastPolled() const { return m_lastPolled; }
    bool notificationPermissionDenied() const { return m_notificationPermissionDenied; }
    bool bluetoothPermissionDenied() const { return m_bluetoothPermissionDenied; }

    // A full poll: permission, GATT scan, then both sources. Returns at once.
    void refresh();
    // A poll without a new GATT scan, as a requested refresh. Returns at once.
    void refreshFromCachedReadings();
    // Something announced a change (CAUSE says what, for the log). Requests
    // within a short window start one refresh; those that come while it runs
    // gather in a new window after it, kept open while they go on (up to
    // five windows), for exactly one more. WITH_SCAN makes that a full poll.
    void requestRefresh(const QString& cause, bool withScan = false);
    void scheduleTimer();
    const QTimer* timer() const { return &m_timer; }

    void saveDeviceThresholdOverrides();
    double effectiveThreshold(const QString& deviceID) const;
    void checkAlert(qsizetype index);
    void checkAllAlerts();
    // Connected, with a charge below its effective threshold.
    bool isLow(const MonitoredDevice& device) const;
    bool isAnyDeviceLow() const;
    // How long the device's charge lasts at its current drain, when the
    // record says enough (derived, never stored).
    std::optional<TimeLeft> timeLeft(const MonitoredDevice& device) const;
    ChargeHistory* history() const { return m_services.history; }

    void requestNotificationAuthorization();
    void postLowChargeNotification(const MonitoredDevice& device);
    // Posts again, once, what no server answered, for devices still low.
    void postUndeliveredNotifications();

    enum class FirstPollReason { bluetoothState, timeout };
    void startFirstPoll(FirstPollReason reason);

Q_SIGNALS:
    void thresholdChanged();
    void pollIntervalMinutesChanged();
    void launchAtLoginChanged();
    void deviceThresholdOverridesChanged();
    void highlightMenubarIconChanged();
    void sendNotificationsChanged();
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
    void finishRefresh(std::optional<qint64> internalPercent,
                       const std::optional<QList<BluetoothBatteryReader::AccessoryReading>>& accessories);
    void syncOverrideNames(const QList<MonitoredDevice>& devices);
    void setDevices(QList<MonitoredDevice> devices);
    void setNotificationPermissionDenied(bool value);
    void setBluetoothPermissionDenied(bool value);
    void writeDeviceThresholdOverrides();
    void publish(void (AppState::*signal)());

    Services m_services;

    double m_threshold = 20;
    double m_pollIntervalMinutes = 15;
    bool m_launchAtLogin = false;
    DeviceThresholdOverride::Collection m_deviceThresholdOverrides;
    bool m_highlightMenubarIcon = true;
    bool m_sendNotifications = false;
    QList<MonitoredDevice> m_devices;
    std::optional<QDateTime> m_lastPolled;
    bool m_notificationPermissionDenied = false;
    bool m_bluetoothPermissionDenied = false;
    QTimer m_timer;
    bool m_hasRunFirstPoll = false;

    // The requested refreshes: gathering, running, and what the next is for.
    QTimer m_requestWindow;
    QDeadlineTimer m_gatherUntil;
    bool m_requestedRefreshRunning = false;
    QStringList m_requestCauses;
    bool m_requestWantsScan = false;
    // Ids of devices whose low-charge notification found no server.
    QSet<QString> m_undelivered;
};
