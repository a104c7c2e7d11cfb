#pragma once

#include <QString>

// Battery Level readings of Bluetooth Low Energy accessories (GATT Battery Service).
class GATTBatteryReader {
public:
    struct Reading {
        // The peripheral identifier, canonical upper-case UUID text.
        QString id;
        QString name;
        qint64 batteryPercent = 0;

        bool operator==(const Reading&) const = default;
    };
};
