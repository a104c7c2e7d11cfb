#include "SystemProfilerBluetoothInfo.h"

#include "ChargePercent.h"
#include "ChildProcess.h"
#include "IntegerText.h"
#include "app/Console.h"
#include "app/DiagnosticLog.h"
#include "model/DeviceName.h"
#include "platform/Bundle.h"

#include <QStringDecoder>

namespace SystemProfilerBluetoothInfo {

namespace {

bool isHorizontalSpace(QChar c) {
    return c == QLatin1Char('\t') || c.category() == QChar::Separator_Space;
}

bool isLineBreak(QChar c) {
    switch (c.unicode()) {
    case 0x000A: // line feed
    case 0x000B: // vertical tab
    case 0x000C: // form feed
    case 0x000D: // carriage return
    case 0x0085: // next line
    case 0x2028: // line separator
    case 0x2029: // paragraph separator
        return true;
    default:
        return false;
    }
}

QStringList splitLines(const QString& text) {
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (isLineBreak(text[i])) {
            lines.append(text.mid(start, i - start));
            start = i + 1;
        }
    }
    lines.append(text.mid(start));
    return lines;
}

int indentation(const QString& line) {
    int count = 0;
    while (count < line.size() && line[count] == QLatin1Char(' '))
        ++count;
    return count;
}

} // namespace

QString trimmedHorizontal(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isHorizontalSpace(text[begin]))
        ++begin;
    while (end > begin && isHorizontalSpace(text[end - 1]))
        --end;
    return text.mid(begin, end - begin);
}

std::optional<QString> runSystemProfiler(const Bundle& bundle) {
    const std::optional<QString> tool = bundle.auxiliaryExecutable(QLatin1String(reportToolName));
    if (!tool) {
        Console::printLine(QStringLiteral("Voltwren [debug]: failed to launch bluez-report: ") +
                           QLatin1String(reportToolName) + QStringLiteral(" is not installed"));
        return std::nullopt;
    }
    const ChildProcess::Result result = ChildProcess::run(*tool, {QLatin1String(reportArgument)});
    switch (result.outcome) {
    case ChildProcess::Result::Outcome::failedToStart:
        Console::printLine(QStringLiteral("Voltwren [debug]: failed to launch bluez-report: ") +
                           result.errorDescription);
        return std::nullopt;
    case ChildProcess::Result::Outcome::timedOut:
        return std::nullopt;
    case ChildProcess::Result::Outcome::exited:
        break;
    }
    if (result.status != 0) {
        Console::printLine(QStringLiteral("Voltwren [debug]: bluez-report exited with status ") +
                           QString::number(result.status));
        return std::nullopt;
    }
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(result.standardOutput);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

std::optional<QString> runSystemProfiler() {
    return runSystemProfiler(mainBundle());
}

QList<DeviceBlock> parseDeviceBlocks(const QString& report) {
    QList<DeviceBlock> blocks;
    if (report.isEmpty())
        return blocks;

    bool inConnectedSection = false;
    int sectionIndentation = 0;
    std::optional<DeviceBlock> current;
    const auto closeBlock = [&] {
        if (current)
            blocks.append(std::move(*current));
        current.reset();
    };

    for (const QString& line : splitLines(report)) {
        const QString trimmed = trimmedHorizontal(line);
        const int indent = indentation(line);
        if (trimmed == QLatin1String("Connected:")) {
            closeBlock();
            inConnectedSection = true;
            sectionIndentation = indent;
        } else if (trimmed == QLatin1String("Not Connected:")) {
            closeBlock();
            inConnectedSection = false;
            sectionIndentation = indent;
        } else if (!inConnectedSection) {
            continue;
        } else if (trimmed.endsWith(QLatin1Char(':')) && !trimmed.contains(QLatin1String(": ")) &&
                   indent > sectionIndentation) {
            closeBlock();
            current = DeviceBlock{trimmed.chopped(1), {}};
        } else if (current) {
            current->lines.append(line);
        }
    }
    closeBlock();
    return blocks;
}

void logDeviceBlocks(const QList<DeviceBlock>& blocks) {
    for (const DeviceBlock& block : blocks) {
        QStringList properties;
        for (const QString& line : block.lines) {
            const QString trimmed = trimmedHorizontal(line);
            if (!trimmed.isEmpty())
                properties.append(QStringLiteral("  ") + DeviceName::forDisplay(trimmed));
        }
        diagnosticLog(QStringLiteral("Device: ") + DeviceName::forDisplay(block.name) + QLatin1Char('\n') +
                      properties.join(QLatin1Char('\n')));
    }
}

std::optional<QString> stringValue(const QString& key, const QStringList& lines) {
    const QString prefix = key + QLatin1Char(':');
    for (const QString& line : lines) {
        const QString trimmed = trimmedHorizontal(line);
        if (trimmed.startsWith(prefix))
            return trimmedHorizontal(trimmed.mid(prefix.size()));
    }
    return std::nullopt;
}

std::optional<qint64> hexIntValue(const QString& key, const QStringList& lines) {
    const std::optional<QString> text = stringValue(key, lines);
    if (!text)
        return std::nullopt;
    QStringView digits(*text);
    if (digits.startsWith(QLatin1String("0x")))
        digits = digits.mid(2);
    return IntegerText::parse(digits, 16);
}

std::optional<qint64> intValue(const QString& key, const QStringList& lines) {
    const std::optional<QString> text = stringValue(key, lines);
    if (!text)
        return std::nullopt;
    return IntegerText::parse(*text, 10);
}

std::optional<qint64> percentValue(const QString& key, const QStringList& lines) {
    const std::optional<QString> text = stringValue(key, lines);
    if (!text)
        return std::nullopt;
    QString digits = *text;
    digits.remove(QLatin1Char('%'));
    return IntegerText::parse(trimmedHorizontal(digits), 10);
}

ComponentReadings componentReadings(std::optional<qint64> left, std::optional<qint64> right,
                                    std::optional<qint64> caseLevel) {
    ComponentReadings result;
    result.readings = {
        {QStringLiteral("left"), QStringLiteral(QT_TRANSLATE_NOOP("Component", "Left earbud")), left},
        {QStringLiteral("right"), QStringLiteral(QT_TRANSLATE_NOOP("Component", "Right earbud")), right},
        {QStringLiteral("case"), QStringLiteral(QT_TRANSLATE_NOOP("Component", "Case")), caseLevel},
    };
    if (left && right)
        result.overallPercent = std::min(*left, *right);
    else if (left)
        result.overallPercent = left;
    else if (right)
        result.overallPercent = right;
    return result;
}

ConnectedDevice makeConnectedDevice(const DeviceBlock& block) {
    ConnectedDevice device;
    device.name = block.name;
    device.address = stringValue(QStringLiteral("Address"), block.lines);
    device.minorType = stringValue(QStringLiteral("Minor Type"), block.lines);
    device.vendorID = hexIntValue(QStringLiteral("Vendor ID"), block.lines);
    device.productID = hexIntValue(QStringLiteral("Product ID"), block.lines);
    device.rssi = intValue(QStringLiteral("RSSI"), block.lines);

    const auto charge = [&block](const QString& key) {
        return ChargePercent::checked(percentValue(key, block.lines),
                                      key + QStringLiteral(" of ") + DeviceName::forDisplay(block.name));
    };
    const auto left = charge(QStringLiteral("Left Battery Level"));
    const auto right = charge(QStringLiteral("Right Battery Level"));
    const auto caseLevel = charge(QStringLiteral("Case Battery Level"));
    if (left || right || caseLevel) {
        ComponentReadings components = componentReadings(left, right, caseLevel);
        device.subReadings = std::move(components.readings);
        device.batteryPercent = components.overallPercent;
    } else {
        device.batteryPercent = charge(QStringLiteral("Battery Level"));
    }
    return device;
}

std::optional<QList<ConnectedDevice>> connectedDevices(const Bundle& bundle) {
    diagnosticLog(QStringLiteral("Scanning for Bluetooth devices via bluez-report\u2026"));
    const std::optional<QString> report = runSystemProfiler(bundle);
    if (!report) {
        diagnosticLog(QStringLiteral("bluez-report scan failed to produce output"));
        return std::nullopt;
    }

    QList<DeviceBlock> blocks = parseDeviceBlocks(*report);
    blocks.removeIf(
        [](const DeviceBlock& block) { return block.name == QLatin1String("Bluetooth Controller"); });
    logDeviceBlocks(blocks);

    QList<ConnectedDevice> devices;
    QStringList names;
    devices.reserve(blocks.size());
    for (const DeviceBlock& block : blocks) {
        devices.append(makeConnectedDevice(block));
        names.append(DeviceName::forDisplay(block.name));
    }
    diagnosticLog(QStringLiteral("bluez-report scan found ") + QString::number(devices.size()) +
                  QStringLiteral(" connected device(s): ") + names.join(QStringLiteral(", ")));
    return devices;
}

std::optional<QList<ConnectedDevice>> connectedDevices() {
    return connectedDevices(mainBundle());
}

} // namespace SystemProfilerBluetoothInfo
