#pragma once

#include "PrivateBus.h"

#include <QDBusConnection>
#include <QVariant>

#include <memory>

// python3-dbusmock's bluez5 template on a private system bus, with the calls
// tests need to shape adapters and devices. Every call is synchronous and
// bounded (D-Bus default timeout); failures are returned as false.
class BluezMock {
public:
    BluezMock();
    bool isValid() const;
    const PrivateBus& bus() const { return *m_bus; }
    QDBusConnection connection() const { return m_bus->connection(); }

    // Returns the adapter's object path ("/org/bluez/hci0"), or empty.
    QString addAdapter(const QString& hci = QStringLiteral("hci0"),
                       const QString& alias = QStringLiteral("laptop"));
    QString addDevice(const QString& address, const QString& alias,
                      const QString& hci = QStringLiteral("hci0"));
    bool connectDevice(const QString& address, const QString& hci = QStringLiteral("hci0"));
    bool disconnectDevice(const QString& address, const QString& hci = QStringLiteral("hci0"));
    bool pairDevice(const QString& address, quint32 deviceClass, const QString& hci = QStringLiteral("hci0"));
    // org.freedesktop.DBus.Properties.Set on an object.
    bool setProperty(const QString& path, const QString& interface, const QString& name,
                     const QVariant& value);
    // Adds org.bluez.Battery1 with Percentage (a byte) to a device object,
    // and announces it.
    bool addBattery(const QString& devicePath, quint8 percentage);
    // A connected device with an icon and a battery, as most stories start
    // with: its object path, or empty.
    QString addConnectedDevice(const QString& address, const QString& alias, const QString& icon,
                               quint8 percentage);
    // An advert as BlueZ shows it: the device's ManufacturerData (a{qv})
    // of COMPANY, and its RSSI.
    bool advertise(const QString& devicePath, quint16 company, const QByteArray& data, qint16 rssi);
    // A MediaTransport1 of DEVICE_PATH in STATE ("active", "idle").
    bool addTransport(const QString& devicePath, const QString& state);
    QVariant property(const QString& path, const QString& interface, const QString& name);
    // The device object path the template uses for ADDRESS.
    static QString devicePath(const QString& address, const QString& hci = QStringLiteral("hci0"));

private:
    bool call(const QString& path, const QString& interface, const QString& method,
              const QVariantList& arguments, QVariant* result = nullptr);
    std::unique_ptr<PrivateBus> m_bus;
    std::unique_ptr<DbusMock> m_mock;
};
