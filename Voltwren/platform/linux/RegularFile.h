#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

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

// The name every temporary file of replace() for PATH begins with, in PATH's
// folder: hidden, and never a name a person would give a file of their own,
// so that a leftover can be told from their files.
QString temporaryPrefix(const QString& path);

// Replaces PATH (the target, when it is a symlink) with BYTES all at once:
// written and synced to a temporary file beside it, then renamed over it,
// keeping its permissions. The error's text, or nullopt.
std::optional<QString> replace(const QString& path, const QByteArray& bytes);

} // namespace RegularFile
