#include "HistoryCommand.h"

#include "app/DiagnosticLog.h"
#include "model/DeviceName.h"
#include "platform/ChargeStore.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>

#include <algorithm>
#include <cstdio>

namespace {

void write(std::FILE* stream, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
}

qsizetype width(const QString& text) {
    return text.toUcs4().size();
}

QString padded(const QString& text, qsizetype columns) {
    return text + QString(std::max<qsizetype>(0, columns - width(text)), QLatin1Char(' '));
}

QString charge(const ChargePoint& point) {
    return point.percent
               ? QCoreApplication::translate("StatusFormat", "%1%").arg(QLocale().toString(*point.percent))
               : QStringLiteral("\u2014");
}

QString textLine(const ChargePoint& point, qsizetype nameWidth, qsizetype chargeWidth) {
    const QString time =
        QDateTime::fromMSecsSinceEpoch(point.time).toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    QString line = time + QStringLiteral("  ") + padded(DeviceName::forDisplay(point.name), nameWidth) +
                   QStringLiteral("  ");
    line += point.connected ? charge(point)
                            : padded(charge(point), chargeWidth) +
                                  QCoreApplication::translate("HistoryCommand", "  not connected");
    return line + QLatin1Char('\n');
}

QByteArray jsonObject(const ChargePoint& point) {
    QJsonObject object;
    object.insert(QStringLiteral("id"), point.deviceID);
    object.insert(QStringLiteral("name"), point.name);
    object.insert(QStringLiteral("kind"), rawValue(point.kind));
    object.insert(QStringLiteral("time"),
                  QDateTime::fromMSecsSinceEpoch(point.time, Qt::UTC).toString(Qt::ISODateWithMs));
    if (point.percent)
        object.insert(QStringLiteral("percent"), static_cast<double>(*point.percent));
    object.insert(QStringLiteral("connected"), point.connected);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

// The ids DEVICE stands for: a device's id, or its name in any case.
QStringList devicesNamed(const QList<ChargeStore::Device>& devices, const QString& device) {
    QStringList ids;
    for (const ChargeStore::Device& known : devices) {
        if (known.id == device || known.name.compare(device, Qt::CaseInsensitive) == 0)
            ids << known.id;
    }
    return ids;
}

int cannotRead(const QString& problem, const QString& databasePath) {
    write(stderr,
          QCoreApplication::translate("HistoryCommand", "voltwren: cannot read the charge history: %1\n")
              .arg(problem.isEmpty() ? databasePath : problem));
    return 1;
}

} // namespace

int HistoryCommand::run(const CommandLine& commandLine, const QString& databasePath) {
    // Reading the record changes nothing, the log included.
    DiagnosticLog::setEnabled(false);
    const bool asJson = commandLine.format == CommandLine::Format::json;
    const QString& device = commandLine.device;
    const qint64 from = QDateTime::currentMSecsSinceEpoch() - commandLine.days * ChargePoint::msPerDay;

    // A record that was never started is an empty one; it is not made here.
    std::unique_ptr<ChargeStore> store;
    QString problem;
    QStringList ids;
    if (QFileInfo(databasePath).exists() || QFileInfo(databasePath).isSymLink()) {
        store = makeChargeStore(databasePath, ChargeStore::Access::readOnly);
        store->problemReporter = [&problem](const QString& text) { problem = text; };
        if (!store->open())
            return cannotRead(problem, databasePath);
        if (!device.isEmpty()) {
            // A device with no reading in the days asked for is still told from a typo.
            const std::optional<QList<ChargeStore::Device>> devices = store->devices();
            if (!devices)
                return cannotRead(problem, databasePath);
            ids = devicesNamed(*devices, device);
        }
    }
    if (!device.isEmpty() && ids.isEmpty()) {
        write(stderr, QCoreApplication::translate("HistoryCommand",
                                                  "voltwren: no device named '%1' in the charge history\n")
                          .arg(device));
        return 1;
    }

    qsizetype count = 0;
    qsizetype nameWidth = 0;
    qsizetype chargeWidth = 0;
    if (asJson) {
        std::fputc('[', stdout);
        const bool read = !store || store->visitByTime(from, ids, [&count](const ChargePoint& point) {
            if (count++ > 0)
                std::fputc(',', stdout);
            const QByteArray object = jsonObject(point);
            std::fwrite(object.constData(), 1, static_cast<std::size_t>(object.size()), stdout);
        });
        std::fputs("]\n", stdout);
        return read ? 0 : cannotRead(problem, databasePath);
    }
    // The columns' widths first, then the lines.
    if (store && !store->visitByTime(from, ids, [&](const ChargePoint& point) {
            ++count;
            nameWidth = std::max(nameWidth, width(DeviceName::forDisplay(point.name)));
            chargeWidth = std::max(chargeWidth, width(charge(point)));
        }))
        return cannotRead(problem, databasePath);
    if (count == 0) {
        write(stdout,
              commandLine.days == 1
                  ? QCoreApplication::translate("HistoryCommand", "No readings recorded in the last day\n")
                  : QCoreApplication::translate("HistoryCommand",
                                                "No readings recorded in the last %n days\n", nullptr,
                                                commandLine.days));
        return 0;
    }
    if (!store->visitByTime(from, ids, [&](const ChargePoint& point) {
            write(stdout, textLine(point, nameWidth, chargeWidth));
        }))
        return cannotRead(problem, databasePath);
    return 0;
}
