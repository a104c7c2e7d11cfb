#pragma once

#include "app/DiagnosticLog.h"

#include <QFile>
#include <QStringList>
#include <QTest>

// The diagnostic log read back as whole entries: the text after "[timestamp] ",
// with the continuation lines of a multi-line entry joined by line feeds.
inline QStringList logEntries() {
    QFile file(logFileURL());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList entries;
    for (const QString& line : QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts)) {
        if (line.startsWith('[') && line.indexOf("Z] ") > 0)
            entries << line.mid(line.indexOf("Z] ") + 3);
        else if (!entries.isEmpty())
            entries.last() += '\n' + line;
    }
    return entries;
}

inline void clearLog() {
    QFile file(logFileURL());
    if (file.exists())
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
}
