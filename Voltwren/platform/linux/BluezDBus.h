#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

class QDBusMessage;

// Reading BlueZ's D-Bus values, which arrive either demarshalled or as a
// QDBusArgument; a value of another shape reads as empty.
namespace BluezDBus {

inline const QString objectManagerInterface = QStringLiteral("org.freedesktop.DBus.ObjectManager");
inline const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
inline const QString adapterInterface = QStringLiteral("org.bluez.Adapter1");
inline const QString deviceInterface = QStringLiteral("org.bluez.Device1");

using Interfaces = QMap<QString, QVariantMap>;
using Objects = QMap<QString, Interfaces>;

QStringList toStringList(const QVariant& value);
QString toObjectPath(const QVariant& value);
QByteArray toBytes(const QVariant& value);
// a{sv}.
QVariantMap toMap(const QVariant& value);
// a{sa{sv}}; false when the argument has another shape.
bool readInterfaces(const QVariant& value, Interfaces* interfaces);
// a{oa{sa{sv}}}, the answer of GetManagedObjects.
bool readManagedObjects(const QVariant& value, Objects* objects);

// Applies a PropertiesChanged MESSAGE to the mirrored OBJECTS: false when
// its object or interface is not mirrored; else INTERFACE and CHANGED say
// what it changed.
bool applyPropertiesChanged(Objects& objects, const QDBusMessage& message, QString* interface,
                            QVariantMap* changed);

} // namespace BluezDBus
