#include "Probe.h"

namespace Probe {

std::optional<int> level(const ProbeDevice& device, const QString& selector) {
    if (!device.supports(selector))
        return std::nullopt;
    const int value = device.byteFor(selector);
    if (value < 1 || value > 100)
        return std::nullopt;
    return value;
}

Outcome run(const QStringList& arguments, const DeviceLookup& lookup) {
    if (arguments.size() != 1)
        return {usage, {}, QByteArray(usageLine)};

    const std::unique_ptr<ProbeDevice> device = lookup(arguments.constFirst());
    if (!device)
        return {noDevice, {}, {}};

    const QString multiSelector = QLatin1String(ProbeDevice::isMultiBatteryDevice);
    const bool multi = device->supports(multiSelector) && device->byteFor(multiSelector) != 0;

    if (!multi) {
        const std::optional<int> single = level(*device, QLatin1String(ProbeDevice::batteryPercentSingle));
        if (!single)
            return {noLevel, {}, {}};
        return {printed, "single:" + QByteArray::number(*single) + '\n', {}};
    }

    // Queried in this order, each on its own; the single level is never a fallback.
    const std::optional<int> left = level(*device, QLatin1String(ProbeDevice::batteryPercentLeft));
    const std::optional<int> right = level(*device, QLatin1String(ProbeDevice::batteryPercentRight));
    const std::optional<int> caseLevel = level(*device, QLatin1String(ProbeDevice::batteryPercentCase));
    if (!left && !right && !caseLevel)
        return {noLevel, {}, {}};
    const auto text = [](std::optional<int> value) { return QByteArray::number(value.value_or(-1)); };
    return {printed, "multi:" + text(left) + ',' + text(right) + ',' + text(caseLevel) + '\n', {}};
}

} // namespace Probe
