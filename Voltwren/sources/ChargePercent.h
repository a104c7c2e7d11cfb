#pragma once

#include <QString>

#include <optional>

// The one rule for a charge handed over by a source: a whole percentage from
// 0 to 100. Anything else (255 for "unknown", a negative or huge number from
// a wrong type) is no reading, never a value to show or alert on.
namespace ChargePercent {

// VALUE when it is a charge; otherwise nullopt, and a debug line that names
// WHAT was ignored ("Battery Level of Desk Mouse").
std::optional<qint64> checked(std::optional<qint64> value, const QString& what);

} // namespace ChargePercent
