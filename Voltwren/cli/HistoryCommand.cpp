#include "HistoryCommand.h"

#include "app/DiagnosticLog.h"
#include "model/DeviceName.h"
#include "platform/ChargeStore.h"

#include <QDateTime>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cstdio>

namespace {

void write(std::FILE* stream, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
}

// DEVICE names a device by its id, or by its name in any case.
bool matches(const ChargePoint& point, const QString& device) {
    return device.isEmpty() || point.deviceID == device ||
           point.name.compare(device, Qt::CaseInsensitive) == 0;
}

qsizetype width(const QString& text) {
    return text.toUcs4().size();
}

QString padded(const QString& text, qsizetype columns) {
    return text + QString(std::max<qsizetype>(0, columns - width(text)), QLatin1Char(' '));
}

QString charge(const ChargePoint& point) {
    return point.percent ? QString::number(*point.percent) + QLatin1Char('%') : QStringLiteral("\u2014");
}

} // namespace

QString HistoryCommand::text(const QList<ChargePoint>& points) {
    qsizetype nameWidth = 0;
    qsizetype chargeWidth = 0;
    for (const ChargePoint& point : points) {
        nameWidth = std::max(nameWidth, width(DeviceName::forDisplay(point.name)));
        chargeWidth = std::max(chargeWidth, width(charge(point)));
    }
    QString out;
    for (const ChargePoint& point : points) {
        const QString time = QDateTime::fromMSecsSinceEpoch(point.time)
                                 .toLocalTime()
                                 .toString(QStringLiteral("yyyy-MM-dd HH:mm"));
        QString line = time + QStringLiteral("  ") + padded(DeviceName::forDisplay(point.name), nameWidth) +
                       QStringLiteral("  ");
        line += point.connected ? charge(point)
                                : padded(charge(point), chargeWidth) + QStringLiteral("  not connected");
        out += line + QLatin1Char('\n');
    }
    return out;
}

QString HistoryCommand::json(const QList<ChargePoint>& points) {
    QJsonArray array;
    for (const ChargePoint& point : points) {
        QJsonObject object;
        object.insert(QStringLiteral("id"), point.deviceID);
        object.insert(QStringLiteral("name"), point.name);
        object.insert(QStringLiteral("kind"), rawValue(point.kind));
        object.insert(QStringLiteral("time"),
                      QDateTime::fromMSecsSinceEpoch(point.time, Qt::UTC).toString(Qt::ISODateWithMs));
        if (point.percent)
            object.insert(QStringLiteral("percent"), static_cast<double>(*point.percent));
        object.insert(QStringLiteral("connected"), point.connected);
        array.append(object);
    }
    return QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Compact));
}

int HistoryCommand::run(const CommandLine& commandLine, const QString& databasePath) {
    // Reading the record changes nothing, the log included.
    DiagnosticLog::setEnabled(false);
    const bool asJson = commandLine.format == CommandLine::Format::json;
    const QString& device = commandLine.device;

    QList<ChargePoint> points;
    bool known = device.isEmpty();
    // A record that was never started is an empty one; it is not made here.
    if (QFileInfo::exists(databasePath)) {
        const std::unique_ptr<ChargeStore> store =
            makeChargeStore(databasePath, ChargeStore::Access::readOnly);
        QString problem;
        store->problemReporter = [&problem](const QString& text) { problem = text; };
        const qint64 from = QDateTime::currentMSecsSinceEpoch() - commandLine.days * ChargePoint::msPerDay;
        // Every reading is visited, so a device with none in the range is still told from a typo.
        const bool read = store->open() && store->visit(0, [&](const ChargePoint& point) {
            if (!matches(point, device))
                return;
            known = true;
            if (point.time >= from)
                points.append(point);
        });
        if (!read) {
            write(stderr, QStringLiteral("voltwren: cannot read the charge history: %1\n")
                              .arg(problem.isEmpty() ? databasePath : problem));
            return 1;
        }
    }
    if (!known) {
        write(stderr, QStringLiteral("voltwren: no device named '%1' in the charge history\n").arg(device));
        return 1;
    }
    std::stable_sort(points.begin(), points.end(),
                     [](const ChargePoint& a, const ChargePoint& b) { return a.time < b.time; });
    if (asJson)
        write(stdout, json(points) + QLatin1Char('\n'));
    else if (points.isEmpty())
        write(stdout,
              commandLine.days == 1
                  ? QStringLiteral("No readings recorded in the last day\n")
                  : QStringLiteral("No readings recorded in the last %1 days\n").arg(commandLine.days));
    else
        write(stdout, text(points));
    return 0;
}
