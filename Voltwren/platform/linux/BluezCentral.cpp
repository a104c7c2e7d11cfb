#include "BluezCentral.h"

#include "BluezDBus.h"

#include <QDBusArgument>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QTimer>

namespace {

using namespace BluezDBus;

const QString batteryInterface = QStringLiteral("org.bluez.Battery1");
const QString gattServiceInterface = QStringLiteral("org.bluez.GattService1");
const QString gattCharacteristicInterface = QStringLiteral("org.bluez.GattCharacteristic1");
const QString accessDeniedError = QStringLiteral("org.freedesktop.DBus.Error.AccessDenied");
const QString alreadyConnectedError = QStringLiteral("org.bluez.Error.AlreadyConnected");

// Fixed namespace of the peripheral identifiers; changing it changes every identifier.
const QUuid identifierNamespace = QUuid::fromString(QStringLiteral("{5d0c3c1e-8f4b-4a36-9e51-7b2f6c0a94d3}"));

// The characters the report reader splits lines at.
bool isLineBreak(QChar c) {
    switch (c.unicode()) {
    case 0x000A:
    case 0x000B:
    case 0x000C:
    case 0x000D:
    case 0x0085:
    case 0x2028:
    case 0x2029:
        return true;
    default:
        return false;
    }
}

// What the report reader trims from both ends of a line.
bool isHorizontalSpace(QChar c) {
    return c == QLatin1Char('\t') || c.category() == QChar::Separator_Space;
}

// Line breaks (a CR LF pair as one) become spaces; the ends are trimmed.
QString singleLine(const QString& text) {
    QString result;
    result.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('\r') && i + 1 < text.size() && text[i + 1] == QLatin1Char('\n'))
            continue;
        result.append(isLineBreak(c) ? QChar(QLatin1Char(' ')) : c);
    }
    qsizetype begin = 0;
    qsizetype end = result.size();
    while (begin < end && isHorizontalSpace(result[begin]))
        ++begin;
    while (end > begin && isHorizontalSpace(result[end - 1]))
        --end;
    return result.mid(begin, end - begin);
}

QUuid batteryServiceUuid() {
    return bluetoothUuid(QStringLiteral("180F"));
}
QUuid batteryLevelUuid() {
    return bluetoothUuid(QStringLiteral("2A19"));
}

bool wanted(const QList<QUuid>& filter, const QUuid& uuid) {
    return filter.isEmpty() || filter.contains(uuid);
}

// BlueZ's own words for a failure.
QString errorText(const QDBusMessage& reply) {
    if (!reply.errorMessage().isEmpty())
        return reply.errorMessage();
    if (!reply.errorName().isEmpty())
        return reply.errorName();
    return QStringLiteral("BlueZ gave an unexpected answer");
}

} // namespace

class BluezCentral::Peripheral final : public BluetoothPeripheral {
public:
    Peripheral(QString path, QUuid identifier)
        : path(std::move(path))
        , id(identifier) {}
    QUuid identifier() const override { return id; }
    std::optional<QString> name() const override { return alias; }

    const QString path;
    const QUuid id;
    std::optional<QString> alias;
    std::optional<QList<BluetoothServiceRef>> services;
};

// A GattService1 object, or the battery service BlueZ claimed for itself and
// publishes as Battery1 on the device (path is then the device's).
class BluezCentral::Service final : public BluetoothService {
public:
    Service(QString path, QUuid uuid, bool backedByBattery)
        : path(std::move(path))
        , uuidValue(uuid)
        , backedByBattery(backedByBattery) {}
    QUuid uuid() const override { return uuidValue; }

    const QString path;
    const QUuid uuidValue;
    const bool backedByBattery;
    std::optional<QList<BluetoothCharacteristicRef>> characteristics;
};

class BluezCentral::Characteristic final : public BluetoothCharacteristic {
public:
    Characteristic(QString path, QUuid uuid, bool backedByBattery)
        : path(std::move(path))
        , uuidValue(uuid)
        , backedByBattery(backedByBattery) {}
    QUuid uuid() const override { return uuidValue; }

    const QString path;
    const QUuid uuidValue;
    const bool backedByBattery;
    std::optional<QByteArray> value;
};

BluezCentral::BluezCentral(const QDBusConnection& connection, const QString& service, QObject* parent)
    : QObject(parent)
    , m_connection(connection)
    , m_service(service) {
    m_watcher =
        new QDBusServiceWatcher(m_service, m_connection, QDBusServiceWatcher::WatchForOwnerChange, this);
    QObject::connect(
        m_watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
        [this](const QString&, const QString&, const QString& newOwner) { onServiceOwnerChanged(newOwner); });
    m_connection.connect(m_service, QStringLiteral("/"), objectManagerInterface,
                         QStringLiteral("InterfacesAdded"), this, SLOT(onInterfacesAdded(QDBusMessage)));
    m_connection.connect(m_service, QStringLiteral("/"), objectManagerInterface,
                         QStringLiteral("InterfacesRemoved"), this, SLOT(onInterfacesRemoved(QDBusMessage)));
    m_connection.connect(m_service, QString(), propertiesInterface, QStringLiteral("PropertiesChanged"), this,
                         SLOT(onPropertiesChanged(QDBusMessage)));
    load();
}

BluezCentral::~BluezCentral() {
    m_delegate = nullptr;
    m_connection.disconnect(m_service, QStringLiteral("/"), objectManagerInterface,
                            QStringLiteral("InterfacesAdded"), this, SLOT(onInterfacesAdded(QDBusMessage)));
    m_connection.disconnect(m_service, QStringLiteral("/"), objectManagerInterface,
                            QStringLiteral("InterfacesRemoved"), this,
                            SLOT(onInterfacesRemoved(QDBusMessage)));
    m_connection.disconnect(m_service, QString(), propertiesInterface, QStringLiteral("PropertiesChanged"),
                            this, SLOT(onPropertiesChanged(QDBusMessage)));
}

QUuid BluezCentral::peripheralIdentifier(const QString& address) {
    return QUuid::createUuidV5(identifierNamespace, address.toUpper());
}

std::optional<QString> BluezCentral::peripheralName(const QVariantMap& deviceProperties) {
    QString name;
    for (const char* key : {"Alias", "Name", "Address"}) {
        const QVariant value = deviceProperties.value(QLatin1String(key));
        if (value.metaType() == QMetaType::fromType<QString>())
            name = singleLine(value.toString());
        if (!name.isEmpty())
            break;
    }
    if (name.isEmpty())
        return std::nullopt;
    name.replace(QStringLiteral(": "), QStringLiteral(":\u00A0"));
    if (name == QLatin1String("Connected") || name == QLatin1String("Not Connected") ||
        name == QLatin1String("Bluetooth Controller"))
        name += QChar(0x00A0);
    return name;
}

std::optional<QByteArray> BluezCentral::percentageValue(const QVariant& percentage, QString* error) {
    switch (percentage.metaType().id()) {
    case QMetaType::UChar:
    case QMetaType::UShort:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        if (const qulonglong value = percentage.toULongLong(); value <= 0xFF)
            return QByteArray(1, static_cast<char>(value));
        break;
    default:
        break;
    }
    // A number is shown; text from a device is not.
    const int type = percentage.metaType().id();
    const bool number =
        percentage.canConvert<double>() && type != QMetaType::QString && type != QMetaType::QByteArray;
    *error = QStringLiteral("Battery percentage is not a byte: ") +
             (number ? percentage.toString() + QStringLiteral(" (") : QStringLiteral("(")) +
             QString::fromLatin1(percentage.metaType().name()) + QLatin1Char(')');
    return std::nullopt;
}

void BluezCentral::setDelegate(BluetoothCentralDelegate* delegate) {
    m_delegate = delegate;
}

int BluezCentral::state() const {
    return m_state;
}

BluetoothAuthorization BluezCentral::authorization() const {
    return m_accessDenied ? BluetoothAuthorization::denied : BluetoothAuthorization::allowedAlways;
}

void BluezCentral::call(const QDBusMessage& message, int timeout,
                        std::function<void(const QDBusMessage& reply)> handler) {
    const auto finish = [this, handler = std::move(handler)](const QDBusMessage& reply) {
        if (reply.type() == QDBusMessage::ErrorMessage && reply.errorName() == accessDeniedError)
            m_accessDenied = true;
        handler(reply);
    };
    // Without a bus Qt hands back an empty pending call that never finishes.
    if (!m_connection.isConnected()) {
        const QDBusMessage error =
            message.createErrorReply(QDBusError::Disconnected, QStringLiteral("Not connected to the bus"));
        later([finish, error] { finish(error); });
        return;
    }
    auto* watcher = new QDBusPendingCallWatcher(m_connection.asyncCall(message, timeout), this);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, this,
                     [finish](QDBusPendingCallWatcher* finished) {
                         finished->deleteLater();
                         finish(finished->reply());
                     });
}

void BluezCentral::later(std::function<void()> work) {
    QTimer::singleShot(0, this, std::move(work));
}

void BluezCentral::onServiceOwnerChanged(const QString& newOwner) {
    if (newOwner.isEmpty()) {
        // BlueZ left the bus: everything it had is gone with it.
        ++m_loadGeneration;
        m_loading = false;
        forgetObjects();
        updateState();
        return;
    }
    load();
}

void BluezCentral::retryIfUnavailable() {
    if (!m_loaded && !m_loading)
        load();
}

void BluezCentral::load() {
    const quint64 generation = ++m_loadGeneration;
    m_loading = true;
    const QDBusMessage message = QDBusMessage::createMethodCall(
        m_service, QStringLiteral("/"), objectManagerInterface, QStringLiteral("GetManagedObjects"));
    call(message, loadTimeout, [this, generation](const QDBusMessage& reply) {
        if (generation != m_loadGeneration)
            return; // a newer load or a departure overtook this one
        m_loading = false;
        QMap<QString, Interfaces> objects;
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
            readManagedObjects(reply.arguments().constFirst(), &objects)) {
            m_objects = std::move(objects);
            m_loaded = true;
            m_accessDenied = false;
            // Notifications of the BlueZ that answered before are gone.
            m_subscriptions.clear();
            for (auto it = m_peripherals.begin(); it != m_peripherals.end();) {
                if (hasInterface(it.key(), deviceInterface)) {
                    syncPeripheral(it.key());
                    ++it;
                } else {
                    it = m_peripherals.erase(it);
                }
            }
        } else {
            forgetObjects();
        }
        updateState();
    });
}

void BluezCentral::forgetObjects() {
    m_objects.clear();
    m_loaded = false;
    m_peripherals.clear();
    m_subscriptions.clear();
}

void BluezCentral::updateState() {
    int state = stateUnsupported;
    if (m_accessDenied) {
        state = stateUnauthorized;
    } else if (m_loaded) {
        bool anyAdapter = false;
        bool anyPowered = false;
        for (auto it = m_objects.cbegin(); it != m_objects.cend(); ++it) {
            const auto adapter = it->constFind(adapterInterface);
            if (adapter == it->cend())
                continue;
            anyAdapter = true;
            if (adapter->value(QStringLiteral("Powered")).toBool())
                anyPowered = true;
        }
        state = anyPowered ? statePoweredOn : anyAdapter ? statePoweredOff : stateUnsupported;
    }
    if (m_hasReportedState && state == m_state)
        return;
    m_state = state;
    m_hasReportedState = true;
    if (m_delegate)
        m_delegate->centralDidUpdateState(*this);
}

bool BluezCentral::hasInterface(const QString& path, const QString& interface) const {
    const auto object = m_objects.constFind(path);
    return object != m_objects.cend() && object->contains(interface);
}

QVariant BluezCentral::property(const QString& path, const QString& interface, const QString& name) const {
    const auto object = m_objects.constFind(path);
    if (object == m_objects.cend())
        return {};
    return object->value(interface).value(name);
}

void BluezCentral::syncPeripheral(const QString& path) {
    const auto peripheral = m_peripherals.constFind(path);
    if (peripheral == m_peripherals.cend())
        return;
    const auto object = m_objects.constFind(path);
    (*peripheral)->alias =
        object != m_objects.cend() ? peripheralName(object->value(deviceInterface)) : std::nullopt;
}

void BluezCentral::onInterfacesAdded(const QDBusMessage& message) {
    const QVariantList arguments = message.arguments();
    Interfaces interfaces;
    if (!m_loaded || arguments.size() < 2 || !readInterfaces(arguments.at(1), &interfaces))
        return;
    const QString path = toObjectPath(arguments.at(0));
    if (path.isEmpty())
        return;
    Interfaces& object = m_objects[path];
    for (auto it = interfaces.cbegin(); it != interfaces.cend(); ++it)
        object.insert(it.key(), it.value());
    syncPeripheral(path);
    updateState();
    // A device, its battery, or the Battery Level it exports, newly there.
    QString device = path;
    const QVariantMap characteristic = interfaces.value(gattCharacteristicInterface);
    if (QUuid::fromString(characteristic.value(QStringLiteral("UUID")).toString()) == batteryLevelUuid()) {
        const QString service = toObjectPath(characteristic.value(QStringLiteral("Service")));
        device = toObjectPath(property(service, gattServiceInterface, QStringLiteral("Device")));
    }
    if ((interfaces.contains(deviceInterface) || interfaces.contains(batteryInterface) || device != path) &&
        isConnectedDevice(device))
        announceConnectionEvent();
}

void BluezCentral::onInterfacesRemoved(const QDBusMessage& message) {
    const QVariantList arguments = message.arguments();
    if (!m_loaded || arguments.size() < 2)
        return;
    const QString path = toObjectPath(arguments.at(0));
    const auto object = m_objects.find(path);
    if (object == m_objects.end())
        return;
    const bool wasConnected = isConnectedDevice(path);
    const QStringList removed = toStringList(arguments.at(1));
    for (const QString& interface : removed)
        object->remove(interface);
    if (object->isEmpty())
        m_objects.erase(object);
    if (!hasInterface(path, deviceInterface))
        m_peripherals.remove(path);
    if (removed.contains(deviceInterface) || removed.contains(batteryInterface))
        unsubscribeDevice(path);
    else if (removed.contains(gattCharacteristicInterface))
        m_subscriptions.remove(path);
    updateState();
    if (wasConnected && (removed.contains(deviceInterface) || removed.contains(batteryInterface)))
        announceConnectionEvent();
}

void BluezCentral::onPropertiesChanged(const QDBusMessage& message) {
    QString interface;
    QVariantMap changed;
    if (!m_loaded || !applyPropertiesChanged(m_objects, message, &interface, &changed))
        return;
    const QString path = message.path();
    syncPeripheral(path);
    updateState();
    if (interface == deviceInterface && changed.contains(QStringLiteral("Connected"))) {
        if (!isConnectedDevice(path))
            unsubscribeDevice(path); // BlueZ ends the notifications with the connection
        announceConnectionEvent();
    } else if (interface == batteryInterface && changed.contains(QStringLiteral("Percentage"))) {
        deliverNotification(path, changed.value(QStringLiteral("Percentage")));
    } else if (interface == gattCharacteristicInterface && changed.contains(QStringLiteral("Value"))) {
        deliverNotification(path, changed.value(QStringLiteral("Value")));
    }
}

bool BluezCentral::isConnectedDevice(const QString& path) const {
    return property(path, deviceInterface, QStringLiteral("Connected")).toBool();
}

void BluezCentral::unsubscribeDevice(const QString& path) {
    const QString children = path + QLatin1Char('/');
    for (auto it = m_subscriptions.begin(); it != m_subscriptions.end();) {
        if (it.key() == path || it.key().startsWith(children))
            it = m_subscriptions.erase(it);
        else
            ++it;
    }
}

void BluezCentral::deliverNotification(const QString& path, const QVariant& value) {
    const auto subscription = m_subscriptions.constFind(path);
    if (subscription == m_subscriptions.cend())
        return;
    const BluetoothPeripheralRef peripheral = subscription->peripheral;
    const std::shared_ptr<Characteristic> characteristic = subscription->characteristic;
    std::optional<QString> error;
    if (characteristic->backedByBattery) {
        QString problem;
        if (std::optional<QByteArray> bytes = percentageValue(value, &problem))
            characteristic->value = std::move(bytes);
        else
            error = problem;
    } else {
        characteristic->value = toBytes(value);
    }
    if (m_delegate)
        m_delegate->peripheralDidUpdateValue(peripheral, characteristic, error);
}

void BluezCentral::announceConnectionEvent() {
    if (m_delegate)
        m_delegate->centralDidSeeConnectionEvent();
}

QList<BluetoothPeripheralRef> BluezCentral::retrieveConnectedPeripherals(const QList<QUuid>& services) {
    QList<BluetoothPeripheralRef> peripherals;
    for (auto it = m_objects.cbegin(); it != m_objects.cend(); ++it) {
        const auto device = it->constFind(deviceInterface);
        if (device == it->cend() || !device->value(QStringLiteral("Connected")).toBool())
            continue;
        bool offers = it->contains(batteryInterface) && services.contains(batteryServiceUuid());
        for (const QString& text : toStringList(device->value(QStringLiteral("UUIDs")))) {
            if (offers)
                break;
            offers = services.contains(QUuid::fromString(text));
        }
        if (!offers)
            continue;

        std::shared_ptr<Peripheral>& peripheral = m_peripherals[it.key()];
        if (!peripheral) {
            QString address = device->value(QStringLiteral("Address")).toString();
            if (address.isEmpty())
                address = it.key(); // still stable for this object
            peripheral = std::make_shared<Peripheral>(it.key(), peripheralIdentifier(address));
        }
        syncPeripheral(it.key());
        peripherals.append(peripheral);
    }
    return peripherals;
}

void BluezCentral::connect(const BluetoothPeripheralRef& peripheral) {
    const auto device = std::dynamic_pointer_cast<Peripheral>(peripheral);
    if (!device) {
        later([this, peripheral] {
            if (m_delegate)
                m_delegate->centralDidFailToConnect(peripheral, QStringLiteral("Unknown peripheral"));
        });
        return;
    }
    if (property(device->path, deviceInterface, QStringLiteral("Connected")).toBool()) {
        later([this, peripheral] {
            if (m_delegate)
                m_delegate->centralDidConnect(peripheral);
        });
        return;
    }
    const QDBusMessage message =
        QDBusMessage::createMethodCall(m_service, device->path, deviceInterface, QStringLiteral("Connect"));
    call(message, connectTimeout, [this, peripheral](const QDBusMessage& reply) {
        if (!m_delegate)
            return;
        if (reply.type() == QDBusMessage::ReplyMessage || reply.errorName() == alreadyConnectedError)
            m_delegate->centralDidConnect(peripheral);
        else
            m_delegate->centralDidFailToConnect(peripheral, errorText(reply));
    });
}

void BluezCentral::discoverServices(const BluetoothPeripheralRef& peripheral, const QList<QUuid>& services) {
    const auto device = std::dynamic_pointer_cast<Peripheral>(peripheral);
    if (!device || !hasInterface(device->path, deviceInterface)) {
        later([this, peripheral] {
            if (m_delegate)
                m_delegate->peripheralDidDiscoverServices(peripheral,
                                                          QStringLiteral("Device is not available"));
        });
        return;
    }

    QList<BluetoothServiceRef> found;
    bool exportsBatteryService = false;
    for (auto it = m_objects.cbegin(); it != m_objects.cend(); ++it) {
        const auto service = it->constFind(gattServiceInterface);
        if (service == it->cend() || toObjectPath(service->value(QStringLiteral("Device"))) != device->path)
            continue;
        const QUuid uuid = QUuid::fromString(service->value(QStringLiteral("UUID")).toString());
        if (uuid.isNull() || !wanted(services, uuid))
            continue;
        exportsBatteryService = exportsBatteryService || uuid == batteryServiceUuid();
        found.append(std::make_shared<Service>(it.key(), uuid, false));
    }
    // BlueZ's battery plugin claims the service and keeps it off the bus.
    if (!exportsBatteryService && wanted(services, batteryServiceUuid()) &&
        hasInterface(device->path, batteryInterface))
        found.append(std::make_shared<Service>(device->path, batteryServiceUuid(), true));
    device->services = found;

    later([this, peripheral] {
        if (m_delegate)
            m_delegate->peripheralDidDiscoverServices(peripheral, std::nullopt);
    });
}

std::optional<QList<BluetoothServiceRef>>
BluezCentral::services(const BluetoothPeripheralRef& peripheral) const {
    const auto device = std::dynamic_pointer_cast<Peripheral>(peripheral);
    return device ? device->services : std::nullopt;
}

void BluezCentral::discoverCharacteristics(const BluetoothPeripheralRef& peripheral,
                                           const QList<QUuid>& characteristics,
                                           const BluetoothServiceRef& service) {
    const auto gattService = std::dynamic_pointer_cast<Service>(service);
    if (!gattService) {
        later([this, peripheral, service] {
            if (m_delegate)
                m_delegate->peripheralDidDiscoverCharacteristics(peripheral, service,
                                                                 QStringLiteral("Unknown service"));
        });
        return;
    }

    QList<BluetoothCharacteristicRef> found;
    if (gattService->backedByBattery) {
        if (wanted(characteristics, batteryLevelUuid()))
            found.append(std::make_shared<Characteristic>(gattService->path, batteryLevelUuid(), true));
    } else {
        for (auto it = m_objects.cbegin(); it != m_objects.cend(); ++it) {
            const auto characteristic = it->constFind(gattCharacteristicInterface);
            if (characteristic == it->cend() ||
                toObjectPath(characteristic->value(QStringLiteral("Service"))) != gattService->path)
                continue;
            const QUuid uuid = QUuid::fromString(characteristic->value(QStringLiteral("UUID")).toString());
            if (!uuid.isNull() && wanted(characteristics, uuid))
                found.append(std::make_shared<Characteristic>(it.key(), uuid, false));
        }
    }
    gattService->characteristics = found;

    later([this, peripheral, service] {
        if (m_delegate)
            m_delegate->peripheralDidDiscoverCharacteristics(peripheral, service, std::nullopt);
    });
}

std::optional<QList<BluetoothCharacteristicRef>>
BluezCentral::characteristics(const BluetoothServiceRef& service) const {
    const auto gattService = std::dynamic_pointer_cast<Service>(service);
    return gattService ? gattService->characteristics : std::nullopt;
}

void BluezCentral::readValue(const BluetoothPeripheralRef& peripheral,
                             const BluetoothCharacteristicRef& characteristic) {
    const auto target = std::dynamic_pointer_cast<Characteristic>(characteristic);
    if (!target) {
        later([this, peripheral, characteristic] {
            if (m_delegate)
                m_delegate->peripheralDidUpdateValue(peripheral, characteristic,
                                                     QStringLiteral("Unknown characteristic"));
        });
        return;
    }

    const auto finish = [this, peripheral, characteristic](const std::optional<QString>& error) {
        if (m_delegate)
            m_delegate->peripheralDidUpdateValue(peripheral, characteristic, error);
    };

    if (target->backedByBattery) {
        // Read fresh: the cached property may be older than the device's last report.
        QDBusMessage message = QDBusMessage::createMethodCall(m_service, target->path, propertiesInterface,
                                                              QStringLiteral("Get"));
        message << batteryInterface << QStringLiteral("Percentage");
        call(message, readTimeout, [target, finish](const QDBusMessage& reply) {
            if (reply.type() != QDBusMessage::ReplyMessage) {
                finish(errorText(reply));
                return;
            }
            const QVariant percentage = reply.arguments().isEmpty()
                                            ? QVariant()
                                            : reply.arguments().constFirst().value<QDBusVariant>().variant();
            QString error;
            std::optional<QByteArray> bytes = percentageValue(percentage, &error);
            if (!bytes) {
                finish(error);
                return;
            }
            target->value = std::move(bytes);
            finish(std::nullopt);
        });
        return;
    }

    QDBusMessage message = QDBusMessage::createMethodCall(
        m_service, target->path, gattCharacteristicInterface, QStringLiteral("ReadValue"));
    message << QVariantMap();
    call(message, readTimeout, [target, finish](const QDBusMessage& reply) {
        if (reply.type() != QDBusMessage::ReplyMessage) {
            finish(errorText(reply));
            return;
        }
        if (reply.arguments().isEmpty() ||
            reply.arguments().constFirst().metaType() != QMetaType::fromType<QByteArray>()) {
            finish(QStringLiteral("BlueZ answered ReadValue with no bytes"));
            return;
        }
        target->value = toBytes(reply.arguments().constFirst());
        finish(std::nullopt);
    });
}

void BluezCentral::setNotifyValue(bool enabled, const BluetoothPeripheralRef& peripheral,
                                  const BluetoothCharacteristicRef& characteristic) {
    const auto target = std::dynamic_pointer_cast<Characteristic>(characteristic);
    const auto answer = [this, peripheral, characteristic](const std::optional<QString>& error) {
        if (m_delegate)
            m_delegate->peripheralDidUpdateNotificationState(peripheral, characteristic, error);
    };
    if (!target) {
        later([answer] { answer(QStringLiteral("Unknown characteristic")); });
        return;
    }
    if (!enabled) {
        const auto subscription = m_subscriptions.constFind(target->path);
        const bool stop = subscription != m_subscriptions.cend() && subscription->started &&
                          !subscription->characteristic->backedByBattery;
        m_subscriptions.remove(target->path);
        if (stop) {
            call(QDBusMessage::createMethodCall(m_service, target->path, gattCharacteristicInterface,
                                                QStringLiteral("StopNotify")),
                 notifyTimeout, [](const QDBusMessage&) {});
        }
        later([answer] { answer(std::nullopt); });
        return;
    }

    // A later scan hands over new handles for the same object: values go to
    // the newest, and BlueZ is asked once.
    Subscription& subscription = m_subscriptions[target->path];
    const bool needsStart = !subscription.started;
    subscription.peripheral = peripheral;
    subscription.characteristic = target;
    subscription.started = true;
    if (target->backedByBattery || !needsStart) {
        // BlueZ announces every new percentage of its own accord.
        later([answer] { answer(std::nullopt); });
        return;
    }
    const QString path = target->path;
    call(QDBusMessage::createMethodCall(m_service, path, gattCharacteristicInterface,
                                        QStringLiteral("StartNotify")),
         notifyTimeout, [this, path, answer](const QDBusMessage& reply) {
             if (reply.type() == QDBusMessage::ReplyMessage) {
                 answer(std::nullopt);
                 return;
             }
             m_subscriptions.remove(path); // the next request tries again
             answer(errorText(reply));
         });
}

std::optional<QByteArray> BluezCentral::value(const BluetoothCharacteristicRef& characteristic) const {
    const auto target = std::dynamic_pointer_cast<Characteristic>(characteristic);
    return target ? target->value : std::nullopt;
}

std::unique_ptr<BluetoothCentral> makeBluetoothCentral() {
    return std::make_unique<BluezCentral>(QDBusConnection::systemBus(), QStringLiteral("org.bluez"));
}
