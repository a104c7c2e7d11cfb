#include "HistoryWindowPlugin.h"

#include "HistoryWindow.h"

QWidget* HistoryWindowPlugin::createWindow(HistoryChartSource& source) {
    return new HistoryWindow(source);
}
