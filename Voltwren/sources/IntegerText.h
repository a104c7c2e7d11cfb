#pragma once

#include <QStringView>

#include <optional>

// Strict integer grammar shared by the report and helper parsers: an
// optional "+" or "-", then one or more digits of the base, nothing else;
// overflow of a signed 64-bit integer fails.
namespace IntegerText {
std::optional<qint64> parse(QStringView text, int base = 10);
} // namespace IntegerText
