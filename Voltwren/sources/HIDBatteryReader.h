#pragma once

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

} // namespace HIDBatteryReader
