#pragma once

#include "HistoryChart.h"

#include <QWidget>

class HistoryChartSource;
class QChart;
class QChartView;
class QComboBox;
class QDateTimeAxis;
class QLabel;
class QLineSeries;
class QStackedWidget;
class QCategoryAxis;

// Each device's charge over the last 7 or 30 days: one line per device with
// its name, its threshold dashed, and where there is an estimate, the
// projection dotted and the time left in the legend. Colours follow the
// palette.
class HistoryWindow final : public QWidget {
    Q_OBJECT

public:
    static constexpr const char* windowTitle = "Voltwren History";

    explicit HistoryWindow(HistoryChartSource& source, QWidget* parent = nullptr);
    ~HistoryWindow() override;

    // What is drawn now (for a reader such as a test).
    const HistoryChart& chart() const { return m_shown; }

protected:
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void reload();
    void draw(const HistoryChart& chart);
    QLineSeries* addLine(const QColor& color, Qt::PenStyle style, qreal width, const QString& name = {});
    void restyle();

    HistoryChartSource& m_source;
    QComboBox* m_range;
    QStackedWidget* m_pages;
    QLabel* m_empty;
    QChartView* m_view;
    QChart* m_chart;
    QDateTimeAxis* m_timeAxis;
    QCategoryAxis* m_chargeAxis;
    HistoryChart m_shown;
    quint64 m_loads = 0;
};
