#include "HistoryWindowController.h"

#include "AppState.h"
#include "app/DiagnosticLog.h"
#include "history/ChargeHistory.h"
#include "history/TimeLeftEstimate.h"
#include "historywindow/HistoryWindowFactory.h"
#include "model/DeviceName.h"
#include "platform/Bundle.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QHash>
#include <QMessageBox>
#include <QPluginLoader>
#include <QThread>
#include <QTimer>

#include <algorithm>

HistoryWindowController& HistoryWindowController::shared() {
    Q_ASSERT(QCoreApplication::instance() &&
             QThread::currentThread() == QCoreApplication::instance()->thread());
    static HistoryWindowController* const controller = new HistoryWindowController(
        mainBundle().auxiliaryModule(QString::fromLatin1(moduleName)).value_or(QString()));
    return *controller;
}

HistoryWindowController::HistoryWindowController(QString modulePath)
    : m_modulePath(std::move(modulePath)) {}

HistoryWindowController::~HistoryWindowController() {
    delete m_window.data();
    // Deleting the loader leaves the module loaded: code of it may still run.
    delete m_loader;
}

QWidget* HistoryWindowController::createWindow(QString* problem) {
    if (m_modulePath.isEmpty()) {
        *problem = QStringLiteral("%1 is missing from this installation").arg(QLatin1String(moduleName));
        return nullptr;
    }
    if (!m_loader)
        m_loader = new QPluginLoader(m_modulePath);
    auto* factory = qobject_cast<HistoryWindowFactory*>(m_loader->instance());
    if (!factory) {
        *problem = m_modulePath + QStringLiteral(": ") + m_loader->errorString();
        return nullptr;
    }
    return factory->createWindow(*this);
}

void HistoryWindowController::show(AppState& state) {
    if (!m_window) {
        QString problem;
        QWidget* window = createWindow(&problem);
        if (!window) {
            diagnosticLog(QStringLiteral("HistoryWindow: cannot open the window: ") + problem);
            auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Voltwren"),
                                        QCoreApplication::translate("HistoryWindowController",
                                                                    "The charge history cannot be shown."));
            box->setInformativeText(problem);
            box->setAttribute(Qt::WA_DeleteOnClose);
            box->show();
            return;
        }
        // A closed window gives its chart's memory back; the next one is made afresh.
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->setAttribute(Qt::WA_QuitOnClose, false);
        m_window = window;
        m_state = &state;
        const auto changed = [this] {
            if (onChanged)
                onChanged();
        };
        if (ChargeHistory* history = state.history())
            QObject::connect(history, &ChargeHistory::recorded, window, changed);
        QObject::connect(&state, &AppState::timeLeftChanged, window, changed);
        QObject::connect(&state, &AppState::thresholdChanged, window, changed);
        QObject::connect(&state, &AppState::deviceThresholdOverridesChanged, window, changed);
    }
    if (m_window->isMinimized())
        m_window->setWindowState(m_window->windowState() & ~Qt::WindowMinimized);
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

void HistoryWindowController::loadChart(int days, std::function<void(const HistoryChart&)> done) {
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const qint64 from = now - days * ChargePoint::msPerDay;
    const QPointer<AppState> state = m_state;
    ChargeHistory* history = state ? state->history() : nullptr;
    if (!history) {
        QTimer::singleShot(0, [state, days, from, now, done] {
            done(state ? chart(*state, {}, days, from, now) : HistoryChart{days, from, now, {}});
        });
        return;
    }
    history->load(from, [state, days, from, now, done](const QList<ChargePoint>& points) {
        if (state)
            done(chart(*state, points, days, from, now));
    });
}

HistoryChart HistoryWindowController::chart(const AppState& state, const QList<ChargePoint>& points, int days,
                                            qint64 from, qint64 now) {
    QHash<QString, QList<ChargePoint>> byDevice;
    for (const ChargePoint& point : points)
        byDevice[point.deviceID].append(point);

    HistoryChart chart{days, from, now, {}};
    for (const MonitoredDevice& device : state.devices()) {
        QList<ChargePoint> readings = byDevice.take(device.id);
        if (device.isConnected && device.batteryPercent) {
            const ChargePoint current{device.id, device.name, device.kind, now, device.batteryPercent, true};
            // Nothing changed within the range: the last reading kept, from
            // before it, still holds.
            const std::optional<ChargePoint> last =
                state.history() ? state.history()->lastReading(device.id) : std::nullopt;
            if (readings.isEmpty() && last && last->time <= from && last->percent == device.batteryPercent)
                readings.append(ChargePoint{device.id, device.name, device.kind, from, last->percent, true});
            if (!readings.isEmpty())
                readings.append(current);
        }
        if (readings.isEmpty())
            continue;
        const std::optional<TimeLeft> left = state.timeLeft(device);
        chart.lines.append({device.id, DeviceName::forDisplay(device.name),
                            state.effectiveThreshold(device.id), readings, left,
                            left ? TimeLeftEstimate::sentence(*left) : QString()});
    }
    QList<HistoryChart::Line> gone;
    for (auto it = byDevice.cbegin(); it != byDevice.cend(); ++it) {
        const QString name = DeviceName::forDisplay(it->constLast().name);
        gone.append({it.key(), name, state.effectiveThreshold(it.key()), *it, std::nullopt, QString()});
    }
    std::sort(gone.begin(), gone.end(), [](const HistoryChart::Line& a, const HistoryChart::Line& b) {
        return a.name.compare(b.name, Qt::CaseInsensitive) < 0;
    });
    chart.lines.append(gone);
    return chart;
}
