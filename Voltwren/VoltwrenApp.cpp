#include "VoltwrenApp.h"

#include "AppState.h"

VoltwrenApp::VoltwrenApp(QObject* parent)
    : QObject(parent) {}

VoltwrenApp::~VoltwrenApp() = default;

AppState& VoltwrenApp::appState() {
    // Created once, on first use, and kept until the process ends.
    if (!m_appState)
        m_appState = std::make_unique<AppState>();
    return *m_appState;
}
