#pragma once

#include "CommandLine.h"

#include <QString>

// `voltwren history`: the charge record's readings of the last days, of
// every device or of one, read from the file itself (read-only), oldest
// first. Only the days and the device asked for are read, and each reading
// is printed as it is read: the record's size does not matter.
namespace HistoryCommand {

// Prints what COMMANDLINE asks for from the record at DATABASEPATH: one line
// per reading (local time, name, charge "80%" or "—", and "not connected"
// where it was not; columns aligned), or one compact JSON array of objects
// with id, name, kind, time (ISO 8601, UTC), percent (absent when unknown)
// and connected. The exit status: 0, or 1 when the record cannot be read or
// has no such device.
int run(const CommandLine& commandLine, const QString& databasePath);

} // namespace HistoryCommand
