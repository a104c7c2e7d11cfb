#pragma once

#include "PrivateBus.h"

#include <QString>

// The desktop portal's settings (org.freedesktop.portal.Desktop) on a
// private session bus, played by dbusmock: Read runs the Python code it is
// given, and change() makes it emit SettingChanged.
class PortalMock {
public:
    // READ: for example "ret = dbus.UInt32(1, variant_level=2)", a dark
    // preference wrapped as the portal's Read wraps it.
    PortalMock(const PrivateBus& bus, const QString& read);
    bool isValid() const { return m_valid; }

    bool change(const QString& nameSpace, const QString& key, uint value) const;

private:
    bool call(const QString& interface, const QString& method, const QVariantList& arguments) const;

    const PrivateBus& m_bus;
    DbusMock m_mock;
    bool m_valid = false;
};
