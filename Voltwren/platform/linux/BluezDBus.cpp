#include "BluezDBus.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>

namespace BluezDBus {

QStringList toStringList(const QVariant& value) {
    if (value.metaType() == QMetaType::fromType<QDBusArgument>()) {
        const QDBusArgument argument = value.value<QDBusArgument>();
        if (argument.currentSignature() != QLatin1String("as"))
            return {};
        return qdbus_cast<QStringList>(argument);
    }
    return value.toStringList();
}

QString toObjectPath(const QVariant& value) {
    if (value.metaType() == QMetaType::fromType<QDBusObjectPath>())
        return value.value<QDBusObjectPath>().path();
    return {};
}

QByteArray toBytes(const QVariant& value) {
    if (value.metaType() == QMetaType::fromType<QByteArray>())
        return value.toByteArray();
    return {};
}

bool readInterfaces(const QVariant& value, Interfaces* interfaces) {
    if (value.metaType() != QMetaType::fromType<QDBusArgument>())
        return false;
    const QDBusArgument argument = value.value<QDBusArgument>();
    if (argument.currentSignature() != QLatin1String("a{sa{sv}}"))
        return false;
    *interfaces = qdbus_cast<QMap<QString, QVariantMap>>(argument);
    return true;
}

bool readManagedObjects(const QVariant& value, Objects* objects) {
    if (value.metaType() != QMetaType::fromType<QDBusArgument>())
        return false;
    const QDBusArgument argument = value.value<QDBusArgument>();
    if (argument.currentSignature() != QLatin1String("a{oa{sa{sv}}}"))
        return false;
    argument.beginMap();
    while (!argument.atEnd()) {
        QDBusObjectPath path;
        QMap<QString, QVariantMap> interfaces;
        argument.beginMapEntry();
        argument >> path >> interfaces;
        argument.endMapEntry();
        objects->insert(path.path(), interfaces);
    }
    argument.endMap();
    return true;
}

QVariantMap toMap(const QVariant& value) {
    if (value.metaType() == QMetaType::fromType<QDBusArgument>()) {
        const QDBusArgument argument = value.value<QDBusArgument>();
        if (argument.currentSignature() != QLatin1String("a{sv}"))
            return {};
        return qdbus_cast<QVariantMap>(argument);
    }
    return value.toMap();
}

bool applyPropertiesChanged(Objects& objects, const QDBusMessage& message, QString* interface,
                            QVariantMap* changed) {
    const QVariantList arguments = message.arguments();
    if (arguments.size() < 2)
        return false;
    *interface = arguments.at(0).toString();
    const auto object = objects.find(message.path());
    if (object == objects.end() || !object->contains(*interface))
        return false;
    *changed = toMap(arguments.at(1));
    QVariantMap& properties = (*object)[*interface];
    for (auto it = changed->cbegin(); it != changed->cend(); ++it)
        properties.insert(it.key(), it.value());
    if (arguments.size() >= 3) {
        for (const QString& name : toStringList(arguments.at(2)))
            properties.remove(name);
    }
    return true;
}

} // namespace BluezDBus
