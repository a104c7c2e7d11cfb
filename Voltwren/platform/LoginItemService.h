#pragma once

#include <QString>

#include <optional>

// The system's registration of this application as a program started at login.
class LoginItemService {
public:
    enum class Status { notRegistered, enabled, requiresApproval, notFound };

    virtual ~LoginItemService() = default;

    virtual Status status() const = 0;
    // Each returns the failure's description, or nullopt on success.
    virtual std::optional<QString> registerItem() = 0;
    virtual std::optional<QString> unregisterItem() = 0;
};

// The running application's login item. Main thread only.
LoginItemService& loginItemService();
