#pragma once

#include "platform/LoginItemService.h"

// Start at login through an XDG autostart entry. Not built yet: it is never
// registered and every request fails with a message saying so.
class XdgAutostartLoginItem final : public LoginItemService {
public:
    Status status() const override;
    std::optional<QString> registerItem() override;
    std::optional<QString> unregisterItem() override;
};
