#include "TimeLeftEstimate.h"

#include <QSet>

#include <algorithm>
#include <cmath>

namespace {

constexpr double msPerHour = 3600.0 * 1000.0;

// A straight line over hours since START.
struct Line {
    double slope = 0; // percent per hour
    double intercept = 0;

    double at(qint64 time, qint64 start) const {
        return intercept + slope * static_cast<double>(time - start) / msPerHour;
    }
};

// Least squares over time; none when all readings share one moment.
std::optional<Line> fit(const QList<ChargePoint>& points, qint64 start) {
    double meanX = 0;
    double meanY = 0;
    for (const ChargePoint& point : points) {
        meanX += static_cast<double>(point.time - start) / msPerHour;
        meanY += static_cast<double>(*point.percent);
    }
    const double n = static_cast<double>(points.size());
    meanX /= n;
    meanY /= n;
    double sxx = 0;
    double sxy = 0;
    for (const ChargePoint& point : points) {
        const double dx = static_cast<double>(point.time - start) / msPerHour - meanX;
        sxx += dx * dx;
        sxy += dx * (static_cast<double>(*point.percent) - meanY);
    }
    if (sxx <= 0)
        return std::nullopt;
    const double slope = sxy / sxx;
    return Line{slope, meanY - slope * meanX};
}

qint64 secondsUntil(double level, double from, double percentPerHour) {
    if (from <= level)
        return 0;
    return std::llround((from - level) / -percentPerHour * 3600.0);
}

} // namespace

void TimeLeftEstimate::extend(QList<ChargePoint>& discharge, const ChargePoint& point) {
    if (!point.percent)
        return;
    if (!discharge.isEmpty() && *point.percent > *discharge.constLast().percent)
        discharge.clear();
    discharge.append(point);
}

std::optional<TimeLeft> TimeLeftEstimate::estimate(const QList<ChargePoint>& points, double threshold,
                                                   qint64 now) {
    QList<ChargePoint> ordered = points;
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const ChargePoint& a, const ChargePoint& b) { return a.time < b.time; });
    QList<ChargePoint> discharge;
    for (const ChargePoint& point : std::as_const(ordered))
        extend(discharge, point);

    if (discharge.size() < minimumLevels)
        return std::nullopt;
    const qint64 start = discharge.constFirst().time;
    if (discharge.constLast().time - start < std::chrono::milliseconds(minimumSpan).count())
        return std::nullopt;
    QSet<qint64> levels;
    for (const ChargePoint& point : std::as_const(discharge))
        levels.insert(*point.percent);
    if (levels.size() < minimumLevels)
        return std::nullopt;

    std::optional<Line> line = fit(discharge, start);
    // Readings are kept when they change, so the last one has held until
    // now. Held longer than the line allows (by more than one of the
    // device's steps), it means a slower drain: the hold counts as a reading.
    const double current = static_cast<double>(*discharge.constLast().percent);
    const double step = (static_cast<double>(*discharge.constFirst().percent) - current) /
                        static_cast<double>(levels.size() - 1);
    if (line && line->at(now, start) < current - step) {
        discharge.append(discharge.constLast());
        discharge.last().time = now;
        line = fit(discharge, start);
    }
    if (!line || !(line->slope < 0))
        return std::nullopt;

    TimeLeft left;
    left.threshold = threshold;
    left.percentPerHour = line->slope;
    // Never above what the device says now.
    left.levelNow = std::min(line->at(now, start), current);
    left.secondsUntilEmpty = secondsUntil(0, left.levelNow, line->slope);
    // A device already below its threshold has reached it, whatever the line says.
    left.secondsUntilThreshold =
        current < threshold ? 0 : secondsUntil(std::max(threshold, 0.0), left.levelNow, line->slope);
    return left;
}

QString TimeLeftEstimate::approximately(qint64 seconds) {
    if (seconds < 3600)
        return QStringLiteral("less than an hour");
    // Hours up to a day and a half, so "about 1 day" never stands for 30 hours.
    if (seconds < 36 * 3600) {
        const qint64 hours = std::max<qint64>(1, std::llround(static_cast<double>(seconds) / 3600.0));
        return hours == 1 ? QStringLiteral("about 1 hour") : QStringLiteral("about %1 hours").arg(hours);
    }
    return QStringLiteral("about %1 days").arg(std::llround(static_cast<double>(seconds) / 86400.0));
}

QString TimeLeftEstimate::sentence(const TimeLeft& timeLeft) {
    if (timeLeft.threshold > 0 && timeLeft.secondsUntilThreshold > 0)
        return QStringLiteral("Reaches %1% in %2")
            .arg(QString::number(timeLeft.threshold), approximately(timeLeft.secondsUntilThreshold));
    return QStringLiteral("Reaches 0% in ") + approximately(timeLeft.secondsUntilEmpty);
}
