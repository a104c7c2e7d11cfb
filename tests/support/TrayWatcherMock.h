#pragma once

#include "PrivateBus.h"

#include <QDBusConnection>
#include <QStringList>
#include <QVariant>

#include <memory>

// A desktop panel as a tray item sees it: org.kde.StatusNotifierWatcher on a
// private session bus (python3-dbusmock), recording the items that register.
class TrayWatcherMock {
public:
    // HOST_REGISTERED: whether a host is there from the start. The first
    // LOST_REGISTRATIONS items that register are not listed; the others are
    // listed as LISTED_AS says, %1 standing for the service they gave.
    TrayWatcherMock(const PrivateBus& session, bool hostRegistered = true, int lostRegistrations = 0,
                    const QString& listedAs = QStringLiteral("%1/StatusNotifierItem"));
    bool isValid() const { return m_valid; }

    // A host registers later, as a panel that starts after the program.
    bool registerHost();
    // The bus names the items registered with, in order.
    QStringList registeredItems() const;

    // Calls on the item at SERVICE, /StatusNotifierItem; false on error.
    bool callItem(const QString& service, const QString& method, const QVariantList& arguments = {}) const;
    // org.freedesktop.DBus.Properties.Get on the item.
    QVariant itemProperty(const QString& service, const QString& name) const;

private:
    bool mockCall(const QString& method, const QVariantList& arguments, QVariant* result = nullptr) const;

    const PrivateBus& m_session;
    std::unique_ptr<DbusMock> m_mock;
    bool m_valid = false;
};
