#include "FakeExecutable.h"

#include <QFile>

QString FakeExecutable::write(const QString& directory, const QString& name, const QString& script,
                              bool executable) {
    const QString path = directory + QLatin1Char('/') + name;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write fake executable %s", qPrintable(path));
    file.write("#!/bin/sh\n");
    file.write(script.toUtf8());
    file.write("\n");
    file.close();
    QFile::Permissions permissions =
        QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther;
    if (executable)
        permissions |= QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther;
    file.setPermissions(permissions);
    return path;
}

QString FakeExecutable::writeReplying(const QString& directory, const QString& name, const QByteArray& output,
                                      int status) {
    // Octal escapes keep any byte (invalid UTF-8, NUL-free) intact through printf.
    QString escaped;
    for (const char byte : output)
        escaped += QStringLiteral("\\%1").arg(static_cast<unsigned char>(byte), 3, 8, QLatin1Char('0'));
    return write(directory, name, QStringLiteral("printf '%1'\nexit %2").arg(escaped).arg(status));
}
