#pragma once

#include <QList>
#include <QObject>
#include <QTimer>
#include <QVariantMap>

#include <memory>

class AppState;
class DefaultsStore;
class LoginItemService;
class NotificationCenter;

// One poll by this process itself, for a status query while no program
// runs: the same readers and aggregation and the user's thresholds, but no
// notification, no setting written and nothing logged.
class OneOffReading final : public QObject {
    Q_OBJECT

public:
    // Readings that follow the first poll (GATT values arriving) are waited
    // for this long after the last one; the whole reading never takes longer
    // than the bound.
    static constexpr int settleMs = 700;
    static constexpr int boundMs = 8000;

    explicit OneOffReading(QObject* parent = nullptr);
    ~OneOffReading() override;

    // Returns at once; finished() follows once.
    void start();

Q_SIGNALS:
    void finished(const QList<QVariantMap>& devices);

private:
    void finish();

    std::unique_ptr<DefaultsStore> m_defaults;
    std::unique_ptr<NotificationCenter> m_notifications;
    std::unique_ptr<LoginItemService> m_loginItem;
    std::unique_ptr<AppState> m_state;
    QTimer m_settle;
    QTimer m_bound;
    bool m_finished = false;
};
