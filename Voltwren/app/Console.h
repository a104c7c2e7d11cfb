#pragma once

#include <QString>

// Whole lines on standard output and standard error, flushed at once so that
// lines from several threads never interleave.
namespace Console {
void printLine(const QString& line);
void printErrorLine(const QString& line);
} // namespace Console
