#pragma once

#include "HistoryChart.h"

#include <QList>
#include <QPointF>
#include <QStringList>
#include <QVariantList>
#include <QWidget>

// The chart itself, painted directly: each device's charge as steps, its
// threshold dashed and its projection dotted; percent up the side, days
// along the bottom, the legend below. A chart library cost the open
// window about 4 MB more for the same five lines.
class HistoryPlot final : public QWidget {
    Q_OBJECT
    // What is drawn, for a reader such as a test: each stroke as a map of
    // "line" (the device's index), "style" ("solid", "dash" or "dot") and
    // "points" (QPointF: milliseconds since the epoch, percent).
    Q_PROPERTY(QVariantList strokes READ strokeList)
    // The legend's captions, in order.
    Q_PROPERTY(QStringList legend READ legendCaptions)
    // Where the time axis starts, in milliseconds since the epoch.
    Q_PROPERTY(qint64 axisStart READ axisStart)

public:
    explicit HistoryPlot(QWidget* parent = nullptr);

    // Lays out CHART; false when it has no charge to draw.
    bool setChart(const HistoryChart& chart);

    QVariantList strokeList() const;
    QStringList legendCaptions() const;
    qint64 axisStart() const { return m_tickTimes.value(0); }

    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct Stroke {
        qsizetype line = 0;
        Qt::PenStyle style = Qt::SolidLine;
        QList<QPointF> points;
    };
    struct Entry {
        qsizetype line = 0;
        QString caption;
    };

    // The legend's rows for WIDTH: the entries of each row.
    QList<QList<const Entry*>> legendRows(int width) const;

    QList<Stroke> m_strokes;
    QList<Entry> m_legend;
    // Midnights from the axis' start to its end.
    QList<qint64> m_tickTimes;
    QString m_tickFormat;
};
