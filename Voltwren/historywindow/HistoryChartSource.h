#pragma once

#include "HistoryChart.h"

#include <functional>

// How the history window asks the program for its chart. Implemented by the
// program; it outlives every window it serves. Main thread only.
class HistoryChartSource {
public:
    virtual ~HistoryChartSource() = default;

    // The chart of the last DAYS days, handed to DONE later (never from
    // within this call).
    virtual void loadChart(int days, std::function<void(const HistoryChart&)> done) = 0;

    // Set by the window that shows the chart: called whenever the chart may
    // have changed (a new reading, another threshold).
    std::function<void()> onChanged;
};
