#include "SettingsView.h"

#include "AppState.h"
#include "ChoicePicker.h"
#include "FormSection.h"
#include "HistoryWindowController.h"
#include "LinkButton.h"
#include "OverrideListEditor.h"
#include "PermissionNotice.h"
#include "SecondaryLabel.h"
#include "Stepper.h"
#include "ThresholdPicker.h"
#include "ToggleSwitch.h"
#include "app/DiagnosticLog.h"
#include "app/Updater.h"
#include "platform/Bundle.h"
#include "platform/Workspace.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QShowEvent>
#include <QUrlQuery>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>
#include <cmath>

namespace {

const QString supportPage = QStringLiteral("https://voltwren.app/support");

// A row of widgets laid out left to right, with a stretch where null is given.
QWidget* line(std::initializer_list<QWidget*> widgets) {
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    for (QWidget* widget : widgets) {
        if (widget)
            layout->addWidget(widget);
        else
            layout->addStretch(1);
    }
    return row;
}

QLabel* plainLabel(const QString& text) {
    auto* label = new QLabel(text);
    label->setTextFormat(Qt::PlainText);
    return label;
}

} // namespace

SettingsView::Services SettingsView::Services::system() {
    return {&::workspace(), &updaterController(), &mainBundle()};
}

SettingsView::SettingsView(AppState& state, Services services, QWidget* parent)
    : QWidget(parent)
    , m_state(state)
    , m_services(services) {
    Q_ASSERT(services.workspace && services.bundle);
    setObjectName(QStringLiteral("settingsView"));
    setFixedSize(formWidth, formHeight);

    // The form scrolls in a window shorter than it: a short screen, a large font.
    auto* scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidgetResizable(true);
    scroll->setWidget(buildForm());
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(scroll);

    connect(&m_state, &AppState::changed, this, &SettingsView::sync);
    sync();
}

QWidget* SettingsView::buildForm() {
    auto* form = new QWidget;
    form->setObjectName(QStringLiteral("settingsForm"));
    auto* sections = new QVBoxLayout(form);
    sections->setContentsMargins(16, 12, 16, 12);
    sections->setSpacing(11);
    sections->addWidget(m_bluetoothSection = buildBluetoothNotice());
    sections->addWidget(buildGeneralThreshold());
    sections->addWidget(buildDeviceThresholds());
    sections->addWidget(buildNotify());
    sections->addWidget(buildPolling());
    sections->addWidget(buildLaunchAtLogin());
    if (m_services.updater && m_services.updater->isEnabled())
        sections->addWidget(buildUpdates());
    sections->addWidget(buildLog());
    sections->addWidget(buildAbout());
    sections->addStretch(1);
    return form;
}

FormSection* SettingsView::buildBluetoothNotice() {
    auto* section = new FormSection;
    section->setObjectName(QStringLiteral("bluetoothNoticeSection"));
    auto* notice = new PermissionNotice(
        QCoreApplication::translate(
            "SettingsView",
            "Bluetooth permissions have not been granted. Some accessory battery levels can't be read."),
        QCoreApplication::translate("SettingsView", "Open Bluetooth Settings…"));
    connect(notice->linkButton(), &QAbstractButton::clicked, this,
            [this] { m_services.workspace->openSystemSettings(Workspace::Page::bluetooth); });
    section->addRow(notice);
    return section;
}

FormSection* SettingsView::buildGeneralThreshold() {
    auto* section =
        new FormSection(QCoreApplication::translate("SettingsView", "Low battery threshold"),
                        QCoreApplication::translate(
                            "SettingsView", "You'll be notified once when a device's battery drops below its "
                                            "threshold. Choose “None” to never be notified."));
    m_generalPicker = new ThresholdPicker;
    m_generalPicker->setObjectName(QStringLiteral("generalThresholdPicker"));
    QLabel* title = plainLabel(QCoreApplication::translate("SettingsView", "General threshold"));
    title->setBuddy(m_generalPicker);
    m_generalPicker->setAccessibleName(title->text());
    connect(m_generalPicker, &ThresholdPicker::thresholdChosen, this,
            [this](double value) { m_state.setThreshold(value); });
    section->addRow(line({title, nullptr, m_generalPicker}));
    return section;
}

FormSection* SettingsView::buildDeviceThresholds() {
    auto* section =
        new FormSection(QCoreApplication::translate("SettingsView", "Device specific thresholds"),
                        QCoreApplication::translate(
                            "SettingsView", "Devices without a specific threshold use the general one."));
    m_overrides = new OverrideListEditor(m_state);
    section->addRow(m_overrides);
    return section;
}

FormSection* SettingsView::buildNotify() {
    auto* section = new FormSection(QCoreApplication::translate("SettingsView", "Notify"));
    m_highlight = new ToggleSwitch(QCoreApplication::translate("SettingsView", "Highlight menubar icon"));
    m_sendNotifications = new ToggleSwitch(QCoreApplication::translate("SettingsView", "Send notification"));
    connect(m_highlight, &QAbstractButton::clicked, this,
            [this](bool checked) { m_state.setHighlightMenubarIcon(checked); });
    connect(m_sendNotifications, &QAbstractButton::clicked, this,
            [this](bool checked) { m_state.setSendNotifications(checked); });
    section->addRow(m_highlight);
    section->addRow(m_sendNotifications);

    auto* notice = new PermissionNotice(
        QCoreApplication::translate("SettingsView",
                                    "Notifications are turned off for Voltwren in System Settings."),
        QCoreApplication::translate("SettingsView", "Open Notification Settings…"));
    connect(notice->linkButton(), &QAbstractButton::clicked, this,
            [this] { m_services.workspace->openSystemSettings(Workspace::Page::notifications); });
    m_notificationNoticeRow = section->addRow(notice);
    m_notificationNoticeRow->setObjectName(QStringLiteral("notificationNoticeRow"));

    m_remindInterval = new ChoicePicker({{QCoreApplication::translate("SettingsView", "Never"), 0},
                                         {QCoreApplication::translate("SettingsView", "Every hour"), 1},
                                         {QCoreApplication::translate("SettingsView", "Every 4 hours"), 4}});
    m_remindInterval->setObjectName(QStringLiteral("remindIntervalPicker"));
    QLabel* remindTitle = plainLabel(QCoreApplication::translate("SettingsView", "Remind again while low"));
    remindTitle->setBuddy(m_remindInterval);
    m_remindInterval->setAccessibleName(remindTitle->text());
    connect(m_remindInterval, &ChoicePicker::chosen, this,
            [this](double hours) { m_state.setRemindIntervalHours(hours); });
    m_remindRow = section->addRow(line({remindTitle, nullptr, m_remindInterval}));

    // One row for both settings: off, or the level that counts as charged.
    QList<std::pair<QString, double>> levels{{QCoreApplication::translate("SettingsView", "Off"), 0}};
    for (const double level : AppState::chargedLevelOptions)
        levels.append(
            {QCoreApplication::translate("SettingsView", "At %1").arg(ThresholdPicker::choiceLabel(level)),
             level});
    m_chargedLevel = new ChoicePicker(levels);
    m_chargedLevel->setObjectName(QStringLiteral("chargedLevelPicker"));
    QLabel* levelTitle = plainLabel(QCoreApplication::translate("SettingsView", "Notify when charged"));
    levelTitle->setBuddy(m_chargedLevel);
    m_chargedLevel->setAccessibleName(levelTitle->text());
    connect(m_chargedLevel, &ChoicePicker::chosen, this, [this](double level) {
        if (level > 0)
            m_state.setChargedLevel(level);
        m_state.setNotifyWhenCharged(level > 0);
    });
    m_chargedLevelRow = section->addRow(line({levelTitle, nullptr, m_chargedLevel}));
    return section;
}

FormSection* SettingsView::buildPolling() {
    auto* section =
        new FormSection(QCoreApplication::translate("SettingsView", "Polling"),
                        QCoreApplication::translate(
                            "SettingsView", "This is only relevant for background polling. When you open the "
                                            "menubar icon, the app will always show updated battery stats"));
    m_pollValue = new SecondaryLabel;
    m_pollValue->setObjectName(QStringLiteral("pollIntervalValue"));
    m_pollValue->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // Room for the widest value, so the arrows never move while stepping.
    m_pollValue->setMinimumWidth(
        m_pollValue->fontMetrics().horizontalAdvance(minutesText(maximumPollMinutes)));
    m_pollStepper = new Stepper(minimumPollMinutes, maximumPollMinutes, 1);
    m_pollStepper->setObjectName(QStringLiteral("pollIntervalStepper"));
    m_pollStepper->setAccessibleName(QCoreApplication::translate("SettingsView", "Check battery every"));
    connect(m_pollStepper, &Stepper::stepped, this,
            [this](double value) { m_state.setPollIntervalMinutes(value); });
    section->addRow(line({plainLabel(QCoreApplication::translate("SettingsView", "Check battery every")),
                          nullptr, m_pollValue, m_pollStepper}));
    return section;
}

FormSection* SettingsView::buildLaunchAtLogin() {
    auto* section = new FormSection;
    m_launchAtLogin =
        new ToggleSwitch(QCoreApplication::translate("SettingsView", "Launch Voltwren at login"));
    connect(m_launchAtLogin, &QAbstractButton::clicked, this,
            [this](bool checked) { m_state.setLaunchAtLogin(checked); });
    section->addRow(m_launchAtLogin);
    return section;
}

FormSection* SettingsView::buildUpdates() {
    auto* section = new FormSection(
        QCoreApplication::translate("SettingsView", "Updates"),
        QCoreApplication::translate("SettingsView", "Voltwren checks for updates automatically once a day."));
    section->setObjectName(QStringLiteral("updatesSection"));
    auto* check = new QPushButton(QCoreApplication::translate("SettingsView", "Check for Updates…"));
    check->setAutoDefault(false);
    check->setMinimumWidth(check->sizeHint().width() + 16);
    UpdaterController* updater = m_services.updater;
    connect(check, &QPushButton::clicked, this, [updater] { updater->checkForUpdates(); });
    section->addRow(line({check, nullptr}));
    return section;
}

FormSection* SettingsView::buildLog() {
    auto* section = new FormSection(
        {}, QCoreApplication::translate("SettingsView", "Diagnostic log for troubleshooting"));
    auto* show =
        new LinkButton(QCoreApplication::translate("SettingsView", "Show Log File in File Manager…"));
    // The folder, not the file: the file manager then shows the log among
    // its siblings. The folder is not created for this.
    connect(show, &QAbstractButton::clicked, this,
            [this] { m_services.workspace->openFolder(logDirectoryURL()); });
    section->addRow(line({show, nullptr}));
    auto* history = new LinkButton(QCoreApplication::translate("SettingsView", "Show Charge History…"));
    history->setObjectName(QStringLiteral("showHistoryButton"));
    connect(history, &QAbstractButton::clicked, this,
            [this] { HistoryWindowController::shared().show(m_state); });
    section->addRow(line({history, nullptr}));
    return section;
}

FormSection* SettingsView::buildAbout() {
    auto* section = new FormSection;
    auto* about = new QWidget;
    auto* stack = new QVBoxLayout(about);
    stack->setContentsMargins(0, 4, 0, 4);
    stack->setSpacing(4);
    QLabel* version = plainLabel(versionLine(*m_services.bundle));
    version->setObjectName(QStringLiteral("versionLine"));
    version->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* support = new LinkButton(QCoreApplication::translate("SettingsView", "Support"));
    connect(support, &QAbstractButton::clicked, this,
            [this] { m_services.workspace->openUrl(supportURL(*m_services.bundle)); });
    stack->addWidget(version, 0, Qt::AlignHCenter);
    stack->addWidget(support, 0, Qt::AlignHCenter);
    section->addRow(about);
    return section;
}

QString SettingsView::versionLine(const Bundle& bundle) {
    return QCoreApplication::translate("SettingsView", "Voltwren, version: %1")
        .arg(bundle.infoString(QStringLiteral("CFBundleShortVersionString")).value_or(QString()));
}

QUrl SettingsView::supportURL(const Bundle& bundle) {
    // Encoded here, so that "&", "=", "+" and "%" in a value stay data.
    // Never null, so an empty value still reads "version=".
    const auto encoded = [](const QString& value) {
        return QString::fromLatin1(QUrl::toPercentEncoding(value)) + QStringLiteral("");
    };
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("app"),
                       encoded(bundle.infoString(QStringLiteral("CFBundleName")).value_or(QString())));
    query.addQueryItem(
        QStringLiteral("version"),
        encoded(bundle.infoString(QStringLiteral("CFBundleShortVersionString")).value_or(QString())));
    QUrl url(supportPage);
    url.setQuery(query);
    return url;
}

QString SettingsView::minutesText(double minutes) {
    // A hand-edited setting may hold anything a JSON number can.
    const double whole = std::isnan(minutes) ? 0 : std::clamp(std::trunc(minutes), -9.0e18, 9.0e18);
    return QCoreApplication::translate("SettingsView", "%1 min")
        .arg(QLocale().toString(static_cast<qint64>(whole)));
}

void SettingsView::sync() {
    m_bluetoothSection->setVisible(m_state.bluetoothPermissionDenied());
    m_generalPicker->setThreshold(m_state.threshold());
    m_overrides->sync();
    m_highlight->setChecked(m_state.highlightMenubarIcon());
    m_sendNotifications->setChecked(m_state.sendNotifications());
    m_notificationNoticeRow->setVisible(m_state.sendNotifications() &&
                                        m_state.notificationPermissionDenied());
    // Both only add to the notifications that are sent.
    m_remindInterval->setValue(m_state.remindIntervalHours());
    m_remindRow->setEnabled(m_state.sendNotifications());
    m_chargedLevel->setValue(m_state.notifyWhenCharged() ? m_state.chargedLevel() : 0);
    m_chargedLevelRow->setEnabled(m_state.sendNotifications());
    m_pollValue->setText(minutesText(m_state.pollIntervalMinutes()));
    m_pollStepper->setValue(m_state.pollIntervalMinutes());
    m_launchAtLogin->setChecked(m_state.launchAtLogin());
}

void SettingsView::fitTo(const QScreen& screen) {
    const QRect area = screen.availableGeometry();
    // The frame is known once the window has been shown; until then, room
    // for a title bar. Where the screen tells of no work area (Wayland, X11
    // without one) a bar may still take an edge of it.
    const QMargins known = windowHandle() ? windowHandle()->frameMargins() : QMargins();
    const int frame = known.top() + known.bottom() > 0 ? known.top() + known.bottom() : 40;
    const int bar = area == screen.geometry() ? 32 : 0;
    const int room = area.height() - frame - bar;
    if (room >= formHeight) {
        setFixedSize(formWidth, formHeight);
        return;
    }
    const int height = std::max(smallestHeight, room);
    setMinimumSize(formWidth, std::min(smallestHeight, height));
    setMaximumSize(formWidth, formHeight);
    if (this->height() > height || this->height() == formHeight)
        resize(formWidth, height);
}

void SettingsView::keyPressEvent(QKeyEvent* event) {
    const bool plainEscape = event->key() == Qt::Key_Escape && !(event->modifiers() & ~Qt::KeypadModifier);
    if (plainEscape || event->matches(QKeySequence::Close)) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void SettingsView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Each opening asks again, so a permission granted meanwhile in the
    // desktop's settings clears the notice.
    if (!event->spontaneous() && m_state.sendNotifications())
        m_state.requestNotificationAuthorization();
}
