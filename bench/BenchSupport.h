#pragma once

#include "BluezMock.h"

#include <QDir>
#include <QFile>
#include <QString>

// Small pieces the whole-program benchmarks share.
namespace BenchSupport {

// Resident memory of a process in kB (VmRSS), or -1.
inline qint64 residentKilobytes(qint64 pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').constFirst().toLongLong();
    }
    return -1;
}

inline qint64 openDescriptors(qint64 pid) {
    return QDir(QStringLiteral("/proc/%1/fd").arg(pid))
        .entryList(QDir::NoDotAndDotDot | QDir::AllEntries)
        .size();
}

// COUNT connected mice with a battery each, named "Device N".
inline bool addDevices(BluezMock& bluez, int count) {
    if (bluez.addAdapter().isEmpty())
        return false;
    for (int i = 0; i < count; ++i) {
        const QString address = QStringLiteral("AA:BB:CC:DD:EE:%1").arg(i, 2, 16, QLatin1Char('0')).toUpper();
        const QString path = bluez.addDevice(address, QStringLiteral("Device %1").arg(i));
        if (path.isEmpty() ||
            !bluez.setProperty(path, QStringLiteral("org.bluez.Device1"), QStringLiteral("Icon"),
                               QStringLiteral("input-mouse")) ||
            !bluez.addBattery(path, static_cast<quint8>(30 + i)) || !bluez.connectDevice(address))
            return false;
    }
    return true;
}

} // namespace BenchSupport
