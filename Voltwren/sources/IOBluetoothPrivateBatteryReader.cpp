#include "IOBluetoothPrivateBatteryReader.h"

#include "app/DiagnosticLog.h"
#include "platform/Bundle.h"
#include "sources/ChargePercent.h"
#include "sources/IntegerText.h"

#include <QStringDecoder>

namespace IOBluetoothPrivateBatteryReader {

namespace {

const QString prefix = QStringLiteral("IOBluetoothPrivateBatteryReader: ");

QString componentText(const std::optional<qint64>& value) {
    return value ? QString::number(*value) : QStringLiteral("\u2014");
}

// A piece that does not parse, the helper's -1, or a number that is no
// charge, is a component that reported nothing usable.
std::optional<qint64> component(QStringView piece, const QString& address) {
    const std::optional<qint64> value = IntegerText::parse(piece);
    if (value == -1)
        return std::nullopt;
    return ChargePercent::checked(value, prefix + QStringLiteral("a level for ") + address);
}

} // namespace

std::optional<Reading> parseReply(const QString& address, const QByteArray& output) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString reply = decoder.decode(output);
    if (decoder.hasError())
        reply.clear();
    reply = reply.trimmed();

    const QLatin1String singleTag("single:");
    if (reply.startsWith(singleTag)) {
        // A value that is no charge reads as one that does not parse.
        if (const std::optional<qint64> value =
                ChargePercent::checked(IntegerText::parse(QStringView(reply).mid(singleTag.size())),
                                       prefix + QStringLiteral("the level for ") + address)) {
            diagnosticLog(prefix + address + QStringLiteral(" single ") + QString::number(*value) +
                          QLatin1Char('%'));
            return Single{*value};
        }
    }

    const QLatin1String multiTag("multi:");
    if (reply.startsWith(multiTag)) {
        const QList<QStringView> pieces =
            QStringView(reply).mid(multiTag.size()).split(QLatin1Char(','), Qt::SkipEmptyParts);
        if (pieces.size() != 3) {
            diagnosticLog(prefix + QStringLiteral("unparseable multi output for ") + address +
                          QStringLiteral(": \"") + reply + QLatin1Char('"'));
            return std::nullopt;
        }
        const Multi multi{component(pieces[0], address), component(pieces[1], address),
                          component(pieces[2], address)};
        diagnosticLog(prefix + address + QStringLiteral(" multi L=") + componentText(multi.left) +
                      QStringLiteral(" R=") + componentText(multi.right) + QStringLiteral(" Case=") +
                      componentText(multi.caseLevel));
        return multi;
    }

    diagnosticLog(prefix + QStringLiteral("unparseable output for ") + address + QStringLiteral(": \"") +
                  reply + QLatin1Char('"'));
    return std::nullopt;
}

std::optional<Reading> readBattery(const QString& address, const Bundle& bundle,
                                   std::chrono::milliseconds timeout) {
    // Looked up on every call, so a helper installed or removed meanwhile is noticed.
    const std::optional<QString> helper = bundle.auxiliaryExecutable(QLatin1String(helperName));
    if (!helper) {
        diagnosticLog(prefix + QStringLiteral("Fenwright helper not found in app bundle"));
        return std::nullopt;
    }

    const ChildProcess::Result result = ChildProcess::run(*helper, {address}, timeout);
    switch (result.outcome) {
    case ChildProcess::Result::Outcome::failedToStart:
        diagnosticLog(prefix + QStringLiteral("failed to launch Fenwright for ") + address +
                      QStringLiteral(": ") + result.errorDescription);
        return std::nullopt;
    case ChildProcess::Result::Outcome::timedOut:
        diagnosticLog(prefix + QStringLiteral("Fenwright timed out for ") + address +
                      QStringLiteral(" \u2014 no reading"));
        return std::nullopt;
    case ChildProcess::Result::Outcome::exited:
        break;
    }
    if (result.status != 0) {
        diagnosticLog(prefix + QStringLiteral("Fenwright exited ") + QString::number(result.status) +
                      QStringLiteral(" for ") + address + QStringLiteral(" \u2014 no reading"));
        return std::nullopt;
    }
    return parseReply(address, result.standardOutput);
}

std::optional<Reading> readBattery(const QString& address) {
    return readBattery(address, mainBundle());
}

} // namespace IOBluetoothPrivateBatteryReader
