#include "HistoryPlot.h"

#include <QDateTime>
#include <QLocale>
#include <QPainter>
#include <QPolygonF>

#include <algorithm>
#include <array>

namespace {

constexpr int margin = 4;
constexpr int swatch = 10;
constexpr int entryGap = 16;

bool isDark(const QPalette& palette) {
    return palette.color(QPalette::Window).lightness() < 128;
}

QColor mix(const QColor& a, const QColor& b, double amount) {
    return QColor::fromRgbF(a.redF() + (b.redF() - a.redF()) * amount,
                            a.greenF() + (b.greenF() - a.greenF()) * amount,
                            a.blueF() + (b.blueF() - a.blueF()) * amount);
}

// Hues that stay apart from each other on either background.
QColor lineColor(qsizetype index, const QPalette& palette) {
    constexpr std::array<QRgb, 6> light{0x1c71d8, 0xe66100, 0x26a269, 0x9141ac, 0xc01c28, 0x865e3c};
    constexpr std::array<QRgb, 6> dark{0x62a0ea, 0xffa348, 0x57e389, 0xc061cb, 0xf66151, 0xcdab8f};
    const auto slot = static_cast<std::size_t>(index) % light.size();
    return QColor::fromRgb(isDark(palette) ? dark.at(slot) : light.at(slot));
}

QString caption(const HistoryChart::Line& line) {
    if (line.estimate.isEmpty())
        return line.name;
    QString estimate = line.estimate;
    estimate[0] = estimate.at(0).toLower();
    return line.name + QStringLiteral(": ") + estimate;
}

QString percentLabel(int percent) {
    return QLocale().toString(percent) + QLatin1Char('%');
}

QString styleName(Qt::PenStyle style) {
    switch (style) {
    case Qt::DashLine:
        return QStringLiteral("dash");
    case Qt::DotLine:
        return QStringLiteral("dot");
    default:
        return QStringLiteral("solid");
    }
}

} // namespace

HistoryPlot::HistoryPlot(QWidget* parent)
    : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

bool HistoryPlot::setChart(const HistoryChart& chart) {
    m_strokes.clear();
    m_legend.clear();

    // Whole days on the axis, ticks at midnight (every day, or every few);
    // with an estimate, a little of the future too.
    const bool anyEstimate =
        std::any_of(chart.lines.cbegin(), chart.lines.cend(),
                    [](const HistoryChart::Line& line) { return line.timeLeft.has_value(); });
    const qint64 end = chart.now + (anyEstimate ? chart.days * ChargePoint::msPerDay / 14 : 0);
    const QDate first = QDateTime::fromMSecsSinceEpoch(chart.from).date();
    const qint64 spanDays = first.daysTo(QDateTime::fromMSecsSinceEpoch(end).date()) + 1;
    const qint64 step = std::max<qint64>(1, (spanDays + 7) / 8);
    const qint64 ticks = (spanDays + step - 1) / step;
    m_tickTimes.clear();
    for (qint64 tick = 0; tick <= ticks; ++tick)
        m_tickTimes.append(first.addDays(tick * step).startOfDay().toMSecsSinceEpoch());
    m_tickFormat = chart.days <= 7 ? QStringLiteral("ddd d") : QStringLiteral("d MMM");
    const qint64 axisStart = m_tickTimes.constFirst();
    const qint64 axisEnd = m_tickTimes.constLast();

    for (qsizetype i = 0; i < chart.lines.size(); ++i) {
        const HistoryChart::Line& line = chart.lines.at(i);
        // Steps: a reading holds until the next one; an unknown charge breaks the line.
        const qsizetype before = m_strokes.size();
        bool inSegment = false;
        qint64 previous = 0;
        for (const ChargePoint& point : line.points) {
            if (!point.percent) {
                inSegment = false;
                continue;
            }
            if (!inSegment)
                m_strokes.append(Stroke{i, Qt::SolidLine, {}});
            else
                m_strokes.last().points.append(
                    QPointF(static_cast<qreal>(point.time), static_cast<qreal>(previous)));
            m_strokes.last().points.append(
                QPointF(static_cast<qreal>(point.time), static_cast<qreal>(*point.percent)));
            previous = *point.percent;
            inSegment = true;
        }
        if (m_strokes.size() == before)
            continue;
        m_legend.append(Entry{i, caption(line)});
        if (line.threshold > 0) {
            m_strokes.append(Stroke{i,
                                    Qt::DashLine,
                                    {QPointF(static_cast<qreal>(axisStart), line.threshold),
                                     QPointF(static_cast<qreal>(axisEnd), line.threshold)}});
        }
        if (line.timeLeft) {
            const TimeLeft& left = *line.timeLeft;
            const qint64 until = std::min(axisEnd, chart.now + left.secondsUntilEmpty * 1000);
            const double hours = static_cast<double>(until - chart.now) / 3600000.0;
            m_strokes.append(Stroke{i,
                                    Qt::DotLine,
                                    {QPointF(static_cast<qreal>(chart.now), left.levelNow),
                                     QPointF(static_cast<qreal>(until),
                                             std::max(0.0, left.levelNow + left.percentPerHour * hours))}});
        }
    }
    setAccessibleDescription(legendCaptions().join(QStringLiteral("; ")));
    update();
    return !m_legend.isEmpty();
}

QVariantList HistoryPlot::strokeList() const {
    QVariantList strokes;
    for (const Stroke& stroke : m_strokes) {
        QVariantList points;
        for (const QPointF& point : stroke.points)
            points.append(point);
        strokes.append(QVariantMap{{QStringLiteral("line"), stroke.line},
                                   {QStringLiteral("style"), styleName(stroke.style)},
                                   {QStringLiteral("points"), points}});
    }
    return strokes;
}

QStringList HistoryPlot::legendCaptions() const {
    QStringList captions;
    for (const Entry& entry : m_legend)
        captions.append(entry.caption);
    return captions;
}

QSize HistoryPlot::minimumSizeHint() const {
    return {240, 160};
}

QList<QList<const HistoryPlot::Entry*>> HistoryPlot::legendRows(int width) const {
    QList<QList<const Entry*>> rows;
    int used = 0;
    for (const Entry& entry : m_legend) {
        const int entryWidth = swatch + margin + fontMetrics().horizontalAdvance(entry.caption) + entryGap;
        if (rows.isEmpty() || (used + entryWidth > width && !rows.last().isEmpty())) {
            rows.append(QList<const Entry*>());
            used = 0;
        }
        rows.last().append(&entry);
        used += entryWidth;
    }
    return rows;
}

void HistoryPlot::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette& palette = this->palette();
    const QColor window = palette.color(QPalette::Window);
    const QColor text = palette.color(QPalette::WindowText);
    painter.fillRect(rect(), window);
    if (m_tickTimes.size() < 2)
        return;

    const QFontMetrics metrics = fontMetrics();
    const int lineHeight = metrics.height();
    const QLocale locale;
    const auto tickLabel = [&](qint64 time) {
        return locale.toString(QDateTime::fromMSecsSinceEpoch(time), m_tickFormat);
    };
    const QList<QList<const Entry*>> rows = legendRows(width() - 2 * margin);
    const int legendHeight = rows.isEmpty() ? 0 : 8 + static_cast<int>(rows.size()) * (lineHeight + 4);
    int labelWidth = 0;
    for (int percent = 0; percent <= 100; percent += 20)
        labelWidth = std::max(labelWidth, metrics.horizontalAdvance(percentLabel(percent)));
    QRect plot;
    plot.setLeft(margin + labelWidth + 6);
    plot.setTop(margin + lineHeight / 2);
    plot.setRight(width() - margin - metrics.horizontalAdvance(tickLabel(m_tickTimes.constLast())) / 2);
    plot.setBottom(height() - margin - legendHeight - lineHeight - 4);
    if (plot.width() < 20 || plot.height() < 20)
        return;
    const qint64 axisStart = m_tickTimes.constFirst();
    const double span = static_cast<double>(m_tickTimes.constLast() - axisStart);
    const auto x = [&](qreal time) {
        return plot.left() + (time - static_cast<qreal>(axisStart)) * plot.width() / span;
    };
    const auto y = [&](qreal percent) { return plot.bottom() - percent * plot.height() / 100.0; };

    // The grid, then the axes' lines and labels over it.
    painter.setPen(QPen(mix(window, text, 0.15), 1));
    for (int percent = 20; percent <= 100; percent += 20)
        painter.drawLine(QPointF(plot.left(), y(percent)), QPointF(plot.right(), y(percent)));
    for (qsizetype tick = 1; tick < m_tickTimes.size(); ++tick) {
        const qreal at = x(static_cast<qreal>(m_tickTimes.at(tick)));
        painter.drawLine(QPointF(at, plot.top()), QPointF(at, plot.bottom()));
    }
    painter.setPen(QPen(mix(window, text, 0.35), 1));
    painter.drawLine(QPointF(plot.left(), plot.top()), QPointF(plot.left(), plot.bottom()));
    painter.drawLine(QPointF(plot.left(), plot.bottom()), QPointF(plot.right(), plot.bottom()));
    painter.setPen(text);
    for (int percent = 0; percent <= 100; percent += 20) {
        const QRectF box(margin, y(percent) - lineHeight / 2.0, labelWidth, lineHeight);
        painter.drawText(box, Qt::AlignRight | Qt::AlignVCenter, percentLabel(percent));
    }
    for (const qint64 tick : m_tickTimes) {
        const QString label = tickLabel(tick);
        const int labelLength = metrics.horizontalAdvance(label);
        const QRectF box(x(static_cast<qreal>(tick)) - labelLength / 2.0, plot.bottom() + 4, labelLength,
                         lineHeight);
        painter.drawText(box, Qt::AlignCenter, label);
    }

    painter.save();
    painter.setClipRect(plot.adjusted(-2, -2, 2, 2));
    for (const Stroke& stroke : m_strokes) {
        QPen pen(lineColor(stroke.line, palette), stroke.style == Qt::DashLine ? 1 : 2, stroke.style);
        pen.setCapStyle(Qt::FlatCap);
        painter.setPen(pen);
        QPolygonF polyline;
        polyline.reserve(stroke.points.size());
        for (const QPointF& point : stroke.points)
            polyline.append(QPointF(x(point.x()), y(point.y())));
        const QRectF extent = polyline.boundingRect();
        if (extent.width() < 2 && extent.height() < 2) {
            // Readings too close together for a line (a device first seen now) as a dot.
            painter.setPen(Qt::NoPen);
            painter.setBrush(pen.color());
            painter.drawEllipse(polyline.constLast(), 3, 3);
            painter.setBrush(Qt::NoBrush);
        } else {
            painter.drawPolyline(polyline);
        }
    }
    painter.restore();

    // The legend: a swatch and a caption for each device, rows centred.
    int top = plot.bottom() + lineHeight + 4 + 8;
    for (const QList<const Entry*>& row : rows) {
        int rowWidth = -entryGap;
        for (const Entry* entry : row)
            rowWidth += swatch + margin + metrics.horizontalAdvance(entry->caption) + entryGap;
        int left = std::max(margin, (width() - rowWidth) / 2);
        for (const Entry* entry : row) {
            const int captionWidth = metrics.horizontalAdvance(entry->caption);
            painter.fillRect(QRect(left, top + (lineHeight - swatch) / 2, swatch, swatch),
                             lineColor(entry->line, palette));
            painter.setPen(text);
            painter.drawText(QRect(left + swatch + margin, top, captionWidth, lineHeight),
                             Qt::AlignLeft | Qt::AlignVCenter, entry->caption);
            left += swatch + margin + captionWidth + entryGap;
        }
        top += lineHeight + 4;
    }
}
