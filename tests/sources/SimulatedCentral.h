#pragma once

#include "platform/BluetoothCentral.h"

#include <QStringList>

#include <functional>

// A central driven by the test: it records every request, and its answers
// wait in a queue until the test delivers them, as the main queue would.
class SimulatedCentral final : public BluetoothCentral {
public:
    class Characteristic final : public BluetoothCharacteristic {
    public:
        explicit Characteristic(QUuid uuid, std::optional<QByteArray> value = std::nullopt)
            : uuidValue(uuid)
            , value(std::move(value)) {}
        QUuid uuid() const override { return uuidValue; }
        QUuid uuidValue;
        // What a read yields.
        std::optional<QByteArray> value;
        std::optional<QString> readError;
        std::optional<QString> notifyError;
    };

    class Service final : public BluetoothService {
    public:
        explicit Service(QUuid uuid)
            : uuidValue(uuid) {}
        QUuid uuid() const override { return uuidValue; }
        QUuid uuidValue;
        // What characteristic discovery finds; nullopt stays absent.
        std::optional<QList<std::shared_ptr<Characteristic>>> characteristics;
        std::optional<QString> discoveryError;
    };

    class Peripheral final : public BluetoothPeripheral {
    public:
        Peripheral(QUuid identifier, std::optional<QString> name)
            : id(identifier)
            , currentName(std::move(name)) {}
        QUuid identifier() const override { return id; }
        std::optional<QString> name() const override { return currentName; }
        QUuid id;
        std::optional<QString> currentName;
        // What service discovery finds; nullopt stays absent.
        std::optional<QList<std::shared_ptr<Service>>> services;
        std::optional<QString> discoveryError;
        // Set: the connection fails, with this error (which may be absent).
        std::optional<std::optional<QString>> connectFailure;
    };

    // A peripheral offering the Battery Service with one Battery Level
    // characteristic that reads VALUE.
    static std::shared_ptr<Peripheral> batteryPeripheral(const std::optional<QString>& name,
                                                         const std::optional<QByteArray>& value,
                                                         QUuid identifier = QUuid::createUuid());
    // The first characteristic of the first service.
    static std::shared_ptr<Characteristic> levelOf(const std::shared_ptr<Peripheral>& peripheral);

    // Reports a new state to the delegate at once, as a state callback would.
    void reportState(int state);
    // Runs the queued answers (and those they cause) until none is left.
    void deliverAll();
    // A value callback for CHARACTERISTIC that was never asked for.
    void injectValueUpdate(const std::shared_ptr<Peripheral>& peripheral,
                           const std::shared_ptr<Characteristic>& characteristic);
    // A device connected or disconnected; set connectedPeripherals first.
    void reportConnectionEvent();

    // Requests so far: "retrieve 0000180f", "connect NAME", "discoverServices NAME 0000180f",
    // "discoverCharacteristics NAME 0000180f 00002a19", "read NAME 00002a19",
    // "notify NAME 00002a19".
    QStringList calls;
    QList<std::shared_ptr<Peripheral>> connectedPeripherals;
    BluetoothAuthorization authorizationValue = BluetoothAuthorization::allowedAlways;

    void setDelegate(BluetoothCentralDelegate* delegate) override { m_delegate = delegate; }
    int state() const override { return m_state; }
    BluetoothAuthorization authorization() const override { return authorizationValue; }
    void retryIfUnavailable() override {}
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

    static QString shortText(const QUuid& uuid);

private:
    static QString label(const BluetoothPeripheralRef& peripheral);
    static QString labels(const QList<QUuid>& uuids);

    BluetoothCentralDelegate* m_delegate = nullptr;
    int m_state = stateUnknown;
    QList<std::function<void()>> m_queue;
};
