#include "OneOffReading.h"

#include "AppState.h"
#include "DeviceStatus.h"
#include "platform/DefaultsStore.h"
#include "platform/LoginItemService.h"
#include "platform/NotificationCenter.h"

#include <QTimer>

namespace {

// A reading tells nobody: permission is "granted" so nothing is asked of
// the desktop, and nothing is ever shown.
class SilentNotifications final : public NotificationCenter {
public:
    void requestAuthorization(std::function<void(bool, std::optional<QString>)> completion) override {
        QTimer::singleShot(0, [completion] { completion(true, std::nullopt); });
    }
    void post(const Notification&,
              std::function<void(std::optional<NotificationError>)> completion) override {
        QTimer::singleShot(0, [completion] { completion(std::nullopt); });
    }
};

// Launch at login plays no part in a reading.
class NoLoginItem final : public LoginItemService {
public:
    Status status() const override { return Status::notRegistered; }
    std::optional<QString> registerItem() override { return QStringLiteral("not available"); }
    std::optional<QString> unregisterItem() override { return QStringLiteral("not available"); }
};

} // namespace

OneOffReading::OneOffReading(QObject* parent)
    : QObject(parent) {
    m_settle.setSingleShot(true);
    m_settle.setInterval(settleMs);
    connect(&m_settle, &QTimer::timeout, this, &OneOffReading::finish);
    m_bound.setSingleShot(true);
    m_bound.setInterval(boundMs);
    connect(&m_bound, &QTimer::timeout, this, &OneOffReading::finish);
}

OneOffReading::~OneOffReading() = default;

void OneOffReading::start() {
    m_defaults = makeReadOnlyUserDefaults();
    m_notifications = std::make_unique<SilentNotifications>();
    m_loginItem = std::make_unique<NoLoginItem>();
    AppState::Services services = AppState::Services::systemSources();
    services.defaults = m_defaults.get();
    services.notifications = m_notifications.get();
    services.loginItems = m_loginItem.get();
    // The state polls first as the program does: on Bluetooth's first state,
    // or after its short timeout; GATT values then bring further polls.
    m_state = std::make_unique<AppState>(services);
    connect(m_state.get(), &AppState::refreshCompleted, &m_settle, qOverload<>(&QTimer::start));
    m_bound.start();
}

void OneOffReading::finish() {
    if (m_finished)
        return;
    m_finished = true;
    m_settle.stop();
    m_bound.stop();
    Q_EMIT finished(m_state ? DeviceStatus::deviceMaps(*m_state) : QList<QVariantMap>());
}
