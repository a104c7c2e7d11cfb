#pragma once

#include <QtGlobal>

// How long a discharging device has left, from the line fitted to its
// current discharge. Derived from the record; never stored.
struct TimeLeft {
    // The effective threshold the first count runs to.
    double threshold = 0;
    // 0 once the fitted line is at or below the threshold.
    qint64 secondsUntilThreshold = 0;
    qint64 secondsUntilEmpty = 0;
    // The fitted line: its level now, and its slope (negative).
    double levelNow = 0;
    double percentPerHour = 0;

    bool operator==(const TimeLeft&) const = default;
};
