#include "HIDBatteryReader.h"

#include "app/Console.h"

#include <QStringList>

#include <cmath>
#include <limits>

namespace HIDBatteryReader {

namespace {

// A number with an exact whole value; text and booleans are not numbers.
std::optional<qint64> wholeNumber(const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::Short:
        return value.toLongLong();
    case QMetaType::UInt:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
    case QMetaType::UShort: {
        const qulonglong unsignedValue = value.toULongLong();
        if (unsignedValue > qulonglong(std::numeric_limits<qint64>::max()))
            return std::nullopt;
        return qint64(unsignedValue);
    }
    case QMetaType::Double:
    case QMetaType::Float: {
        const double number = value.toDouble();
        // Only the range that matters is checked, so the conversion stays defined.
        if (!std::isfinite(number) || std::trunc(number) != number || std::fabs(number) > 1e15)
            return std::nullopt;
        return qint64(number);
    }
    default:
        return std::nullopt;
    }
}

QString quoted(const QString& item) {
    QString result = QStringLiteral("\"");
    for (const QChar c : item) {
        if (c == QLatin1Char('"') || c == QLatin1Char('\\'))
            result += QLatin1Char('\\') + c;
        else if (c == QLatin1Char('\n'))
            result += QLatin1String("\\n");
        else if (c == QLatin1Char('\r'))
            result += QLatin1String("\\r");
        else if (c == QLatin1Char('\t'))
            result += QLatin1String("\\t");
        else if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            // Keeps the summary on one line whatever a device calls itself.
            result += QStringLiteral("\\u{%1}").arg(c.unicode(), 0, 16);
        else
            result += c;
    }
    return result + QLatin1Char('"');
}

} // namespace

QList<Reading> readings(const QList<PowerSupplies::RegistryEntry>& entries) {
    QList<Reading> result;
    for (const PowerSupplies::RegistryEntry& entry : entries) {
        const std::optional<qint64> percent = wholeNumber(entry.batteryPercent);
        if (!percent || *percent < 0 || *percent > 100)
            continue;
        Reading reading;
        reading.name = entry.product.typeId() == QMetaType::QString ? entry.product.toString()
                                                                    : QStringLiteral("Unknown Accessory");
        reading.percent = *percent;
        if (entry.bdAddr.typeId() == QMetaType::QByteArray) {
            const QByteArray bytes = entry.bdAddr.toByteArray();
            if (bytes.size() == 6)
                reading.address = QString::fromLatin1(bytes.toHex(':').toUpper());
        }
        result.append(reading);
    }
    return result;
}

QString summaryLine(qsizetype checked, const QList<Reading>& readings) {
    QStringList items;
    for (const Reading& reading : readings) {
        QString item = reading.name + QLatin1Char('=') + QString::number(reading.percent) + QLatin1Char('%');
        if (reading.address)
            item += QStringLiteral(" [") + *reading.address + QLatin1Char(']');
        items << quoted(item);
    }
    return QStringLiteral("Voltwren [debug]: full IOService registry scan checked %1 entries, found %2 with "
                          "BatteryPercent: [%3]")
        .arg(checked)
        .arg(readings.size())
        .arg(items.join(QLatin1String(", ")));
}

QList<Reading> scanRegistry(const PowerSupplies& supplies) {
    QList<PowerSupplies::RegistryEntry> entries;
    if (const int error = supplies.registryEntries(entries)) {
        Console::printLine(
            QStringLiteral("Voltwren [debug]: listing the kernel's power supplies failed with result ") +
            QString::number(qint32(error)));
        return {};
    }
    const QList<Reading> result = readings(entries);
    Console::printLine(summaryLine(entries.size(), result));
    return result;
}

QList<Reading> scanRegistry() {
    return scanRegistry(systemPowerSupplies());
}

} // namespace HIDBatteryReader
