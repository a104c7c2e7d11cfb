#pragma once

#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include <algorithm>

// Resident memory of a process by mapping (/proc/PID/smaps): each file by
// its name, [heap], [stack], and anonymous memory, with thread stacks (8 MB
// reservations) and what follows a file's own mapping (its .bss) told apart.
namespace SmapsBreakdown {

struct Figures {
    qint64 rss = 0;
    qint64 privateKb = 0;
    qint64 sharedKb = 0;
};

using Table = QMap<QString, Figures>;

inline Table read(qint64 pid) {
    Table table;
    QFile smaps(QStringLiteral("/proc/%1/smaps").arg(pid));
    if (!smaps.open(QIODevice::ReadOnly))
        return table;
    QString current;
    QString lastFile;
    for (const QByteArray& line : smaps.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.isEmpty() || fields.constFirst().isEmpty())
            continue;
        if (!fields.constFirst().endsWith(':')) {
            // A mapping's header: range perms offset dev inode [name].
            const QList<QByteArray> range = fields.constFirst().split('-');
            const qint64 sizeKb =
                range.size() == 2
                    ? (range[1].toLongLong(nullptr, 16) - range[0].toLongLong(nullptr, 16)) / 1024
                    : 0;
            const QString name = fields.size() > 5
                                     ? QString::fromUtf8(line.mid(line.indexOf(fields[5]))).trimmed()
                                     : QString();
            if (name.startsWith(QLatin1Char('/'))) {
                current = QFileInfo(name).fileName();
                lastFile = current;
            } else if (!name.isEmpty()) {
                current = name;
                lastFile.clear();
            } else if (sizeKb == 8192) {
                current = QStringLiteral("[anon: thread stacks]");
                lastFile.clear();
            } else if (!lastFile.isEmpty()) {
                current = lastFile + QStringLiteral(" (bss)");
            } else {
                current = QStringLiteral("[anon]");
            }
            continue;
        }
        const qint64 kb = fields.size() > 1 ? fields[1].toLongLong() : 0;
        Figures& figures = table[current];
        if (fields.constFirst() == "Rss:")
            figures.rss += kb;
        else if (fields.constFirst() == "Private_Clean:" || fields.constFirst() == "Private_Dirty:")
            figures.privateKb += kb;
        else if (fields.constFirst() == "Shared_Clean:" || fields.constFirst() == "Shared_Dirty:")
            figures.sharedKb += kb;
    }
    return table;
}

// Both processes side by side, the largest differences first; mappings
// under 64 kB in both are summed into one row.
inline void print(QTextStream& out, const QString& moment, const Table& bare, const Table& program) {
    QStringList names = bare.keys() + program.keys();
    names.removeDuplicates();
    const auto difference = [&](const QString& name) {
        return program.value(name).rss - bare.value(name).rss;
    };
    std::sort(names.begin(), names.end(), [&](const QString& a, const QString& b) {
        return difference(a) != difference(b) ? difference(a) > difference(b) : a < b;
    });
    out << "\nsmaps, " << moment << " (kB)\n"
        << "| mapping | bare Rss | voltwren Rss | difference | voltwren private | voltwren shared |\n"
        << "| --- | --- | --- | --- | --- | --- |\n";
    Figures bareRest, programRest, bareTotal, programTotal;
    const auto add = [](Figures& sum, const Figures& figures) {
        sum.rss += figures.rss;
        sum.privateKb += figures.privateKb;
        sum.sharedKb += figures.sharedKb;
    };
    const auto row = [&](const QString& name, const Figures& a, const Figures& b) {
        out << "| " << name << " | " << a.rss << " | " << b.rss << " | " << (b.rss - a.rss) << " | "
            << b.privateKb << " | " << b.sharedKb << " |\n";
    };
    for (const QString& name : names) {
        const Figures a = bare.value(name);
        const Figures b = program.value(name);
        add(bareTotal, a);
        add(programTotal, b);
        if (a.rss < 64 && b.rss < 64) {
            add(bareRest, a);
            add(programRest, b);
            continue;
        }
        row(name, a, b);
    }
    row(QStringLiteral("(mappings under 64 kB)"), bareRest, programRest);
    row(QStringLiteral("**total**"), bareTotal, programTotal);
}

} // namespace SmapsBreakdown
