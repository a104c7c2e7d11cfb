#include "BluezMock.h"

#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>

BluezMock::BluezMock()
    : m_bus(std::make_unique<PrivateBus>(QStringLiteral("system"))) {
    if (m_bus->isValid())
        m_mock = std::make_unique<DbusMock>(*m_bus, true,
                                            QStringList{QStringLiteral("-t"), QStringLiteral("bluez5")},
                                            QStringLiteral("org.bluez"));
}

bool BluezMock::isValid() const {
    return m_bus->isValid() && m_mock && m_mock->isValid();
}

bool BluezMock::call(const QString& path, const QString& interface, const QString& method,
                     const QVariantList& arguments, QVariant* result) {
    QDBusMessage message =
        QDBusMessage::createMethodCall(QStringLiteral("org.bluez"), path, interface, method);
    message.setArguments(arguments);
    const QDBusMessage reply = connection().call(message, QDBus::Block, 10000);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        qWarning("bluez mock call %s failed: %s", qPrintable(method), qPrintable(reply.errorMessage()));
        return false;
    }
    if (result && !reply.arguments().isEmpty())
        *result = reply.arguments().constFirst();
    return true;
}

QString BluezMock::addAdapter(const QString& hci, const QString& alias) {
    QVariant path;
    if (!call(QStringLiteral("/org/bluez"), QStringLiteral("org.bluez.Mock"), QStringLiteral("AddAdapter"),
              {hci, alias}, &path))
        return {};
    return path.toString();
}

QString BluezMock::addDevice(const QString& address, const QString& alias, const QString& hci) {
    QVariant path;
    if (!call(QStringLiteral("/org/bluez"), QStringLiteral("org.bluez.Mock"), QStringLiteral("AddDevice"),
              {hci, address, alias}, &path))
        return {};
    return path.toString();
}

bool BluezMock::connectDevice(const QString& address, const QString& hci) {
    return call(QStringLiteral("/org/bluez"), QStringLiteral("org.bluez.Mock"),
                QStringLiteral("ConnectDevice"), {hci, address});
}

bool BluezMock::disconnectDevice(const QString& address, const QString& hci) {
    return call(QStringLiteral("/org/bluez"), QStringLiteral("org.bluez.Mock"),
                QStringLiteral("DisconnectDevice"), {hci, address});
}

bool BluezMock::pairDevice(const QString& address, quint32 deviceClass, const QString& hci) {
    return call(QStringLiteral("/org/bluez"), QStringLiteral("org.bluez.Mock"), QStringLiteral("PairDevice"),
                {hci, address, QVariant::fromValue(static_cast<qint32>(deviceClass))});
}

bool BluezMock::setProperty(const QString& path, const QString& interface, const QString& name,
                            const QVariant& value) {
    return call(path, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Set"),
                {interface, name, QVariant::fromValue(QDBusVariant(value))});
}

bool BluezMock::addBattery(const QString& devicePath, quint8 percentage) {
    QVariantMap properties;
    properties.insert(QStringLiteral("Percentage"), QVariant::fromValue(static_cast<uchar>(percentage)));
    using Interfaces = QMap<QString, QVariantMap>;
    qDBusRegisterMetaType<Interfaces>();
    // Announced as BlueZ does when its battery support takes up a device.
    const Interfaces added{{QStringLiteral("org.bluez.Battery1"), properties}};
    return call(devicePath, QStringLiteral("org.freedesktop.DBus.Mock"), QStringLiteral("AddProperties"),
                {QStringLiteral("org.bluez.Battery1"), properties}) &&
           call(QStringLiteral("/"), QStringLiteral("org.freedesktop.DBus.Mock"),
                QStringLiteral("EmitSignal"),
                {QStringLiteral("org.freedesktop.DBus.ObjectManager"), QStringLiteral("InterfacesAdded"),
                 QStringLiteral("oa{sa{sv}}"),
                 QVariantList{QVariant::fromValue(QDBusObjectPath(devicePath)), QVariant::fromValue(added)}});
}

QString BluezMock::addConnectedDevice(const QString& address, const QString& alias, const QString& icon,
                                      quint8 percentage) {
    const QString path = addDevice(address, alias);
    const bool ready = !path.isEmpty() &&
                       setProperty(path, QStringLiteral("org.bluez.Device1"), QStringLiteral("Icon"), icon) &&
                       addBattery(path, percentage) && connectDevice(address);
    return ready ? path : QString();
}

QString BluezMock::devicePath(const QString& address, const QString& hci) {
    QString name = address.toUpper();
    name.replace(QLatin1Char(':'), QLatin1Char('_'));
    return QStringLiteral("/org/bluez/") + hci + QStringLiteral("/dev_") + name;
}

bool BluezMock::advertise(const QString& devicePath, quint16 company, const QByteArray& data, qint16 rssi) {
    qDBusRegisterMetaType<QMap<quint16, QDBusVariant>>();
    const QMap<quint16, QDBusVariant> manufacturerData{{company, QDBusVariant(data)}};
    return setProperty(devicePath, QStringLiteral("org.bluez.Device1"), QStringLiteral("RSSI"),
                       QVariant::fromValue(rssi)) &&
           setProperty(devicePath, QStringLiteral("org.bluez.Device1"), QStringLiteral("ManufacturerData"),
                       QVariant::fromValue(manufacturerData));
}

bool BluezMock::addTransport(const QString& devicePath, const QString& state) {
    const QVariantMap properties{
        {QStringLiteral("Device"), QVariant::fromValue(QDBusObjectPath(devicePath))},
        {QStringLiteral("State"), state},
        {QStringLiteral("UUID"), QStringLiteral("0000110b-0000-1000-8000-00805f9b34fb")}};
    return call(QStringLiteral("/org/bluez"), QStringLiteral("org.freedesktop.DBus.Mock"),
                QStringLiteral("AddObject"),
                {devicePath + QStringLiteral("/fd0"), QStringLiteral("org.bluez.MediaTransport1"), properties,
                 QVariant::fromValue(QList<QVariant>{})});
}

QVariant BluezMock::property(const QString& path, const QString& interface, const QString& name) {
    QVariant value;
    if (!call(path, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
              {interface, name}, &value))
        return {};
    return value.value<QDBusVariant>().variant();
}
