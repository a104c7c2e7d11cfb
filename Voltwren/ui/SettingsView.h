#pragma once

#include <QUrl>
#include <QWidget>

class AppState;
class Bundle;
class ChoicePicker;
class FormSection;
class LinkButton;
class OverrideListEditor;
class PermissionNotice;
class QLabel;
class QPushButton;
class QScreen;
class SecondaryLabel;
class Stepper;
class ThresholdPicker;
class ToggleSwitch;
class UpdaterController;
class Workspace;

// The settings form: every user setting of the state, the permission
// notices, update checks, the log folder, the version and a support link.
// It follows the state live; only the user's actions write settings.
class SettingsView final : public QWidget {
    Q_OBJECT

public:
    static constexpr int formWidth = 480;
    static constexpr int formHeight = 840;
    // The least height a short screen's window may be made: a few sections.
    static constexpr int smallestHeight = 320;
    static constexpr double minimumPollMinutes = 1;
    static constexpr double maximumPollMinutes = 120;

    // What the form's buttons open and start; none is owned.
    struct Services {
        Workspace* workspace = nullptr;
        // Null, or not enabled: there is no "Updates" section.
        UpdaterController* updater = nullptr;
        const Bundle* bundle = nullptr;

        // The desktop's workspace, the process's updater and our package.
        static Services system();
    };

    SettingsView(AppState& state, Services services, QWidget* parent = nullptr);

    // "Voltwren, version: " and the package's version (nothing when unknown).
    static QString versionLine(const Bundle& bundle);
    // The support page with "app" and "version" as its only query items,
    // in that order, percent-encoded.
    static QUrl supportURL(const Bundle& bundle);
    // The interval as a whole number of minutes, truncated toward zero.
    static QString minutesText(double minutes);

    OverrideListEditor* overrideEditor() const { return m_overrides; }

    // Sizes the window for SCREEN: 480 × 840 and fixed where that fits its
    // free area with the window's frame, else as high as fits, resizable in
    // height, the form scrolling. A height the user chose is kept while it fits.
    void fitTo(const QScreen& screen);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    QWidget* buildForm();
    FormSection* buildBluetoothNotice();
    FormSection* buildGeneralThreshold();
    FormSection* buildDeviceThresholds();
    FormSection* buildNotify();
    FormSection* buildPolling();
    FormSection* buildLaunchAtLogin();
    FormSection* buildUpdates();
    FormSection* buildLog();
    FormSection* buildAbout();
    void sync();

    AppState& m_state;
    Services m_services;
    FormSection* m_bluetoothSection = nullptr;
    ThresholdPicker* m_generalPicker = nullptr;
    OverrideListEditor* m_overrides = nullptr;
    ToggleSwitch* m_highlight = nullptr;
    ToggleSwitch* m_sendNotifications = nullptr;
    QWidget* m_notificationNoticeRow = nullptr;
    ChoicePicker* m_remindInterval = nullptr;
    QWidget* m_remindRow = nullptr;
    ChoicePicker* m_chargedLevel = nullptr;
    QWidget* m_chargedLevelRow = nullptr;
    SecondaryLabel* m_pollValue = nullptr;
    Stepper* m_pollStepper = nullptr;
    ToggleSwitch* m_launchAtLogin = nullptr;
};
