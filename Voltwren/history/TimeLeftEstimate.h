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

// A device's current discharge (its readings since the last rise), as much
// of it as the fit needs: the readings thinned evenly to at most a few
// hundred (the line through them is the same) and the latest one. The fit is
// made once per reading added, not each time the estimate is asked for.
class Discharge {
public:
    static constexpr qsizetype capacity = 512;

    // A rise starts it over; a reading without a charge is left out.
    void add(const ChargePoint& point);
    // Forgets the readings before TIME.
    void removeBefore(qint64 time);
    bool isEmpty() const { return m_count == 0; }
    std::optional<qint64> lastPercent() const;
    // See estimate() below; the readings were added oldest first.
    std::optional<TimeLeft> estimate(double threshold, qint64 now) const;

private:
    struct Sample {
        qint64 time = 0;
        qint64 percent = 0;
    };
    // Means and sums of squares, hours since the first reading against
    // percent.
    struct Fit {
        double n = 0;
        double meanX = 0;
        double meanY = 0;
        double sxx = 0;
        double sxy = 0;

        void add(double x, double y);
    };

    void refit();
    double hours(qint64 time) const;

    // Every m_stride-th reading since the first.
    QList<Sample> m_samples;
    Sample m_last;
    qint64 m_count = 0;
    qint64 m_stride = 1;
    int m_levels = 0;
    Fit m_fit;
};

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
