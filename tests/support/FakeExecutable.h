#pragma once

#include <QString>

// Writes a small shell script that plays a program, with its run bit set
// (or not), and returns its path.
namespace FakeExecutable {
QString write(const QString& directory, const QString& name, const QString& script, bool executable = true);
// A script that prints OUTPUT verbatim (printf %s) and exits with STATUS.
QString writeReplying(const QString& directory, const QString& name, const QByteArray& output, int status);
} // namespace FakeExecutable
