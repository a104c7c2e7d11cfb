#pragma once

#include "SettingsView.h"

#include <QPointer>

class AppState;

// Owns the one settings window: built at the first show(), then brought to
// the front by every later one with its view (and selection) as it was.
// Closing the window only hides it. Main thread only.
class SettingsWindowController final {
public:
    static constexpr const char* windowTitle = "Voltwren Settings";

    // The program's controller, with the real services; created on first
    // use and never destroyed.
    static SettingsWindowController& shared();

    // A controller whose window will use SERVICES (tests pass doubles).
    explicit SettingsWindowController(SettingsView::Services services);
    SettingsWindowController(const SettingsWindowController&) = delete;
    SettingsWindowController& operator=(const SettingsWindowController&) = delete;
    ~SettingsWindowController();

    // STATE is used only the first time, when the window is built.
    void show(AppState& state);

    // Null until the first show().
    SettingsView* window() const { return m_window; }

private:
    SettingsView::Services m_services;
    QPointer<SettingsView> m_window;
};
