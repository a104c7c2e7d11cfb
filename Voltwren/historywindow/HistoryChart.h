#pragma once

#include "history/TimeLeft.h"
#include "model/ChargePoint.h"

#include <QList>
#include <QString>

#include <optional>

// What the history window draws: each device's recorded charge over a
// range of days, its threshold and its estimate. Made by the program, drawn
// by the window module.
struct HistoryChart {
    struct Line {
        QString deviceID;
        QString name;
        // The effective threshold; 0 ("None") draws no line.
        double threshold = 0;
        // Oldest first; a device that is listed now has its current reading
        // last, at the chart's now.
        QList<ChargePoint> points;
        std::optional<TimeLeft> timeLeft;
        // "Reaches 20% in about 3 days"; empty without an estimate.
        QString estimate;
    };

    int days = 7;
    // Milliseconds since the epoch.
    qint64 from = 0;
    qint64 now = 0;
    QList<Line> lines;
};
