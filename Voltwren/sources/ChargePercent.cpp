#include "ChargePercent.h"

#include "app/Console.h"

namespace ChargePercent {

std::optional<qint64> checked(std::optional<qint64> value, const QString& what) {
    if (!value || (*value >= 0 && *value <= 100))
        return value;
    Console::printLine(QStringLiteral("Voltwren [debug]: ") + what + QStringLiteral(": ") +
                       QString::number(*value) + QStringLiteral(" is not a charge from 0 to 100; ignored"));
    return std::nullopt;
}

} // namespace ChargePercent
