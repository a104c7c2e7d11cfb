#pragma once

#include <QString>

class Bundle;

// A small self-trimming log for support: one "[timestamp] message" line per
// call. Callable from any thread; never fails towards the caller.
void diagnosticLog(const QString& message);

// "<name>, version <version> started".
void logStartupLine();
void logStartupLine(const Bundle& bundle);

// $XDG_STATE_HOME (default ~/.local/state) + /app.voltwren.Voltwren.
// Computed once per process, on first use.
QString logDirectoryURL();
QString logFileURL();

namespace DiagnosticLog {
// Off: every line is dropped, and the log folder is left alone. For a
// one-off reading that must not touch the user's files.
void setEnabled(bool enabled);

// Size limit: a file larger than this is cut to its last trimmedSize bytes
// before the next line is appended.
inline constexpr qint64 maximumSize = 1'000'000;
inline constexpr qint64 trimmedSize = 500'000;
} // namespace DiagnosticLog
