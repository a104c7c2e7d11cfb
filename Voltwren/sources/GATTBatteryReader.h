#pragma once

#include "platform/BluetoothCentral.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QUuid>

#include <functional>
#include <memory>
#include <mutex>

// Battery Level readings of Bluetooth Low Energy accessories (GATT Battery Service).
// Event-driven: a scan asks the central for the connected peripherals offering
// the service, reads each one's level and follows its notifications; a
// peripheral that connects later is followed as it comes. The values land in
// a table the aggregator copies from its own thread.
class GATTBatteryReader final : public QObject, private BluetoothCentralDelegate {
    Q_OBJECT

public:
    struct Reading {
        // The peripheral identifier, canonical upper-case UUID text.
        QString id;
        QString name;
        qint64 batteryPercent = 0;

        bool operator==(const Reading&) const = default;
    };

    // The process-wide reader with the system's central. Safe to call from any
    // thread, created once and never destroyed; it lives and reports on the
    // application's main thread whichever thread used it first.
    static GATTBatteryReader& shared();

    // A reader over CENTRAL (null: no central, state 0). Use on the thread
    // that runs the central's callbacks.
    explicit GATTBatteryReader(std::unique_ptr<BluetoothCentral> central, QObject* parent = nullptr);
    ~GATTBatteryReader() override;

    // Main thread only. A callback that is not set is not called.
    std::function<void()> onUpdate;
    std::function<void()> onFirstStateKnown;
    // A device connected to the system or left it, or its battery came or went.
    std::function<void()> onConnectionEvent;

    // Main thread. Returns at once; results arrive through the callbacks.
    void scan();

    // Any thread: a copy of the latest reading of every peripheral seen.
    QList<Reading> copyLatestReadings() const;

    // The Bluetooth permission, read by each refresh (main thread).
    BluetoothAuthorization authorization() const;

    // Main thread: every peripheral asked to connect, by identifier.
    const QHash<QUuid, BluetoothPeripheralRef>& connectedPeripherals() const {
        return m_connectedPeripherals;
    }

private:
    void installCentral(std::unique_ptr<BluetoothCentral> central);
    int currentState() const;
    // Holds PERIPHERAL and asks the central to connect it, which leads to a
    // read and a subscription.
    void follow(const BluetoothPeripheralRef& peripheral);

    void centralDidUpdateState(const BluetoothCentral& central) override;
    void centralDidConnect(const BluetoothPeripheralRef& peripheral) override;
    void centralDidFailToConnect(const BluetoothPeripheralRef& peripheral,
                                 const std::optional<QString>& error) override;
    void peripheralDidDiscoverServices(const BluetoothPeripheralRef& peripheral,
                                       const std::optional<QString>& error) override;
    void peripheralDidDiscoverCharacteristics(const BluetoothPeripheralRef& peripheral,
                                              const BluetoothServiceRef& service,
                                              const std::optional<QString>& error) override;
    void peripheralDidUpdateValue(const BluetoothPeripheralRef& peripheral,
                                  const BluetoothCharacteristicRef& characteristic,
                                  const std::optional<QString>& error) override;
    void peripheralDidUpdateNotificationState(const BluetoothPeripheralRef& peripheral,
                                              const BluetoothCharacteristicRef& characteristic,
                                              const std::optional<QString>& error) override;
    void centralDidSeeConnectionEvent() override;

    bool m_hasReportedFirstState = false;
    const QUuid m_batteryServiceUUID;
    const QUuid m_batteryLevelCharacteristicUUID;
    std::unique_ptr<BluetoothCentral> m_centralManager;
    QHash<QUuid, BluetoothPeripheralRef> m_connectedPeripherals;
    // The connected peripherals whose Battery Level is followed.
    QSet<QUuid> m_followedPeripherals;
    mutable std::mutex m_latestReadingsLock;
    QHash<QUuid, Reading> m_latestReadings;
};
