#include "BluezDevice.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QMap>
#include <QVariantMap>

namespace {

using InterfaceMap = QMap<QString, QVariantMap>;
using ManagedObjects = QMap<QDBusObjectPath, InterfaceMap>;

const QString bluezService = QStringLiteral("org.bluez");
const QString deviceInterface = QStringLiteral("org.bluez.Device1");
const QString batteryInterface = QStringLiteral("org.bluez.Battery1");

QString normalisedAddress(const QString& address) {
    QString text = address;
    text.replace(QLatin1Char('-'), QLatin1Char(':'));
    return text;
}

// BlueZ sends a byte; an unsigned integer of another width counts only while
// it fits one. A signed type is not BlueZ's: its value means nothing here.
std::optional<quint8> percentageByte(const QVariant& value) {
    switch (value.metaType().id()) {
    case QMetaType::UChar:
    case QMetaType::UShort:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        break;
    default:
        return std::nullopt;
    }
    const qulonglong number = value.toULongLong();
    if (number > 255)
        return std::nullopt;
    return static_cast<quint8>(number);
}

} // namespace

bool BluezDevice::addressMatches(const QString& wanted, const QString& address) {
    return normalisedAddress(wanted).compare(normalisedAddress(address), Qt::CaseInsensitive) == 0;
}

std::unique_ptr<BluezDevice> BluezDevice::find(const QString& address, const QDBusConnection& bus,
                                               std::chrono::milliseconds timeout) {
    if (!bus.isConnected())
        return nullptr;
    const QDBusMessage call = QDBusMessage::createMethodCall(
        bluezService, QStringLiteral("/"), QStringLiteral("org.freedesktop.DBus.ObjectManager"),
        QStringLiteral("GetManagedObjects"));
    const QDBusMessage reply = bus.call(call, QDBus::Block, static_cast<int>(timeout.count()));
    // Anything but the expected shape (errors, time-outs, another signature) means no device.
    if (reply.type() != QDBusMessage::ReplyMessage || reply.signature() != QLatin1String("a{oa{sa{sv}}}") ||
        reply.arguments().size() != 1)
        return nullptr;
    const ManagedObjects objects = qdbus_cast<ManagedObjects>(reply.arguments().constFirst());

    // The same device may be known to several adapters; prefer one that reports a battery.
    std::unique_ptr<BluezDevice> found;
    for (auto object = objects.cbegin(); object != objects.cend(); ++object) {
        const auto device = object->constFind(deviceInterface);
        if (device == object->cend())
            continue;
        const QVariant deviceAddress = device->value(QStringLiteral("Address"));
        if (deviceAddress.metaType().id() != QMetaType::QString ||
            !addressMatches(address, deviceAddress.toString()))
            continue;
        std::optional<quint8> percentage;
        const auto battery = object->constFind(batteryInterface);
        if (battery != object->cend())
            percentage = percentageByte(battery->value(QStringLiteral("Percentage")));
        if (percentage)
            return std::make_unique<BluezDevice>(percentage);
        if (!found)
            found = std::make_unique<BluezDevice>(std::nullopt);
    }
    return found;
}

bool BluezDevice::supports(const QString& selector) const {
    return m_batteryPercentage && selector == QLatin1String(batteryPercentSingle);
}

quint8 BluezDevice::byteFor(const QString& selector) const {
    return supports(selector) ? *m_batteryPercentage : 0;
}
