#include "StateDoubles.h"

#include <QDeadlineTimer>
#include <QSignalSpy>

void StateFixture::setInternal(std::optional<qint64> percent, std::optional<bool> charging) {
    const QMutexLocker locker(&m_lock);
    m_internal = percent ? std::optional(InternalBatteryReading{*percent, charging}) : std::nullopt;
}

void StateFixture::setAccessories(const QList<BluetoothBatteryReader::AccessoryReading>& accessories) {
    const QMutexLocker locker(&m_lock);
    m_accessories = accessories;
}

std::unique_ptr<AppState> StateFixture::makeState(std::chrono::milliseconds firstPollTimeout,
                                                  std::chrono::milliseconds pollMinute) {
    AppState::Services services;
    services.defaults = &defaults;
    services.notifications = &notifications;
    services.loginItems = &loginItem;
    services.gattReader = gatt.get();
    services.history = history;
    services.readInternalBattery = [this] {
        const QMutexLocker locker(&m_lock);
        return m_internal;
    };
    services.readAccessories = [this] {
        const QMutexLocker locker(&m_lock);
        return m_accessories;
    };
    services.firstPollTimeout = firstPollTimeout;
    services.pollMinute = pollMinute;
    return std::make_unique<AppState>(services);
}

bool StateFixture::refreshAndWait(AppState& state) {
    // A refresh that started earlier (the timer's, say) may end first: wait
    // for readings taken after this call.
    const quint64 before = state.refreshesStarted();
    QSignalSpy done(&state, &AppState::refreshCompleted);
    state.refresh();
    const QDeadlineTimer deadline(5000);
    while (state.refreshesPublished() <= before) {
        if (deadline.hasExpired() || !done.wait(static_cast<int>(deadline.remainingTime())))
            return false;
    }
    return true;
}
