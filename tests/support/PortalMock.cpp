#include "PortalMock.h"

#include <QDBusMessage>

namespace {

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString settingsInterface = QStringLiteral("org.freedesktop.portal.Settings");
const QString mockInterface = QStringLiteral("org.freedesktop.DBus.Mock");

} // namespace

PortalMock::PortalMock(const PrivateBus& bus, const QString& read)
    : m_bus(bus)
    , m_mock(bus, false, {portalService, portalPath, settingsInterface}, portalService) {
    m_valid =
        m_mock.isValid() &&
        call(mockInterface, QStringLiteral("AddMethod"),
             {settingsInterface, QStringLiteral("Read"), QStringLiteral("ss"), QStringLiteral("v"), read}) &&
        call(mockInterface, QStringLiteral("AddMethod"),
             {settingsInterface, QStringLiteral("Change"), QStringLiteral("ssu"), QString(),
              QStringLiteral("self.EmitSignal('%1', 'SettingChanged', 'ssv', [args[0], args[1], "
                             "dbus.UInt32(args[2])])")
                  .arg(settingsInterface)});
}

bool PortalMock::change(const QString& nameSpace, const QString& key, uint value) const {
    return call(settingsInterface, QStringLiteral("Change"), {nameSpace, key, value});
}

bool PortalMock::call(const QString& interface, const QString& method, const QVariantList& arguments) const {
    QDBusMessage message = QDBusMessage::createMethodCall(portalService, portalPath, interface, method);
    message.setArguments(arguments);
    return m_bus.connection().call(message, QDBus::Block, 10000).type() == QDBusMessage::ReplyMessage;
}
