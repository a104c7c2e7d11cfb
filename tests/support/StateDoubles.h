#pragma once

#include "AppState.h"
#include "platform/DefaultsStore.h"
#include "platform/LoginItemService.h"
#include "platform/NotificationCenter.h"
#include "platform/PowerSupplyMonitor.h"
#include "platform/SleepMonitor.h"
#include "sources/GATTBatteryReader.h"

#include <QMap>
#include <QMutex>
#include <QStringList>
#include <QTimer>

#include <memory>

// In-memory stand-ins for what AppState drives, for tests of the state and
// of the views above it.

// An in-memory defaults store that counts its writes.
class MemoryDefaults final : public DefaultsStore {
public:
    QMap<QString, DefaultsValue> values;
    QStringList writes;

    std::optional<DefaultsValue> get(const QString& key) const override {
        const auto found = values.constFind(key);
        if (found == values.constEnd())
            return std::nullopt;
        return *found;
    }
    bool setNumber(const QString& key, double number) override {
        return store(key, DefaultsValue::number(number));
    }
    bool setBool(const QString& key, bool boolean) override {
        return store(key, DefaultsValue::boolean(boolean));
    }
    bool setString(const QString& key, const QString& text) override {
        return store(key, DefaultsValue::string(text));
    }
    bool setData(const QString& key, const QByteArray& data) override {
        return store(key, DefaultsValue::data(data));
    }
    void putNumber(const QString& key, double number) { values.insert(key, DefaultsValue::number(number)); }
    // As the file store does with a problem met while loading.
    void problemAtLoad(const QString& problem) { reportProblem(problem); }
    void putString(const QString& key, const QString& text) {
        values.insert(key, DefaultsValue::string(text));
    }

private:
    bool store(const QString& key, const DefaultsValue& v) {
        values.insert(key, v);
        writes << key;
        return true;
    }
};

// Records notifications and answers authorization requests as told.
class RecordingNotifications final : public NotificationCenter {
public:
    bool grant = true;
    std::optional<QString> authorizationError;
    int authorizationRequests = 0;
    QList<Notification> posted;

    void requestAuthorization(std::function<void(bool, std::optional<QString>)> completion) override {
        ++authorizationRequests;
        // Answer later, as a real server does.
        QTimer::singleShot(0, [this, completion] { completion(grant, authorizationError); });
    }
    // What the next posts fail with; none is delivered meanwhile.
    std::optional<NotificationError> failure;
    // Every post, delivered or not.
    QList<Notification> attempted;

    void post(const Notification& notification,
              std::function<void(std::optional<NotificationError>)> completion) override {
        attempted << notification;
        if (!failure)
            posted << notification;
        QTimer::singleShot(0, [completion, error = failure] { completion(error); });
    }
};

class FixedLoginItem final : public LoginItemService {
public:
    Status fixedStatus = Status::notRegistered;
    Status status() const override { return fixedStatus; }
    std::optional<QString> registerItem() override { return std::nullopt; }
    std::optional<QString> unregisterItem() override { return std::nullopt; }
};

// Power-supply and sleep announcements the test makes by calling what the
// state installed.
class SimulatedPowerSupplyMonitor final : public PowerSupplyMonitor {
public:
    std::function<void()> changed;
    void start(std::function<void()> onChanged, std::function<void(const QString&)>) override {
        changed = std::move(onChanged);
    }
    void stop() override { changed = nullptr; }
};

class SimulatedSleepMonitor final : public SleepMonitor {
public:
    std::function<void()> woke;
    void start(std::function<void()> onWoke, std::function<void(const QString&)>) override {
        woke = std::move(onWoke);
    }
    void stop() override { woke = nullptr; }
};

// An AppState over the doubles above, whose sources return what the test
// sets (from any thread: the sources are read on the thread pool).
class StateFixture {
public:
    MemoryDefaults defaults;
    RecordingNotifications notifications;
    FixedLoginItem loginItem;
    std::unique_ptr<GATTBatteryReader> gatt = std::make_unique<GATTBatteryReader>(nullptr);
    // The record the state keeps, if any (not owned).
    ChargeHistory* history = nullptr;

    void setInternal(std::optional<qint64> percent, std::optional<bool> charging = std::nullopt);
    void setAccessories(const QList<BluetoothBatteryReader::AccessoryReading>& accessories);

    // No first poll unless asked: tests refresh when they want a list.
    std::unique_ptr<AppState> makeState(std::chrono::milliseconds firstPollTimeout = std::chrono::hours(1),
                                        std::chrono::milliseconds pollMinute = std::chrono::minutes(1));
    // refresh() and wait (bounded) until its list is published.
    static bool refreshAndWait(AppState& state);

private:
    QMutex m_lock;
    std::optional<InternalBatteryReading> m_internal;
    QList<BluetoothBatteryReader::AccessoryReading> m_accessories;
};
