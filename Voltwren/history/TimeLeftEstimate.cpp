#include "TimeLeftEstimate.h"

#include <QCoreApplication>

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

constexpr double msPerHour = 3600.0 * 1000.0;

qint64 secondsUntil(double level, double from, double percentPerHour) {
    if (from <= level)
        return 0;
    return std::llround((from - level) / -percentPerHour * 3600.0);
}

} // namespace

namespace TimeLeftEstimate {

void Discharge::Fit::add(double x, double y) {
    // One pass, the order of the readings kept (Welford's update).
    n += 1;
    const double dx = x - meanX;
    meanX += dx / n;
    meanY += (y - meanY) / n;
    sxx += dx * (x - meanX);
    sxy += dx * (y - meanY);
}

double Discharge::hours(qint64 time) const {
    return static_cast<double>(time - (m_samples.isEmpty() ? time : m_samples.constFirst().time)) / msPerHour;
}

void Discharge::add(const ChargePoint& point) {
    if (!point.percent)
        return;
    const Sample sample{point.time, *point.percent};
    if (m_count > 0 && sample.percent > m_last.percent)
        *this = Discharge();
    if (m_count == 0 || sample.percent < m_last.percent)
        ++m_levels;
    if (m_count % m_stride == 0)
        m_samples.append(sample);
    if (m_samples.size() > capacity) {
        // Every other one goes: still evenly spread, from the first.
        qsizetype kept = 0;
        for (qsizetype i = 0; i < m_samples.size(); i += 2)
            m_samples[kept++] = m_samples.at(i);
        m_samples.resize(kept);
        m_stride *= 2;
    }
    m_last = sample;
    ++m_count;
    refit();
}

void Discharge::refit() {
    // Two passes over what is kept, as exact as a fit over them all.
    Fit fit;
    const bool lastKept = (m_count - 1) % m_stride == 0;
    fit.n = static_cast<double>(m_samples.size() + (lastKept ? 0 : 1));
    const auto each = [&](const auto& visit) {
        for (const Sample& sample : std::as_const(m_samples))
            visit(sample);
        if (!lastKept)
            visit(m_last);
    };
    each([&](const Sample& s) {
        fit.meanX += hours(s.time);
        fit.meanY += static_cast<double>(s.percent);
    });
    fit.meanX /= fit.n;
    fit.meanY /= fit.n;
    each([&](const Sample& s) {
        const double dx = hours(s.time) - fit.meanX;
        fit.sxx += dx * dx;
        fit.sxy += dx * (static_cast<double>(s.percent) - fit.meanY);
    });
    m_fit = fit;
}

void Discharge::removeBefore(qint64 time) {
    if (m_count == 0 || m_last.time < time) {
        *this = Discharge();
        return;
    }
    if (m_samples.constFirst().time >= time)
        return;
    // Rare (a discharge of months): begun again from the samples kept.
    const QList<Sample> samples = m_samples;
    const Sample last = m_last;
    *this = Discharge();
    for (const Sample& sample : samples) {
        if (sample.time >= time && sample.time < last.time)
            add(ChargePoint{{}, {}, DeviceKind::otherAccessory, sample.time, sample.percent, true});
    }
    add(ChargePoint{{}, {}, DeviceKind::otherAccessory, last.time, last.percent, true});
}

std::optional<qint64> Discharge::lastPercent() const {
    return m_count > 0 ? std::optional<qint64>(m_last.percent) : std::nullopt;
}

std::optional<TimeLeft> Discharge::estimate(double threshold, qint64 now) const {
    if (m_count < minimumLevels || m_levels < minimumLevels)
        return std::nullopt;
    if (m_last.time - m_samples.constFirst().time < std::chrono::milliseconds(minimumSpan).count())
        return std::nullopt;

    const auto lineOf = [](const Fit& fit) -> std::optional<std::pair<double, double>> {
        if (fit.sxx <= 0)
            return std::nullopt;
        const double slope = fit.sxy / fit.sxx;
        return std::pair{slope, fit.meanY - slope * fit.meanX};
    };
    std::optional<std::pair<double, double>> line = lineOf(m_fit);
    const auto at = [this](const std::pair<double, double>& l, qint64 time) {
        return l.second + l.first * hours(time);
    };
    // Readings are kept when they change, so the last one has held until
    // now. Held longer than the line allows (by more than one of the
    // device's steps), it means a slower drain: the hold counts as a reading.
    const double current = static_cast<double>(m_last.percent);
    const double step =
        (static_cast<double>(m_samples.constFirst().percent) - current) / static_cast<double>(m_levels - 1);
    if (line && at(*line, now) < current - step) {
        Fit held = m_fit;
        held.add(hours(now), current);
        line = lineOf(held);
    }
    if (!line || !(line->first < 0))
        return std::nullopt;

    TimeLeft left;
    left.threshold = threshold;
    left.percentPerHour = line->first;
    // Never above what the device says now.
    left.levelNow = std::min(at(*line, now), current);
    left.secondsUntilEmpty = secondsUntil(0, left.levelNow, line->first);
    // A device already below its threshold has reached it, whatever the line says.
    left.secondsUntilThreshold =
        current < threshold ? 0 : secondsUntil(std::max(threshold, 0.0), left.levelNow, line->first);
    return left;
}

} // namespace TimeLeftEstimate

std::optional<TimeLeft> TimeLeftEstimate::estimate(const QList<ChargePoint>& points, double threshold,
                                                   qint64 now) {
    QList<ChargePoint> ordered = points;
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const ChargePoint& a, const ChargePoint& b) { return a.time < b.time; });
    Discharge discharge;
    for (const ChargePoint& point : std::as_const(ordered))
        discharge.add(point);
    return discharge.estimate(threshold, now);
}

QString TimeLeftEstimate::approximately(qint64 seconds) {
    if (seconds < 3600)
        return QCoreApplication::translate("TimeLeftEstimate", "less than an hour");
    // Hours up to a day and a half, so "about 1 day" never stands for 30 hours.
    if (seconds < 36 * 3600) {
        const int hours =
            static_cast<int>(std::max<qint64>(1, std::llround(static_cast<double>(seconds) / 3600.0)));
        if (hours == 1)
            return QCoreApplication::translate("TimeLeftEstimate", "about 1 hour");
        return QCoreApplication::translate("TimeLeftEstimate", "about %n hours", nullptr, hours);
    }
    const double days = std::round(static_cast<double>(seconds) / 86400.0);
    const int count = days < INT_MAX ? static_cast<int>(days) : INT_MAX;
    return QCoreApplication::translate("TimeLeftEstimate", "about %n days", nullptr, count);
}

QString TimeLeftEstimate::sentence(const TimeLeft& timeLeft) {
    if (timeLeft.threshold > 0 && timeLeft.secondsUntilThreshold > 0)
        return QCoreApplication::translate("TimeLeftEstimate", "Reaches %1% in %2")
            .arg(QString::number(timeLeft.threshold), approximately(timeLeft.secondsUntilThreshold));
    return QCoreApplication::translate("TimeLeftEstimate", "Reaches 0% in %1")
        .arg(approximately(timeLeft.secondsUntilEmpty));
}
