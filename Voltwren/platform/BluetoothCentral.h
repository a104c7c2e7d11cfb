#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUuid>

#include <memory>
#include <optional>

// The Bluetooth Low Energy central role: the connected peripherals, their
// GATT services and characteristics, value reads and notifications.
// Everything is asynchronous; every delegate call arrives on the main thread.

// 16-bit assigned numbers ("180F") expanded on the Bluetooth base UUID;
// full UUID texts are taken as they are. Null for text that is neither.
inline QUuid bluetoothUuid(const QString& text) {
    if (text.size() == 4) {
        for (const QChar c : text) {
            const char16_t u = c.unicode();
            const bool hex = (u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F');
            if (!hex)
                return {};
        }
        const uint shortValue = text.toUInt(nullptr, 16);
        return QUuid(shortValue, 0x0000, 0x1000, 0x80, 0x00, 0x00, 0x80, 0x5f, 0x9b, 0x34, 0xfb);
    }
    return QUuid::fromString(text);
}

// CBManager authorization values, in their order.
enum class BluetoothAuthorization { notDetermined, restricted, denied, allowedAlways };

// Handles are owned by the central that made them; pass them back only to it.
class BluetoothPeripheral {
public:
    virtual ~BluetoothPeripheral() = default;
    // Stable across runs for the same device.
    virtual QUuid identifier() const = 0;
    // The current name; nullopt when the device has none.
    virtual std::optional<QString> name() const = 0;
};

class BluetoothService {
public:
    virtual ~BluetoothService() = default;
    virtual QUuid uuid() const = 0;
};

class BluetoothCharacteristic {
public:
    virtual ~BluetoothCharacteristic() = default;
    virtual QUuid uuid() const = 0;
};

using BluetoothPeripheralRef = std::shared_ptr<BluetoothPeripheral>;
using BluetoothServiceRef = std::shared_ptr<BluetoothService>;
using BluetoothCharacteristicRef = std::shared_ptr<BluetoothCharacteristic>;

class BluetoothCentral;

// Errors arrive as their description; nullopt means no error.
class BluetoothCentralDelegate {
public:
    virtual ~BluetoothCentralDelegate() = default;
    virtual void centralDidUpdateState(const BluetoothCentral& central) = 0;
    virtual void centralDidConnect(const BluetoothPeripheralRef& peripheral) = 0;
    // The error may be absent, as the platform allows.
    virtual void centralDidFailToConnect(const BluetoothPeripheralRef& peripheral,
                                         const std::optional<QString>& error) = 0;
    virtual void peripheralDidDiscoverServices(const BluetoothPeripheralRef& peripheral,
                                               const std::optional<QString>& error) = 0;
    virtual void peripheralDidDiscoverCharacteristics(const BluetoothPeripheralRef& peripheral,
                                                      const BluetoothServiceRef& service,
                                                      const std::optional<QString>& error) = 0;
    // After a read, and after every notified value.
    virtual void peripheralDidUpdateValue(const BluetoothPeripheralRef& peripheral,
                                          const BluetoothCharacteristicRef& characteristic,
                                          const std::optional<QString>& error) = 0;
    // The answer to setNotifyValue.
    virtual void peripheralDidUpdateNotificationState(const BluetoothPeripheralRef& peripheral,
                                                      const BluetoothCharacteristicRef& characteristic,
                                                      const std::optional<QString>& error) = 0;
    // A device connected to or disconnected from the system, or began or
    // stopped offering its battery: whoever connected it, this process or not.
    virtual void centralDidSeeConnectionEvent() = 0;
};

class BluetoothCentral {
public:
    // CBManagerState values.
    static constexpr int stateUnknown = 0;
    static constexpr int stateResetting = 1;
    static constexpr int stateUnsupported = 2;
    static constexpr int stateUnauthorized = 3;
    static constexpr int statePoweredOff = 4;
    static constexpr int statePoweredOn = 5;

    virtual ~BluetoothCentral() = default;

    // Set before returning to the event loop: the first state report follows
    // asynchronously after construction. Not owned.
    virtual void setDelegate(BluetoothCentralDelegate* delegate) = 0;

    virtual int state() const = 0;
    virtual BluetoothAuthorization authorization() const = 0;
    // Asks the system again when it never answered (or stopped answering):
    // a state report follows if the state changes. Nothing otherwise.
    virtual void retryIfUnavailable() = 0;

    // Peripherals connected to the system that offer one of SERVICES.
    virtual QList<BluetoothPeripheralRef> retrieveConnectedPeripherals(const QList<QUuid>& services) = 0;
    virtual void connect(const BluetoothPeripheralRef& peripheral) = 0;

    virtual void discoverServices(const BluetoothPeripheralRef& peripheral, const QList<QUuid>& services) = 0;
    // nullopt until discovered.
    virtual std::optional<QList<BluetoothServiceRef>>
    services(const BluetoothPeripheralRef& peripheral) const = 0;

    virtual void discoverCharacteristics(const BluetoothPeripheralRef& peripheral,
                                         const QList<QUuid>& characteristics,
                                         const BluetoothServiceRef& service) = 0;
    virtual std::optional<QList<BluetoothCharacteristicRef>>
    characteristics(const BluetoothServiceRef& service) const = 0;

    virtual void readValue(const BluetoothPeripheralRef& peripheral,
                           const BluetoothCharacteristicRef& characteristic) = 0;
    // Every new value of CHARACTERISTIC, while ENABLED, arrives as after a
    // read; an unchanged one may arrive too. Held until disabled or until
    // the peripheral disconnects.
    virtual void setNotifyValue(bool enabled, const BluetoothPeripheralRef& peripheral,
                                const BluetoothCharacteristicRef& characteristic) = 0;
    // The last value read or notified; nullopt before the first.
    virtual std::optional<QByteArray> value(const BluetoothCharacteristicRef& characteristic) const = 0;
};

// The system's central. Create and use it on the main thread only.
std::unique_ptr<BluetoothCentral> makeBluetoothCentral();
