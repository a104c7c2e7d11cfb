#pragma once

#include <QObject>

#include <memory>

class AppState;

// The top of the program: decides the start-up order and owns the one
// AppState for the life of the process.
class VoltwrenApp final : public QObject {
    Q_OBJECT

public:
    explicit VoltwrenApp(QObject* parent = nullptr);
    ~VoltwrenApp() override;

    AppState& appState();

private:
    std::unique_ptr<AppState> m_appState;
};
