#pragma once

#include "HistoryChart.h"

#include <QWidget>

class HistoryChartSource;
class HistoryPlot;
class QComboBox;
class QLabel;
class QStackedWidget;

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

protected:
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void reload();
    void draw(const HistoryChart& chart);
    void restyle();

    HistoryChartSource& m_source;
    QComboBox* m_range;
    QStackedWidget* m_pages;
    QLabel* m_empty;
    HistoryPlot* m_plot;
    quint64 m_loads = 0;
};
