#pragma once

#include <QString>

// Whole lines on standard output and standard error, flushed at once so that
// lines from several threads never interleave.
namespace Console {
void printLine(const QString& line);
void printErrorLine(const QString& line);
// Drops every line from now on: for a command whose standard output is its
// answer, which the program's own chatter must not mix into.
void setQuiet(bool quiet);
} // namespace Console
