#include "LoginItem.h"

#include "Console.h"
#include "platform/LoginItemService.h"

void updateLaunchAtLogin(bool enabled, LoginItemService& service) {
    const bool registered = service.status() == LoginItemService::Status::enabled;
    if (enabled == registered)
        return;
    const std::optional<QString> error = enabled ? service.registerItem() : service.unregisterItem();
    if (error)
        Console::printLine(QStringLiteral("Voltwren: failed to update launch-at-login registration: ") +
                           *error);
}

void updateLaunchAtLogin(bool enabled) {
    updateLaunchAtLogin(enabled, loginItemService());
}
