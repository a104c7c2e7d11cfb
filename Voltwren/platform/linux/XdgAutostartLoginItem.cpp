#include "XdgAutostartLoginItem.h"

namespace {

QString unavailable() {
    return QStringLiteral("launch at login is not available yet");
}

} // namespace

LoginItemService::Status XdgAutostartLoginItem::status() const {
    return Status::notRegistered;
}

std::optional<QString> XdgAutostartLoginItem::registerItem() {
    return unavailable();
}

std::optional<QString> XdgAutostartLoginItem::unregisterItem() {
    return unavailable();
}

LoginItemService& loginItemService() {
    static XdgAutostartLoginItem item;
    return item;
}
