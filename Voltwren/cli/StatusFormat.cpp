#include "StatusFormat.h"

#include "model/DeviceName.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusVariant>
#include <QJsonDocument>
#include <QLocale>

#include <optional>

namespace {

const QString dash = QStringLiteral("\u2014");

std::optional<qint64> percentOf(const QJsonObject& object) {
    const QJsonValue value = object.value(QStringLiteral("percent"));
    if (!value.isDouble())
        return std::nullopt;
    return static_cast<qint64>(value.toDouble());
}

QString charge(const QJsonObject& device) {
    if (!device.value(QStringLiteral("connected")).toBool())
        return QCoreApplication::translate("StatusFormat", "Not connected");
    const std::optional<qint64> percent = percentOf(device);
    const QString charging = device.value(QStringLiteral("charging")).toBool()
                                 ? QCoreApplication::translate("StatusFormat", ", charging")
                                 : QString();
    return (percent ? QCoreApplication::translate("StatusFormat", "%1%").arg(QLocale().toString(*percent))
                    : dash) +
           charging;
}

QString components(const QJsonObject& device) {
    QStringList parts;
    for (const QJsonValue& value : device.value(QStringLiteral("components")).toArray()) {
        const QJsonObject component = value.toObject();
        const QString id = component.value(QStringLiteral("id")).toString();
        const QString label =
            id == QLatin1String("left") ? QCoreApplication::translate("StatusFormat", "L")
            : id == QLatin1String("right")
                ? QCoreApplication::translate("StatusFormat", "R")
                : QCoreApplication::translate(
                      "Component", component.value(QStringLiteral("label")).toString().toUtf8().constData());
        const std::optional<qint64> percent = percentOf(component);
        parts
            << label + QLatin1Char(' ') +
                   (percent
                        ? QCoreApplication::translate("StatusFormat", "%1%").arg(QLocale().toString(*percent))
                        : dash);
    }
    return parts.join(QStringLiteral(" \u00b7 "));
}

// Width as a terminal shows it, near enough: one column per character.
qsizetype width(const QString& text) {
    return text.toUcs4().size();
}

QString padded(const QString& text, qsizetype columns) {
    return text + QString(std::max<qsizetype>(0, columns - width(text)), QLatin1Char(' '));
}

// Never raw to a terminal: a name may carry escape sequences.
QString shownName(const QJsonObject& device) {
    return DeviceName::forDisplay(device.value(QStringLiteral("name")).toString());
}

QString shortName(const QString& name) {
    const QString trimmed = name.trimmed();
    const QList<uint> characters = trimmed.toUcs4();
    if (characters.size() <= 12)
        return trimmed;
    return QString::fromUcs4(reinterpret_cast<const char32_t*>(characters.constData()), 11).trimmed() +
           QStringLiteral("\u2026");
}

// Waybar reads text and tooltip as Pango markup: a bare "&" or "<" in a
// name would make it drop the whole text.
QString markup(const QString& text) {
    return text.toHtmlEscaped();
}

QString compact(const QJsonObject& object) {
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

QJsonValue fromVariant(const QVariant& value);

QJsonValue fromArgument(const QDBusArgument& argument) {
    switch (argument.currentType()) {
    case QDBusArgument::MapType: {
        QJsonObject object;
        argument.beginMap();
        while (!argument.atEnd()) {
            argument.beginMapEntry();
            const QVariant key = argument.asVariant();
            const QVariant entryValue = argument.asVariant();
            argument.endMapEntry();
            object.insert(key.toString(), fromVariant(entryValue));
        }
        argument.endMap();
        return object;
    }
    case QDBusArgument::ArrayType: {
        QJsonArray array;
        argument.beginArray();
        while (!argument.atEnd())
            array.append(fromVariant(argument.asVariant()));
        argument.endArray();
        return array;
    }
    case QDBusArgument::StructureType: {
        QJsonArray fields;
        argument.beginStructure();
        while (!argument.atEnd())
            fields.append(fromVariant(argument.asVariant()));
        argument.endStructure();
        return fields;
    }
    default:
        return fromVariant(argument.asVariant());
    }
}

QJsonValue fromVariant(const QVariant& value) {
    if (value.metaType() == QMetaType::fromType<QDBusVariant>())
        return fromVariant(value.value<QDBusVariant>().variant());
    if (value.metaType() == QMetaType::fromType<QDBusArgument>())
        return fromArgument(value.value<QDBusArgument>());
    if (value.metaType() == QMetaType::fromType<QList<QVariantMap>>()) {
        QJsonArray array;
        for (const QVariantMap& map : value.value<QList<QVariantMap>>())
            array.append(fromVariant(map));
        return array;
    }
    if (value.metaType() == QMetaType::fromType<QVariantMap>()) {
        QJsonObject object;
        const QVariantMap map = value.toMap();
        for (auto it = map.cbegin(); it != map.cend(); ++it)
            object.insert(it.key(), fromVariant(it.value()));
        return object;
    }
    if (value.metaType() == QMetaType::fromType<QVariantList>()) {
        QJsonArray array;
        for (const QVariant& item : value.toList())
            array.append(fromVariant(item));
        return array;
    }
    return QJsonValue::fromVariant(value);
}

} // namespace

QJsonArray StatusFormat::fromMaps(const QList<QVariantMap>& devices) {
    return fromVariant(QVariant::fromValue(devices)).toArray();
}

QJsonValue StatusFormat::fromDBus(const QVariant& value) {
    return fromVariant(value);
}

QString StatusFormat::text(const QJsonArray& devices) {
    if (devices.isEmpty())
        return QCoreApplication::translate("StatusFormat", "No battery-powered devices found\n");
    qsizetype nameWidth = 0;
    qsizetype chargeWidth = 0;
    for (const QJsonValue& value : devices) {
        const QJsonObject device = value.toObject();
        nameWidth = std::max(nameWidth, width(shownName(device)));
        chargeWidth = std::max(chargeWidth, width(charge(device)));
    }
    QString out;
    for (const QJsonValue& value : devices) {
        const QJsonObject device = value.toObject();
        const QString parts = components(device);
        QString line =
            (device.value(QStringLiteral("low")).toBool() ? QStringLiteral("! ") : QStringLiteral("  ")) +
            padded(shownName(device), nameWidth) + QStringLiteral("  ") +
            (parts.isEmpty() ? charge(device) : padded(charge(device), chargeWidth));
        if (!parts.isEmpty())
            line += QStringLiteral("  ") + parts;
        out += line + QLatin1Char('\n');
    }
    return out;
}

QString StatusFormat::json(const QJsonArray& devices) {
    return QString::fromUtf8(QJsonDocument(devices).toJson(QJsonDocument::Compact));
}

QString StatusFormat::waybar(const QJsonArray& devices) {
    QStringList tooltip;
    bool anyLow = false;
    std::optional<qint64> lowest;
    QString lowestName;
    for (const QJsonValue& value : devices) {
        const QJsonObject device = value.toObject();
        const QString name = shownName(device);
        QString line = name + QStringLiteral(": ") + charge(device);
        const QString parts = components(device);
        if (!parts.isEmpty())
            line += QStringLiteral(" (") + parts + QLatin1Char(')');
        tooltip << line;
        anyLow = anyLow || device.value(QStringLiteral("low")).toBool();
        const std::optional<qint64> percent = percentOf(device);
        if (device.value(QStringLiteral("connected")).toBool() && percent &&
            (!lowest || *percent < *lowest)) {
            lowest = percent;
            lowestName = name;
        }
    }
    QJsonObject object;
    object.insert(
        QStringLiteral("text"),
        lowest ? markup(shortName(lowestName)) + QLatin1Char(' ') +
                     QCoreApplication::translate("StatusFormat", "%1%").arg(QLocale().toString(*lowest))
               : QString());
    object.insert(QStringLiteral("tooltip"), markup(tooltip.join(QLatin1Char('\n'))));
    object.insert(QStringLiteral("class"), anyLow ? QStringLiteral("low") : QStringLiteral("normal"));
    object.insert(QStringLiteral("percentage"), lowest ? static_cast<double>(*lowest) : 0.0);
    return compact(object);
}

namespace {

// Empty text: waybar hides the module; the tooltip and class say why.
QString waybarWithout(const QString& tooltip, const QString& barClass) {
    QJsonObject object;
    object.insert(QStringLiteral("text"), QString());
    object.insert(QStringLiteral("tooltip"), tooltip);
    object.insert(QStringLiteral("class"), barClass);
    return compact(object);
}

} // namespace

QString StatusFormat::waybarStopped() {
    return waybarWithout(QCoreApplication::translate("StatusFormat", "Voltwren is not running"),
                         QStringLiteral("stopped"));
}

QString StatusFormat::waybarNotAnswering() {
    return waybarWithout(
        QCoreApplication::translate("StatusFormat", "Voltwren is running but does not answer"),
        QStringLiteral("not-answering"));
}
