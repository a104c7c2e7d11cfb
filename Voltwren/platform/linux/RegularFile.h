#pragma once

#include <QByteArray>
#include <QString>

// Reads a small file of ours that a user or another program may have
// replaced with something else. Only a regular file is opened at all (a FIFO
// or a device never stalls or feeds the caller), without blocking, and never
// more than a bound is read.
namespace RegularFile {

struct Contents {
    enum class State { absent, read, unreadable, tooLarge };
    State state = State::absent;
    QByteArray bytes;
    // Why it is unreadable.
    QString error;

    bool operator==(const Contents&) const = default;
};

// A dangling symlink is unreadable, not absent: something stands there.
Contents read(const QString& path, qint64 maximumSize);

} // namespace RegularFile
