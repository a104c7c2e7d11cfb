#include "PortalAppearance.h"

#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QMetaObject>

#include <cstdio>

namespace {

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString settingsInterface = QStringLiteral("org.freedesktop.portal.Settings");
const QString appearanceNamespace = QStringLiteral("org.freedesktop.appearance");
const QString colorSchemeKey = QStringLiteral("color-scheme");

void debugLine(const QString& text) {
    const QByteArray line = "Voltwren [debug]: " + text.toUtf8() + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fflush(stdout);
}

} // namespace

PortalAppearance::PortalAppearance(const QDBusConnection& session, int timeoutMs, QObject* parent)
    : QObject(parent)
    , m_session(session)
    , m_timeout(timeoutMs) {}

ColorScheme PortalAppearance::fromPortalValue(const QVariant& value) {
    QVariant unwrapped = value;
    // Read answers with the value inside a second variant; a signal carries one.
    for (int depth = 0; depth < 4 && unwrapped.metaType() == QMetaType::fromType<QDBusVariant>(); ++depth)
        unwrapped = unwrapped.value<QDBusVariant>().variant();
    if (unwrapped.metaType() != QMetaType::fromType<uint>())
        return ColorScheme::noPreference;
    switch (unwrapped.toUInt()) {
    case 1:
        return ColorScheme::preferDark;
    case 2:
        return ColorScheme::preferLight;
    default:
        return ColorScheme::noPreference;
    }
}

void PortalAppearance::observeColorScheme(std::function<void(ColorScheme)> observer) {
    m_observer = std::move(observer);
    if (!m_session.isConnected()) {
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (m_observer)
                    m_observer(ColorScheme::noPreference);
            },
            Qt::QueuedConnection);
        return;
    }
    // The whole message, not typed arguments: a slot taking a QDBusVariant is
    // refused until that type happens to have been registered.
    if (!m_subscribed) {
        m_subscribed =
            m_session.connect(portalService, portalPath, settingsInterface, QStringLiteral("SettingChanged"),
                              this, SLOT(onSettingChanged(QDBusMessage)));
        if (!m_subscribed)
            debugLine(QStringLiteral("cannot follow the desktop's colour scheme: ") +
                      m_session.lastError().message());
    }
    read();
}

void PortalAppearance::read() {
    QDBusMessage message =
        QDBusMessage::createMethodCall(portalService, portalPath, settingsInterface, QStringLiteral("Read"));
    message << appearanceNamespace << colorSchemeKey;
    auto* watcher = new QDBusPendingCallWatcher(m_session.asyncCall(message, m_timeout), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, generation = m_generation](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                const QDBusMessage reply = finished->reply();
                if (generation != m_generation || !m_observer)
                    return;
                if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
                    debugLine(QStringLiteral("the desktop states no colour scheme (") +
                              (reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage()) +
                              QLatin1Char(')'));
                    m_observer(ColorScheme::noPreference);
                    return;
                }
                m_observer(fromPortalValue(reply.arguments().constFirst()));
            });
}

void PortalAppearance::onSettingChanged(const QDBusMessage& message) {
    const QVariantList arguments = message.arguments();
    if (arguments.size() != 3 || arguments.at(0).toString() != appearanceNamespace ||
        arguments.at(1).toString() != colorSchemeKey)
        return;
    ++m_generation;
    if (m_observer)
        m_observer(fromPortalValue(arguments.at(2)));
}

Appearance& appearance() {
    static PortalAppearance instance(QDBusConnection::sessionBus());
    return instance;
}
