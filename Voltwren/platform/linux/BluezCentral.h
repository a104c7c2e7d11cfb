#pragma once

#include "platform/BluetoothCentral.h"

#include <QDBusConnection>
#include <QHash>
#include <QMap>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <functional>

class QDBusMessage;
class QDBusServiceWatcher;

// The central role over BlueZ on D-Bus. It mirrors BlueZ's object tree
// (GetManagedObjects, then InterfacesAdded/Removed and PropertiesChanged) and
// reloads it whenever the service reappears, or when asked after a load that
// failed, so a restarted or once-hung bluetoothd is picked up. Notified
// values come from that mirror too: Battery1.Percentage of the device, or
// the Value of a GattCharacteristic1 after StartNotify. Every call is
// asynchronous and bounded; nothing blocks.
class BluezCentral final : public QObject, public BluetoothCentral {
    Q_OBJECT

public:
    // Timeouts of the calls, in milliseconds.
    static constexpr int loadTimeout = 10000;
    static constexpr int connectTimeout = 30000;
    static constexpr int readTimeout = 10000;
    static constexpr int notifyTimeout = 10000;

    // SERVICE is BlueZ's bus name on CONNECTION ("org.bluez" on the system bus).
    BluezCentral(const QDBusConnection& connection, const QString& service, QObject* parent = nullptr);
    ~BluezCentral() override;

    // The stable identifier of the device with ADDRESS.
    static QUuid peripheralIdentifier(const QString& address);
    // A device's name as the Bluetooth report tool writes it (Alias, else
    // Name, else Address, as one trimmed line with ": " kept from reading as
    // a property), so readings of both are matched by name. The tool keeps
    // the same rules; a test runs both on the same names.
    static std::optional<QString> peripheralName(const QVariantMap& deviceProperties);
    // Battery1.Percentage as a one-byte Battery Level value. BlueZ's type is
    // a byte; an unsigned integer that fits is taken too. Anything else (a
    // signed or larger number, text) is no value, and ERROR says why.
    static std::optional<QByteArray> percentageValue(const QVariant& percentage, QString* error);

    void setDelegate(BluetoothCentralDelegate* delegate) override;
    int state() const override;
    BluetoothAuthorization authorization() const override;
    void retryIfUnavailable() override;
    QList<BluetoothPeripheralRef> retrieveConnectedPeripherals(const QList<QUuid>& services) override;
    void connect(const BluetoothPeripheralRef& peripheral) override;
    void discoverServices(const BluetoothPeripheralRef& peripheral, const QList<QUuid>& services) override;
    std::optional<QList<BluetoothServiceRef>>
    services(const BluetoothPeripheralRef& peripheral) const override;
    void discoverCharacteristics(const BluetoothPeripheralRef& peripheral,
                                 const QList<QUuid>& characteristics,
                                 const BluetoothServiceRef& service) override;
    std::optional<QList<BluetoothCharacteristicRef>>
    characteristics(const BluetoothServiceRef& service) const override;
    void readValue(const BluetoothPeripheralRef& peripheral,
                   const BluetoothCharacteristicRef& characteristic) override;
    void setNotifyValue(bool enabled, const BluetoothPeripheralRef& peripheral,
                        const BluetoothCharacteristicRef& characteristic) override;
    std::optional<QByteArray> value(const BluetoothCharacteristicRef& characteristic) const override;

private Q_SLOTS:
    void onInterfacesAdded(const QDBusMessage& message);
    void onInterfacesRemoved(const QDBusMessage& message);
    void onPropertiesChanged(const QDBusMessage& message);

private:
    class Peripheral;
    class Service;
    class Characteristic;
    using Interfaces = QMap<QString, QVariantMap>;
    // A characteristic followed for its values, by object path (the
    // device's own for a battery BlueZ claimed).
    struct Subscription {
        BluetoothPeripheralRef peripheral;
        std::shared_ptr<Characteristic> characteristic;
        // StartNotify was sent (or none is needed).
        bool started = false;
    };

    void onServiceOwnerChanged(const QString& newOwner);
    void load();
    void forgetObjects();
    void updateState();
    void syncPeripheral(const QString& path);
    bool isConnectedDevice(const QString& path) const;
    // Drops the subscriptions of the device at PATH and of its children.
    void unsubscribeDevice(const QString& path);
    // A new value of the subscription at PATH, when there is one.
    void deliverNotification(const QString& path, const QVariant& value);
    void announceConnectionEvent();
    bool hasInterface(const QString& path, const QString& interface) const;
    QVariant property(const QString& path, const QString& interface, const QString& name) const;
    // Sends MESSAGE; HANDLER gets the reply or the error, always later, on this object's thread.
    void call(const QDBusMessage& message, int timeout,
              std::function<void(const QDBusMessage& reply)> handler);
    // Runs WORK from the event loop, never from inside the caller.
    void later(std::function<void()> work);

    QDBusConnection m_connection;
    QString m_service;
    QDBusServiceWatcher* m_watcher = nullptr;
    BluetoothCentralDelegate* m_delegate = nullptr;

    // BlueZ's objects by path, as last seen.
    QMap<QString, Interfaces> m_objects;
    bool m_loaded = false;
    bool m_loading = false;
    bool m_accessDenied = false;
    quint64 m_loadGeneration = 0;

    int m_state = stateUnknown;
    bool m_hasReportedState = false;

    // One handle per device object, so that repeated scans share its state.
    QHash<QString, std::shared_ptr<Peripheral>> m_peripherals;
    QHash<QString, Subscription> m_subscriptions;
};
