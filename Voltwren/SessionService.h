#pragma once

#include "SessionNames.h"

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QList>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <functional>

class AppState;

// The program on the session bus: it owns the name that makes it the one
// instance of the session, and exports the device list and a few actions
// for a second launch, scripts and status bars. The object answers only
// what app.voltwren.Voltwren1.xml declares (and the bus's standard
// interfaces): nothing of the QObject behind it is reachable.
class SessionService final : public QDBusVirtualObject {
    Q_OBJECT

public:
    static constexpr const char* serviceName = SessionNames::service;
    static constexpr const char* objectPath = SessionNames::objectPath;
    static constexpr const char* interfaceName = SessionNames::interface;
    // Bound on every call this side makes.
    static constexpr int callTimeout = 5000;
    // Bound on the question whether the name's owner is a Voltwren.
    static constexpr int ownerCheckTimeout = 2000;

    enum class Claim { owned, alreadyRunning, unavailable };
    // Who holds the name: a Voltwren, another program, or one that did not
    // answer in time (a Voltwren that hangs, or anything else).
    enum class Owner { voltwren, other, silent };

    // Asks the bus for the name, without waiting on the caller's thread; DONE
    // gets the answer later: unavailable when there is no bus or it did not
    // answer in time (the program then runs alone).
    static void claimName(const QDBusConnection& connection, QObject* context,
                          std::function<void(Claim)> done);
    // Asks the name's owner for the interface's properties; DONE gets who it
    // is, and for another program why it was not taken for a Voltwren.
    static void checkOwner(const QDBusConnection& connection, QObject* context,
                           std::function<void(Owner, const QString& why)> done);
    // Asks the instance that owns the name to open its panel; DONE gets
    // whether it answered.
    static void askToShowPanel(const QDBusConnection& connection, QObject* context,
                               std::function<void(bool answered)> done);

    SessionService(const QDBusConnection& connection, QObject* parent = nullptr);
    ~SessionService() override;

    // Exports the object. Until the well-known name is ours it is reached
    // by the connection's own name only; exported first, it is there the
    // moment a client sees the name. False (with a line on standard output)
    // when the bus refused it.
    bool exportObject();
    // From now on the properties follow STATE (before, the list is empty).
    void follow(AppState& state);

    std::function<void()> onShowPanel;
    std::function<void()> onShowSettings;
    std::function<void()> onShowHistory;

    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

private:
    // The declared properties, by name; an invalid variant for any other.
    QVariant value(const QString& property) const;
    QVariantMap values() const;
    void handleProperties(const QDBusMessage& message, const QDBusConnection& connection);
    void refresh();
    void announce(const QStringList& properties);

    QDBusConnection m_connection;
    QPointer<AppState> m_state;
    bool m_exported = false;
    QStringList m_pendingAnnouncement;
};
