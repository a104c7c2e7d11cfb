#pragma once

#include "platform/PowerSupplies.h"

#include <QList>
#include <QString>

#include <optional>

// Charges that accessories publish as peripheral batteries of the system.
namespace HIDBatteryReader {

struct Reading {
    QString name;
    qint64 percent = 0;
    // Six upper-case hexadecimal pairs joined by ":".
    std::optional<QString> address;

    bool operator==(const Reading&) const = default;
};

// Walks the system's registry afresh and prints the summary line.
QList<Reading> scanRegistry();
QList<Reading> scanRegistry(const PowerSupplies& supplies);

// The entries that carry a whole "BatteryPercent" from 0 to 100, in order.
QList<Reading> readings(const QList<PowerSupplies::RegistryEntry>& entries);
// "Voltwren [debug]: full IOService registry scan checked N entries, found …".
QString summaryLine(qsizetype checked, const QList<Reading>& readings);

} // namespace HIDBatteryReader
