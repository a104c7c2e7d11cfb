#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QTest>

// Attribute files of one power supply and their contents; "device/…" names
// reach the device's own folder (its uevent, its input devices).
using SysfsAttributes = QMap<QString, QByteArray>;

// Writes ROOT/NAME as real folders. ROOT must end in class/power_supply
// below the folder that stands for /sys.
inline void writePowerSupply(const QString& root, const QString& name, const SysfsAttributes& attributes) {
    for (auto it = attributes.begin(); it != attributes.end(); ++it) {
        const QString path = root + QLatin1Char('/') + name + QLatin1Char('/') + it.key();
        QVERIFY(QDir().mkpath(QFileInfo(path).path()));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(it.value()) == it.value().size());
    }
}
