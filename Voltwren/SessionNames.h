#pragma once

#include <QDBusArgument>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QVariantMap>

// Where the running program is found on the session bus, and how a client
// tells it from another program that holds the name.
namespace SessionNames {
inline constexpr const char* service = "app.voltwren.Voltwren";
inline constexpr const char* objectPath = "/app/voltwren/Voltwren";
inline constexpr const char* interface = "app.voltwren.Voltwren1";

// Whether PROPERTIES (GetAll's answer for the interface) are a Voltwren's;
// WHY says what is not.
inline bool answersAsVoltwren(const QVariantMap& properties, QString* why = nullptr) {
    const auto fail = [why](const char* text) {
        if (why)
            *why = QLatin1String(text);
        return false;
    };
    const QVariant devices = properties.value(QStringLiteral("Devices"));
    const bool listOfMaps = devices.metaType() == QMetaType::fromType<QDBusArgument>()
                                ? devices.value<QDBusArgument>().currentSignature() == QLatin1String("aa{sv}")
                                : devices.metaType() == QMetaType::fromType<QList<QVariantMap>>();
    if (!listOfMaps)
        return fail("no device list");
    const QVariant version = properties.value(QStringLiteral("Version"));
    if (version.metaType() != QMetaType::fromType<QString>() || version.toString().isEmpty())
        return fail("no version");
    if (properties.value(QStringLiteral("LastPolled")).metaType() != QMetaType::fromType<QString>())
        return fail("no time of the last poll");
    return true;
}

// An error that says the owner did not answer in time (rather than that
// there is none, or that it refused).
inline bool isNoAnswer(const QString& errorName) {
    return errorName == QLatin1String("org.freedesktop.DBus.Error.NoReply") ||
           errorName == QLatin1String("org.freedesktop.DBus.Error.Timeout");
}
} // namespace SessionNames
