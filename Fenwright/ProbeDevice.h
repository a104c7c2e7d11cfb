#pragma once

#include <QString>

// The Bluetooth device object the probe questions, one selector name at a
// time. The platform lookup supplies the real one; tests supply their own.
class ProbeDevice {
public:
    virtual ~ProbeDevice() = default;

    static constexpr const char* isMultiBatteryDevice = "isMultiBatteryDevice";
    static constexpr const char* batteryPercentSingle = "batteryPercentSingle";
    static constexpr const char* batteryPercentLeft = "batteryPercentLeft";
    static constexpr const char* batteryPercentRight = "batteryPercentRight";
    static constexpr const char* batteryPercentCase = "batteryPercentCase";

    virtual bool supports(const QString& selector) const = 0;
    // The one byte the selector answers; only asked after supports() said yes.
    virtual quint8 byteFor(const QString& selector) const = 0;
};
