#pragma once

#include "TimeLeft.h"
#include "model/ChargePoint.h"

#include <QList>
#include <QString>

#include <chrono>
#include <optional>

// The time left on a device's battery, from its recorded readings: a
// straight line fitted (least squares over time) to the readings of the
// current discharge. Many accessories report in 5 or 10 % steps, so two
// neighbouring readings alone say little; the fit over the whole discharge
// does.
namespace TimeLeftEstimate {

inline constexpr std::chrono::hours minimumSpan{6};
inline constexpr int minimumLevels = 3;

// Adds POINT to DISCHARGE, the readings since the last rise: a rise starts
// it over, a reading without a charge is left out.
void extend(QList<ChargePoint>& discharge, const ChargePoint& point);

// POINTS are one device's kept readings, in any order, each kept when the
// charge changed, so the last still holds at NOW (ms since the epoch). None
// while charging or just after (a rise), with readings over less than six
// hours or of fewer than three charges, or when the fitted line does not
// fall.
std::optional<TimeLeft> estimate(const QList<ChargePoint>& points, double threshold, qint64 now);

// "less than an hour", "about 5 hours", "about 3 days".
QString approximately(qint64 seconds);
// "Reaches 20% in about 3 days"; once the threshold is passed (or with
// none), the time until empty: "Reaches 0% in about 5 hours".
QString sentence(const TimeLeft& timeLeft);

} // namespace TimeLeftEstimate
