#include "BluezAdvertisementWatcher.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QDBusVariant>

namespace {

using namespace BluezDBus;

const QString transportInterface = QStringLiteral("org.bluez.MediaTransport1");
const QString logind = QStringLiteral("org.freedesktop.login1");
const QString logindPath = QStringLiteral("/org/freedesktop/login1");
const QString logindInterface = QStringLiteral("org.freedesktop.login1.Manager");
const QString logPrefix = QStringLiteral("Advertised batteries: ");

// "bluetooth:v004Cp200Ed0B20": identifiers of the Bluetooth SIG's registry only.
void readModalias(const QString& modalias, AdvertisementWatcher::ConnectedDevice* device) {
    if (!modalias.startsWith(QLatin1String("bluetooth:v")) || modalias.size() < 20 ||
        modalias[15] != QLatin1Char('p'))
        return;
    bool vendorOk = false;
    bool productOk = false;
    const uint vendor = QStringView(modalias).mid(11, 4).toUInt(&vendorOk, 16);
    const uint product = QStringView(modalias).mid(16, 4).toUInt(&productOk, 16);
    if (vendorOk && productOk) {
        device->vendorID = vendor;
        device->productID = product;
    }
}

// a{qv} of byte arrays.
QHash<quint16, QByteArray> manufacturerData(const QVariant& value) {
    QHash<quint16, QByteArray> data;
    if (value.metaType() != QMetaType::fromType<QDBusArgument>())
        return data;
    const QDBusArgument argument = value.value<QDBusArgument>();
    if (argument.currentSignature() != QLatin1String("a{qv}"))
        return data;
    argument.beginMap();
    while (!argument.atEnd()) {
        quint16 company = 0;
        QDBusVariant bytes;
        argument.beginMapEntry();
        argument >> company >> bytes;
        argument.endMapEntry();
        data.insert(company, toBytes(bytes.variant()));
    }
    argument.endMap();
    return data;
}

QHash<QString, QByteArray> serviceData(const QVariant& value) {
    QHash<QString, QByteArray> data;
    const QVariantMap map = toMap(value);
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        const QVariant bytes =
            it->metaType() == QMetaType::fromType<QDBusVariant>() ? it->value<QDBusVariant>().variant() : *it;
        data.insert(it.key().toLower(), toBytes(bytes));
    }
    return data;
}

} // namespace

BluezAdvertisementWatcher::BluezAdvertisementWatcher(const QDBusConnection& connection,
                                                     const QString& service, QObject* parent)
    : QObject(parent)
    , m_connection(connection)
    , m_service(service) {
    m_burstEnd.setSingleShot(true);
    connect(&m_burstEnd, &QTimer::timeout, this, [this] { endBurst(); });
    if (QCoreApplication* application = QCoreApplication::instance())
        connect(application, &QCoreApplication::aboutToQuit, this, [this] { endBurst(); });
}

BluezAdvertisementWatcher::~BluezAdvertisementWatcher() {
    stop();
}

void BluezAdvertisementWatcher::log(const QString& line) const {
    if (m_handlers.log)
        m_handlers.log(logPrefix + line);
}

void BluezAdvertisementWatcher::subscribe(bool on) {
    const auto change = [this, on](const QString& path, const QString& interface, const QString& name,
                                   const char* slot) {
        if (on)
            m_connection.connect(m_service, path, interface, name, this, slot);
        else
            m_connection.disconnect(m_service, path, interface, name, this, slot);
    };
    change(QStringLiteral("/"), objectManagerInterface, QStringLiteral("InterfacesAdded"),
           SLOT(onInterfacesAdded(QDBusMessage)));
    change(QStringLiteral("/"), objectManagerInterface, QStringLiteral("InterfacesRemoved"),
           SLOT(onInterfacesRemoved(QDBusMessage)));
    change(QString(), propertiesInterface, QStringLiteral("PropertiesChanged"),
           SLOT(onPropertiesChanged(QDBusMessage)));
    if (on)
        m_connection.connect(logind, logindPath, logindInterface, QStringLiteral("PrepareForSleep"), this,
                             SLOT(onPrepareForSleep(bool)));
    else
        m_connection.disconnect(logind, logindPath, logindInterface, QStringLiteral("PrepareForSleep"), this,
                                SLOT(onPrepareForSleep(bool)));
}

void BluezAdvertisementWatcher::start(Handlers handlers) {
    stop();
    m_handlers = std::move(handlers);
    m_started = true;
    if (!m_connection.isConnected()) {
        log(QStringLiteral("no system bus; adverts are not read"));
        return;
    }
    m_serviceWatcher =
        new QDBusServiceWatcher(m_service, m_connection, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(m_serviceWatcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& newOwner) {
                if (!newOwner.isEmpty()) {
                    load();
                    return;
                }
                // BlueZ left: its discovery ended with it.
                ++m_loadGeneration;
                m_burstAdapter.clear();
                m_burstEnd.stop();
                m_objects.clear();
                announceDevices();
            });
    subscribe(true);
    load();
}

void BluezAdvertisementWatcher::stop() {
    if (!m_started)
        return;
    endBurst();
    m_started = false;
    ++m_loadGeneration;
    if (m_connection.isConnected())
        subscribe(false);
    delete m_serviceWatcher;
    m_serviceWatcher = nullptr;
    m_objects.clear();
    m_handlers = {};
}

void BluezAdvertisementWatcher::load() {
    const quint64 generation = ++m_loadGeneration;
    const QDBusMessage message = QDBusMessage::createMethodCall(
        m_service, QStringLiteral("/"), objectManagerInterface, QStringLiteral("GetManagedObjects"));
    auto* watcher = new QDBusPendingCallWatcher(m_connection.asyncCall(message, callTimeout), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, generation](QDBusPendingCallWatcher* done) {
                done->deleteLater();
                if (generation != m_loadGeneration)
                    return;
                const QDBusMessage reply = done->reply();
                Objects objects;
                if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty() ||
                    !readManagedObjects(reply.arguments().constFirst(), &objects))
                    return; // no BlueZ yet: its arrival loads again
                // What the objects held before now is old news, not an advert.
                m_objects = std::move(objects);
                announceDevices();
            });
}

void BluezAdvertisementWatcher::onInterfacesAdded(const QDBusMessage& message) {
    const QVariantList arguments = message.arguments();
    Interfaces interfaces;
    if (arguments.size() < 2 || !readInterfaces(arguments.at(1), &interfaces))
        return;
    const QString path = toObjectPath(arguments.at(0));
    if (path.isEmpty())
        return;
    Interfaces& object = m_objects[path];
    for (auto it = interfaces.cbegin(); it != interfaces.cend(); ++it)
        object.insert(it.key(), it.value());
    if (interfaces.contains(transportInterface) && isAudioPlaying() && isDiscovering()) {
        log(QStringLiteral("audio started; discovery stopped"));
        endBurst();
    }
    if (interfaces.contains(transportInterface) ||
        interfaces.value(deviceInterface).value(QStringLiteral("Connected")).toBool())
        announceDevices();
    // A new object of a random address is made from an advert.
    if (interfaces.contains(deviceInterface))
        announceAdvertisement(path);
}

void BluezAdvertisementWatcher::onInterfacesRemoved(const QDBusMessage& message) {
    const QVariantList arguments = message.arguments();
    if (arguments.size() < 2)
        return;
    const QString path = toObjectPath(arguments.at(0));
    const auto object = m_objects.find(path);
    if (object == m_objects.end())
        return;
    const QStringList removed = toStringList(arguments.at(1));
    for (const QString& interface : removed)
        object->remove(interface);
    if (object->isEmpty())
        m_objects.erase(object);
    if (path == m_burstAdapter && removed.contains(adapterInterface)) {
        m_burstAdapter.clear();
        m_burstEnd.stop();
    }
    if (removed.contains(transportInterface) || removed.contains(deviceInterface))
        announceDevices();
}

void BluezAdvertisementWatcher::onPropertiesChanged(const QDBusMessage& message) {
    QString interface;
    QVariantMap changed;
    if (!applyPropertiesChanged(m_objects, message, &interface, &changed))
        return;
    if (interface == transportInterface && changed.contains(QStringLiteral("State"))) {
        if (isAudioPlaying() && isDiscovering()) {
            log(QStringLiteral("audio started; discovery stopped"));
            endBurst();
        }
        announceDevices();
    } else if (interface == deviceInterface) {
        if (changed.contains(QStringLiteral("Connected")) || changed.contains(QStringLiteral("Modalias")) ||
            changed.contains(QStringLiteral("UUIDs")))
            announceDevices();
        if (changed.contains(QStringLiteral("ManufacturerData")) ||
            changed.contains(QStringLiteral("ServiceData")) || changed.contains(QStringLiteral("RSSI")))
            announceAdvertisement(message.path());
    }
}

void BluezAdvertisementWatcher::onPrepareForSleep(bool goingToSleep) {
    if (goingToSleep)
        endBurst();
}

void BluezAdvertisementWatcher::announceAdvertisement(const QString& path) {
    if (!m_handlers.advertisement)
        return;
    const QVariantMap device = m_objects.value(path).value(deviceInterface);
    Advertisement advert;
    advert.manufacturerData = manufacturerData(device.value(QStringLiteral("ManufacturerData")));
    advert.serviceData = serviceData(device.value(QStringLiteral("ServiceData")));
    if (advert.manufacturerData.isEmpty() && advert.serviceData.isEmpty())
        return;
    advert.address = device.value(QStringLiteral("Address")).toString().toUpper();
    advert.isConnectedDevice = device.value(QStringLiteral("Connected")).toBool();
    bool ok = false;
    const qint64 rssi = device.value(QStringLiteral("RSSI")).toLongLong(&ok);
    if (ok)
        advert.rssi = rssi;
    m_handlers.advertisement(advert);
}

void BluezAdvertisementWatcher::announceDevices() {
    if (m_handlers.devicesChanged)
        m_handlers.devicesChanged();
}

QList<AdvertisementWatcher::ConnectedDevice> BluezAdvertisementWatcher::connectedDevices() const {
    QList<ConnectedDevice> devices;
    for (const Interfaces& object : m_objects) {
        const auto properties = object.constFind(deviceInterface);
        if (properties == object.cend() || !properties->value(QStringLiteral("Connected")).toBool())
            continue;
        ConnectedDevice device;
        device.address = properties->value(QStringLiteral("Address")).toString().toUpper();
        readModalias(properties->value(QStringLiteral("Modalias")).toString(), &device);
        for (const QString& uuid : toStringList(properties->value(QStringLiteral("UUIDs"))))
            device.uuids.append(uuid.toLower());
        devices.append(device);
    }
    return devices;
}

bool BluezAdvertisementWatcher::isAudioPlaying() const {
    for (const Interfaces& object : m_objects) {
        const auto transport = object.constFind(transportInterface);
        if (transport != object.cend() &&
            transport->value(QStringLiteral("State")).toString() == QLatin1String("active"))
            return true;
    }
    return false;
}

void BluezAdvertisementWatcher::call(const QString& path, const QString& interface, const QString& method,
                                     const QVariantList& arguments, const QString& what) {
    QDBusMessage message = QDBusMessage::createMethodCall(m_service, path, interface, method);
    message.setArguments(arguments);
    auto* watcher = new QDBusPendingCallWatcher(m_connection.asyncCall(message, callTimeout), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, what](QDBusPendingCallWatcher* done) {
        done->deleteLater();
        const QDBusMessage reply = done->reply();
        if (reply.type() == QDBusMessage::ErrorMessage && !what.isEmpty())
            log(what + QStringLiteral(" failed: ") + reply.errorMessage());
    });
}

bool BluezAdvertisementWatcher::startDiscoveryBurst(std::chrono::milliseconds duration) {
    if (!m_started || isDiscovering() || isAudioPlaying() || !m_connection.isConnected())
        return false;
    QString adapter;
    for (auto it = m_objects.cbegin(); it != m_objects.cend() && adapter.isEmpty(); ++it) {
        const auto properties = it->constFind(adapterInterface);
        if (properties != it->cend() && properties->value(QStringLiteral("Powered")).toBool())
            adapter = it.key();
    }
    if (adapter.isEmpty())
        return false;
    m_burstAdapter = adapter;
    // Every advert, also repeats, and no classic inquiry.
    const QVariantMap filter{{QStringLiteral("Transport"), QStringLiteral("le")},
                             {QStringLiteral("DuplicateData"), true}};
    call(adapter, adapterInterface, QStringLiteral("SetDiscoveryFilter"), {filter},
         QStringLiteral("SetDiscoveryFilter"));
    call(adapter, adapterInterface, QStringLiteral("StartDiscovery"), {}, QStringLiteral("StartDiscovery"));
    m_burstEnd.start(duration);
    return true;
}

void BluezAdvertisementWatcher::endBurst() {
    if (!isDiscovering())
        return;
    const QString adapter = std::exchange(m_burstAdapter, QString());
    m_burstEnd.stop();
    // Sent without waiting, so they also go out while the program quits.
    for (const auto& [method, arguments] :
         {std::pair{QStringLiteral("StopDiscovery"), QVariantList{}},
          std::pair{QStringLiteral("SetDiscoveryFilter"), QVariantList{QVariantMap{}}}}) {
        QDBusMessage message = QDBusMessage::createMethodCall(m_service, adapter, adapterInterface, method);
        message.setArguments(arguments);
        message.setAutoStartService(false);
        m_connection.send(message);
    }
}

AdvertisementWatcher& advertisementWatcher() {
    // Never destroyed, like the connection it listens on.
    static BluezAdvertisementWatcher* const watcher =
        new BluezAdvertisementWatcher(QDBusConnection::systemBus(), QStringLiteral("org.bluez"));
    return *watcher;
}
