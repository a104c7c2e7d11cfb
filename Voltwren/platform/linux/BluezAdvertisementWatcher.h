#pragma once

#include "BluezDBus.h"
#include "platform/AdvertisementWatcher.h"

#include <QDBusConnection>
#include <QObject>
#include <QTimer>

class QDBusMessage;
class QDBusServiceWatcher;

// Adverts as BlueZ hands them over: the ManufacturerData, ServiceData and
// RSSI of its Device1 objects, followed through the object manager's signals
// (also the short-lived objects of random addresses). Discovery runs only in
// bounded bursts with a filter for LE adverts, never while a MediaTransport1
// is active, and stops on sleep and when the program quits.
class BluezAdvertisementWatcher final : public QObject, public AdvertisementWatcher {
    Q_OBJECT

public:
    static constexpr int callTimeout = 5000;

    BluezAdvertisementWatcher(const QDBusConnection& connection, const QString& service,
                              QObject* parent = nullptr);
    ~BluezAdvertisementWatcher() override;

    void start(Handlers handlers) override;
    void stop() override;
    QList<ConnectedDevice> connectedDevices() const override;
    bool isAudioPlaying() const override;
    bool isDiscovering() const override { return !m_burstAdapter.isEmpty(); }
    bool startDiscoveryBurst(std::chrono::milliseconds duration) override;

private Q_SLOTS:
    void onInterfacesAdded(const QDBusMessage& message);
    void onInterfacesRemoved(const QDBusMessage& message);
    void onPropertiesChanged(const QDBusMessage& message);
    void onPrepareForSleep(bool goingToSleep);

private:
    void load();
    void subscribe(bool on);
    void endBurst();
    void announceAdvertisement(const QString& path);
    void announceDevices();
    void log(const QString& line) const;
    void call(const QString& path, const QString& interface, const QString& method,
              const QVariantList& arguments, const QString& what);

    QDBusConnection m_connection;
    QString m_service;
    QDBusServiceWatcher* m_serviceWatcher = nullptr;
    Handlers m_handlers;
    bool m_started = false;
    quint64 m_loadGeneration = 0;
    BluezDBus::Objects m_objects;
    // The adapter of the running burst; empty when none runs.
    QString m_burstAdapter;
    QTimer m_burstEnd;
};
