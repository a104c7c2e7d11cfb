#pragma once

#include "CommandLine.h"
#include "model/ChargePoint.h"

#include <QList>
#include <QString>

// `voltwren history`: the charge record's readings of the last days, of
// every device or of one, read from the file itself (read-only), oldest
// first.
namespace HistoryCommand {

// Prints what COMMANDLINE asks for from the record at DATABASEPATH; the exit
// status: 0, or 1 when the record cannot be read or has no such device.
int run(const CommandLine& commandLine, const QString& databasePath);

// One line per reading: local time, name, charge ("80%" or "—") and
// "not connected" where it was not; columns aligned.
QString text(const QList<ChargePoint>& points);
// One compact JSON array of objects with id, name, kind, time (ISO 8601,
// UTC), percent (absent when unknown) and connected.
QString json(const QList<ChargePoint>& points);

} // namespace HistoryCommand
