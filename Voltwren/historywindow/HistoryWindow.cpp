#include "HistoryWindow.h"

#include "HistoryChartSource.h"

#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QLocale>
#include <QPointer>
#include <QShortcut>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <cmath>

namespace {

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

} // namespace

HistoryWindow::HistoryWindow(HistoryChartSource& source, QWidget* parent)
    : QWidget(parent)
    , m_source(source)
    , m_range(new QComboBox(this))
    , m_pages(new QStackedWidget(this))
    , m_empty(
          new QLabel(QCoreApplication::translate("HistoryWindow", "No charge history recorded yet"), this))
    , m_chart(new QChart)
    , m_timeAxis(new QDateTimeAxis)
    , m_chargeAxis(new QCategoryAxis) {
    setObjectName(QStringLiteral("historyWindow"));
    setWindowTitle(QString::fromUtf8(windowTitle));
    setMinimumSize(480, 320);
    resize(760, 480);

    m_range->setObjectName(QStringLiteral("rangeChoice"));
    m_range->addItem(QCoreApplication::translate("HistoryWindow", "Last 7 days"), 7);
    m_range->addItem(QCoreApplication::translate("HistoryWindow", "Last 30 days"), 30);
    auto* title = new QLabel(QCoreApplication::translate("HistoryWindow", "Charge of each device"), this);
    auto* header = new QHBoxLayout;
    header->addWidget(title);
    header->addStretch(1);
    header->addWidget(m_range);

    m_chart->legend()->setAlignment(Qt::AlignBottom);
    m_chart->setBackgroundRoundness(0);
    m_chart->setMargins(QMargins(4, 4, 4, 4));
    // Weekday and month names on the time axis in the user's language.
    m_chart->setLocale(QLocale());
    // The labels written out: a printf-like label format has Qt Charts
    // compile a regular expression, which loads PCRE for one "%" sign.
    m_chargeAxis->setRange(0, 100);
    m_chargeAxis->setStartValue(0);
    for (int percent = 0; percent <= 100; percent += 20)
        m_chargeAxis->append(QLocale().toString(percent) + QLatin1Char('%'), percent);
    m_chargeAxis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    m_chart->addAxis(m_timeAxis, Qt::AlignBottom);
    m_chart->addAxis(m_chargeAxis, Qt::AlignLeft);
    m_view = new QChartView(m_chart, this);
    m_view->setObjectName(QStringLiteral("chartView"));
    m_view->setRenderHint(QPainter::Antialiasing);
    m_view->setFrameShape(QFrame::NoFrame);

    m_empty->setObjectName(QStringLiteral("emptyText"));
    m_empty->setAlignment(Qt::AlignCenter);
    m_pages->addWidget(m_view);
    m_pages->addWidget(m_empty);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->addLayout(header);
    layout->addWidget(m_pages, 1);

    // Ctrl+W, as in other windows of the desktop.
    new QShortcut(QKeySequence::Close, this, this, &QWidget::close);
    connect(m_range, &QComboBox::currentIndexChanged, this, &HistoryWindow::reload);
    m_source.onChanged = [this] {
        if (isVisible())
            reload();
    };
    restyle();
}

HistoryWindow::~HistoryWindow() {
    m_source.onChanged = nullptr;
}

void HistoryWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    reload();
}

void HistoryWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange) {
        restyle();
        // Line colours are chosen for a light or a dark background.
        draw(m_shown);
    }
    QWidget::changeEvent(event);
}

void HistoryWindow::reload() {
    // Only the latest request is drawn, however the answers arrive.
    const quint64 load = ++m_loads;
    const QPointer<HistoryWindow> self(this);
    m_source.loadChart(m_range->currentData().toInt(), [self, load](const HistoryChart& chart) {
        if (self && self->m_loads == load)
            self->draw(chart);
    });
}

QLineSeries* HistoryWindow::addLine(const QColor& color, Qt::PenStyle style, qreal width,
                                    const QString& name) {
    auto* series = new QLineSeries;
    series->setName(name);
    QPen pen(color, width, style);
    pen.setCapStyle(Qt::FlatCap);
    series->setPen(pen);
    m_chart->addSeries(series);
    series->attachAxis(m_timeAxis);
    series->attachAxis(m_chargeAxis);
    // Only the charge line of each device has an entry in the legend.
    if (name.isEmpty()) {
        for (QLegendMarker* marker : m_chart->legend()->markers(series))
            marker->setVisible(false);
    }
    return series;
}

void HistoryWindow::draw(const HistoryChart& chart) {
    m_shown = chart;
    m_chart->removeAllSeries();

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
    m_timeAxis->setRange(first.startOfDay(), first.addDays(ticks * step).startOfDay());
    m_timeAxis->setTickCount(static_cast<int>(ticks) + 1);
    m_timeAxis->setFormat(chart.days <= 7 ? QStringLiteral("ddd d") : QStringLiteral("d MMM"));
    const qint64 axisStart = m_timeAxis->min().toMSecsSinceEpoch();
    const qint64 axisEnd = m_timeAxis->max().toMSecsSinceEpoch();

    bool anyCharge = false;
    for (qsizetype i = 0; i < chart.lines.size(); ++i) {
        const HistoryChart::Line& line = chart.lines.at(i);
        const QColor color = lineColor(i, palette());
        // Steps: a reading holds until the next one; an unknown charge breaks the line.
        // Each segment is handed over whole: a month of readings point by
        // point grows the series' storage hundreds of times.
        QLineSeries* segment = nullptr;
        QList<QPointF> steps;
        bool named = false;
        std::optional<qint64> previous;
        const auto endSegment = [&] {
            if (segment)
                segment->replace(steps);
            segment = nullptr;
            steps.clear();
            previous.reset();
        };
        for (const ChargePoint& point : line.points) {
            if (!point.percent) {
                endSegment();
                continue;
            }
            if (!segment) {
                segment = addLine(color, Qt::SolidLine, 2, named ? QString() : caption(line));
                named = true;
                steps.reserve(2 * line.points.size());
            } else if (previous) {
                steps.append(QPointF(static_cast<qreal>(point.time), static_cast<qreal>(*previous)));
            }
            steps.append(QPointF(static_cast<qreal>(point.time), static_cast<qreal>(*point.percent)));
            previous = point.percent;
        }
        endSegment();
        if (!named)
            continue;
        anyCharge = true;
        if (line.threshold > 0) {
            QLineSeries* threshold = addLine(color, Qt::DashLine, 1);
            threshold->append(static_cast<qreal>(axisStart), line.threshold);
            threshold->append(static_cast<qreal>(axisEnd), line.threshold);
        }
        if (line.timeLeft) {
            const TimeLeft& left = *line.timeLeft;
            const qint64 until = std::min(axisEnd, chart.now + left.secondsUntilEmpty * 1000);
            const double hours = static_cast<double>(until - chart.now) / 3600000.0;
            QLineSeries* projection = addLine(color, Qt::DotLine, 2);
            projection->append(static_cast<qreal>(chart.now), left.levelNow);
            projection->append(static_cast<qreal>(until),
                               std::max(0.0, left.levelNow + left.percentPerHour * hours));
        }
    }
    m_pages->setCurrentWidget(anyCharge ? static_cast<QWidget*>(m_view) : m_empty);
}

void HistoryWindow::restyle() {
    const QPalette& palette = this->palette();
    const QColor window = palette.color(QPalette::Window);
    const QColor text = palette.color(QPalette::WindowText);
    m_chart->setBackgroundBrush(window);
    m_chart->setBackgroundPen(Qt::NoPen);
    m_chart->setPlotAreaBackgroundVisible(false);
    m_view->setBackgroundBrush(window);
    m_chart->legend()->setLabelColor(text);
    for (QAbstractAxis* axis :
         {static_cast<QAbstractAxis*>(m_timeAxis), static_cast<QAbstractAxis*>(m_chargeAxis)}) {
        axis->setLabelsColor(text);
        axis->setGridLineColor(mix(window, text, 0.15));
        axis->setLinePenColor(mix(window, text, 0.35));
    }
    QPalette secondary = m_empty->palette();
    secondary.setColor(QPalette::WindowText, mix(window, text, 0.6));
    m_empty->setPalette(secondary);
}
