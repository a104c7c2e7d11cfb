#pragma once

#include "SessionNames.h"

#include <QDBusConnection>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <functional>

class AppState;

// The program on the session bus: it owns the name that makes it the one
// instance of the session, and exports the device list and a few actions
// for a second launch, scripts and status bars. The interface is generated
// from app.voltwren.Voltwren1.xml.
class SessionService final : public QObject {
    Q_OBJECT
    Q_PROPERTY(QList<QVariantMap> Devices READ devices)
    Q_PROPERTY(QString LastPolled READ lastPolled)

public:
    static constexpr const char* serviceName = SessionNames::service;
    static constexpr const char* objectPath = SessionNames::objectPath;
    static constexpr const char* interfaceName = SessionNames::interface;
    // Bound on every call this side makes.
    static constexpr int callTimeout = 5000;

    enum class Claim { owned, alreadyRunning, unavailable };

    // Asks the bus for the name, without waiting on the caller's thread; DONE
    // gets the answer later: unavailable when there is no bus or it did not
    // answer in time (the program then runs alone).
    static void claimName(const QDBusConnection& connection, QObject* context,
                          std::function<void(Claim)> done);
    // Asks the instance that owns the name to open its panel; DONE gets
    // whether it answered.
    static void askToShowPanel(const QDBusConnection& connection, QObject* context,
                               std::function<void(bool answered)> done);

    SessionService(const QDBusConnection& connection, QObject* parent = nullptr);
    ~SessionService() override;

    // Exports the object, its properties following STATE. False (with a
    // line on standard output) when the bus refused it.
    bool exportState(AppState& state);

    std::function<void()> onShowPanel;
    std::function<void()> onShowSettings;
    std::function<void()> onShowHistory;

    QList<QVariantMap> devices() const;
    QString lastPolled() const;

public Q_SLOTS:
    void ShowPanel();
    void ShowSettings();
    void ShowHistory();
    void Refresh();

private:
    void announce(const QStringList& properties);

    QDBusConnection m_connection;
    QPointer<AppState> m_state;
    bool m_exported = false;
    QStringList m_pendingAnnouncement;
};
