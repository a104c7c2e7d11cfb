#pragma once

#include <QtPlugin>

class HistoryChartSource;
class QWidget;

// What the history window module offers the program that opens it.
class HistoryWindowFactory {
public:
    virtual ~HistoryWindowFactory() = default;

    // A new window over SOURCE, not yet shown; the caller owns it.
    virtual QWidget* createWindow(HistoryChartSource& source) = 0;
};

#define VOLTWREN_HISTORY_WINDOW_FACTORY_IID "app.voltwren.Voltwren.HistoryWindowFactory/1"
Q_DECLARE_INTERFACE(HistoryWindowFactory, VOLTWREN_HISTORY_WINDOW_FACTORY_IID)
