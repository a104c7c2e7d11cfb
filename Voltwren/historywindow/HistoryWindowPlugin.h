#pragma once

#include "HistoryWindowFactory.h"

#include <QObject>

// The module's one entry point.
class HistoryWindowPlugin final : public QObject, public HistoryWindowFactory {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID VOLTWREN_HISTORY_WINDOW_FACTORY_IID)
    Q_INTERFACES(HistoryWindowFactory)

public:
    QWidget* createWindow(HistoryChartSource& source) override;
};
