#pragma once

#include "historywindow/HistoryChartSource.h"

#include <QPointer>
#include <QString>
#include <QWidget>

class AppState;
class QPluginLoader;

// Owns the one history window. The window comes from a module opened the
// first time it is asked for; until then none of its code is loaded. Closing the window deletes it; the
// module stays. Main thread only.
class HistoryWindowController final : public HistoryChartSource {
public:
    // The module's file, beside the helpers.
    static constexpr const char* moduleName = "history-window.so";

    // The program's controller, created on first use and never destroyed.
    static HistoryWindowController& shared();

    // A controller that opens the module at MODULEPATH (empty: there is none).
    explicit HistoryWindowController(QString modulePath);
    HistoryWindowController(const HistoryWindowController&) = delete;
    HistoryWindowController& operator=(const HistoryWindowController&) = delete;
    ~HistoryWindowController() override;

    // Shows the window for STATE (used while the window lives), or says why
    // it cannot be.
    void show(AppState& state);
    // Null while no window is open.
    QWidget* window() const { return m_window; }

    // Each device with a reading since FROM: listed devices first, in the
    // list's order, then those no longer listed by name.
    static HistoryChart chart(const AppState& state, const QList<ChargePoint>& points, int days, qint64 from,
                              qint64 now);

    void loadChart(int days, std::function<void(const HistoryChart&)> done) override;

private:
    QWidget* createWindow(QString* problem);

    QString m_modulePath;
    QPluginLoader* m_loader = nullptr;
    QPointer<AppState> m_state;
    QPointer<QWidget> m_window;
};
