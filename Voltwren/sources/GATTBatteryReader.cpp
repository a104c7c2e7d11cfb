#include "GATTBatteryReader.h"

#include "app/Console.h"
#include "app/DiagnosticLog.h"
#include "model/DeviceName.h"

#include <QCoreApplication>
#include <QThread>

namespace {

const QString debugPrefix = QStringLiteral("Voltwren [debug]: ");

// The adapter's state as BlueZ puts it, for the log.
QString stateName(int state) {
    switch (state) {
    case BluetoothCentral::stateResetting:
        return QStringLiteral("resetting");
    case BluetoothCentral::stateUnsupported:
        return QStringLiteral("no adapter");
    case BluetoothCentral::stateUnauthorized:
        return QStringLiteral("not permitted");
    case BluetoothCentral::statePoweredOff:
        return QStringLiteral("powered off");
    case BluetoothCentral::statePoweredOn:
        return QStringLiteral("powered on");
    default:
        return QStringLiteral("unknown");
    }
}

// A peripheral's name, made safe to print and log.
QString quoted(const QString& name) {
    return QLatin1Char('"') + DeviceName::forDisplay(name) + QLatin1Char('"');
}

// The name used in error lines.
QString namePlaceholder(const BluetoothPeripheralRef& peripheral) {
    return peripheral ? peripheral->name().value_or(QStringLiteral("unknown")) : QStringLiteral("unknown");
}

} // namespace

GATTBatteryReader& GATTBatteryReader::shared() {
    // Function-local static: initialised once, even with racing first callers.
    static GATTBatteryReader* const instance = [] {
        QCoreApplication* const application = QCoreApplication::instance();
        if (!application || QThread::currentThread() == application->thread())
            return new GATTBatteryReader(makeBluetoothCentral());

        // First used off the main thread (the aggregator): the reader moves to
        // the main thread at once and its central is made there, because the
        // central's callbacks must arrive on the main thread. Until then the
        // state reads as unknown and the table is empty.
        auto* reader = new GATTBatteryReader(nullptr);
        reader->moveToThread(application->thread());
        QMetaObject::invokeMethod(
            reader, [reader] { reader->installCentral(makeBluetoothCentral()); }, Qt::QueuedConnection);
        return reader;
    }();
    return *instance;
}

GATTBatteryReader::GATTBatteryReader(std::unique_ptr<BluetoothCentral> central, QObject* parent)
    : QObject(parent)
    , m_batteryServiceUUID(bluetoothUuid(QStringLiteral("180F")))
    , m_batteryLevelCharacteristicUUID(bluetoothUuid(QStringLiteral("2A19"))) {
    installCentral(std::move(central));
}

GATTBatteryReader::~GATTBatteryReader() {
    // The central goes first so that nothing reports into a half-destroyed reader.
    if (m_centralManager)
        m_centralManager->setDelegate(nullptr);
    m_centralManager.reset();
}

void GATTBatteryReader::installCentral(std::unique_ptr<BluetoothCentral> central) {
    m_centralManager = std::move(central);
    if (m_centralManager)
        m_centralManager->setDelegate(this);
}

int GATTBatteryReader::currentState() const {
    return m_centralManager ? m_centralManager->state() : BluetoothCentral::stateUnknown;
}

BluetoothAuthorization GATTBatteryReader::authorization() const {
    return m_centralManager ? m_centralManager->authorization() : BluetoothAuthorization::notDetermined;
}

QList<GATTBatteryReader::Reading> GATTBatteryReader::copyLatestReadings() const {
    const std::lock_guard<std::mutex> guard(m_latestReadingsLock);
    return m_latestReadings.values();
}

void GATTBatteryReader::centralDidUpdateState(const BluetoothCentral& central) {
    const int state = central.state();
    Console::printLine(debugPrefix + QStringLiteral("BlueZ adapter state changed to ") + stateName(state));
    diagnosticLog(QStringLiteral("BlueZ adapter state changed to ") + stateName(state));

    if (!m_hasReportedFirstState) {
        m_hasReportedFirstState = true;
        if (onFirstStateKnown)
            onFirstStateKnown();
    }
    if (state == BluetoothCentral::statePoweredOn)
        scan();
}

void GATTBatteryReader::scan() {
    // A central that never got an answer from the system tries again now.
    if (m_centralManager)
        m_centralManager->retryIfUnavailable();
    const int state = currentState();
    if (state != BluetoothCentral::statePoweredOn) {
        Console::printLine(debugPrefix + QStringLiteral("BlueZ adapter not ready yet (state=") +
                           stateName(state) + QStringLiteral("); will retry once powered on"));
        diagnosticLog(QStringLiteral("GATT scan skipped \u2014 Bluetooth not powered on (state=") +
                      stateName(state) + QLatin1Char(')'));
        return;
    }

    diagnosticLog(QStringLiteral("Scanning for Bluetooth devices via BlueZ (Battery Service)\u2026"));
    const QList<BluetoothPeripheralRef> peripherals =
        m_centralManager->retrieveConnectedPeripherals({m_batteryServiceUUID});
    const QString count = QString::number(peripherals.size());
    Console::printLine(debugPrefix + QStringLiteral("BlueZ sees ") + count +
                       QStringLiteral(" connected peripheral(s) advertising the Battery Service"));
    diagnosticLog(QStringLiteral("BlueZ scan found ") + count +
                  QStringLiteral(" peripheral(s) advertising the Battery Service"));

    QSet<QUuid> scanned;
    for (const BluetoothPeripheralRef& peripheral : peripherals) {
        if (!peripheral)
            continue;
        scanned.insert(peripheral->identifier());
        follow(peripheral);
    }
    m_followedPeripherals &= scanned;
}

void GATTBatteryReader::follow(const BluetoothPeripheralRef& peripheral) {
    // Holding the handle keeps this process's connection alive.
    m_connectedPeripherals.insert(peripheral->identifier(), peripheral);
    m_centralManager->connect(peripheral);
}

void GATTBatteryReader::centralDidSeeConnectionEvent() {
    if (currentState() == BluetoothCentral::statePoweredOn) {
        // Peripherals not yet followed (newly connected, or whose battery
        // was not there yet) are read and followed as a scan would.
        QSet<QUuid> connected;
        for (const BluetoothPeripheralRef& peripheral :
             m_centralManager->retrieveConnectedPeripherals({m_batteryServiceUUID})) {
            if (!peripheral)
                continue;
            connected.insert(peripheral->identifier());
            if (m_followedPeripherals.contains(peripheral->identifier()))
                continue;
            Console::printLine(debugPrefix + QStringLiteral("following newly connected peripheral ") +
                               quoted(namePlaceholder(peripheral)));
            follow(peripheral);
        }
        m_followedPeripherals &= connected;
    }
    if (onConnectionEvent)
        onConnectionEvent();
}

void GATTBatteryReader::centralDidConnect(const BluetoothPeripheralRef& peripheral) {
    if (m_centralManager && peripheral)
        m_centralManager->discoverServices(peripheral, {m_batteryServiceUUID});
}

void GATTBatteryReader::centralDidFailToConnect(const BluetoothPeripheralRef& peripheral,
                                                const std::optional<QString>& error) {
    Console::printLine(debugPrefix + QStringLiteral("failed to connect to ") +
                       quoted(namePlaceholder(peripheral)) + QStringLiteral(": ") +
                       error.value_or(QStringLiteral("nil")));
}

void GATTBatteryReader::peripheralDidDiscoverServices(const BluetoothPeripheralRef& peripheral,
                                                      const std::optional<QString>& error) {
    if (error) {
        Console::printLine(debugPrefix + QStringLiteral("service discovery error for ") +
                           quoted(namePlaceholder(peripheral)) + QStringLiteral(": ") + *error);
        return;
    }
    if (!m_centralManager || !peripheral)
        return;
    const std::optional<QList<BluetoothServiceRef>> services = m_centralManager->services(peripheral);
    if (!services)
        return;
    for (const BluetoothServiceRef& service : *services) {
        if (service && service->uuid() == m_batteryServiceUUID)
            m_centralManager->discoverCharacteristics(peripheral, {m_batteryLevelCharacteristicUUID},
                                                      service);
    }
}

void GATTBatteryReader::peripheralDidDiscoverCharacteristics(const BluetoothPeripheralRef& peripheral,
                                                             const BluetoothServiceRef& service,
                                                             const std::optional<QString>& error) {
    if (error) {
        Console::printLine(debugPrefix + QStringLiteral("characteristic discovery error for ") +
                           quoted(namePlaceholder(peripheral)) + QStringLiteral(": ") + *error);
        return;
    }
    if (!m_centralManager || !peripheral || !service)
        return;
    const std::optional<QList<BluetoothCharacteristicRef>> characteristics =
        m_centralManager->characteristics(service);
    if (!characteristics)
        return;
    for (const BluetoothCharacteristicRef& characteristic : *characteristics) {
        if (characteristic && characteristic->uuid() == m_batteryLevelCharacteristicUUID) {
            m_centralManager->readValue(peripheral, characteristic);
            // Later values arrive as the read one does.
            m_centralManager->setNotifyValue(true, peripheral, characteristic);
            m_followedPeripherals.insert(peripheral->identifier());
        }
    }
}

void GATTBatteryReader::peripheralDidUpdateNotificationState(const BluetoothPeripheralRef& peripheral,
                                                             const BluetoothCharacteristicRef&,
                                                             const std::optional<QString>& error) {
    // Without notifications the level is still read at every scan.
    if (error)
        Console::printLine(debugPrefix + QStringLiteral("cannot follow the battery level of ") +
                           quoted(namePlaceholder(peripheral)) + QStringLiteral(": ") + *error);
}

void GATTBatteryReader::peripheralDidUpdateValue(const BluetoothPeripheralRef& peripheral,
                                                 const BluetoothCharacteristicRef& characteristic,
                                                 const std::optional<QString>& error) {
    if (error) {
        Console::printLine(debugPrefix + QStringLiteral("read error for ") +
                           quoted(namePlaceholder(peripheral)) + QStringLiteral(": ") + *error);
        return;
    }
    if (!m_centralManager || !peripheral || !characteristic ||
        characteristic->uuid() != m_batteryLevelCharacteristicUUID)
        return;
    const std::optional<QByteArray> value = m_centralManager->value(characteristic);
    if (!value || value->isEmpty())
        return;

    const qint64 percent = static_cast<quint8>(value->at(0));
    const QString name = peripheral->name().value_or(QStringLiteral("Unknown Accessory"));
    // A level is a percentage; a larger byte is a faulty device, not a charge.
    if (percent > 100) {
        Console::printLine(debugPrefix + QStringLiteral("GATT Battery Level for ") + quoted(name) +
                           QStringLiteral(" out of range: ") + QString::number(percent) +
                           QStringLiteral(" \u2014 ignored"));
        return;
    }
    Console::printLine(debugPrefix + QStringLiteral("GATT Battery Service reading for ") + quoted(name) +
                       QStringLiteral(": ") + QString::number(percent) + QLatin1Char('%'));

    const QUuid identifier = peripheral->identifier();
    Reading reading{identifier.toString(QUuid::WithoutBraces).toUpper(), name, percent};
    std::optional<qint64> previousPercent;
    {
        const std::lock_guard<std::mutex> guard(m_latestReadingsLock);
        const auto previous = m_latestReadings.constFind(identifier);
        if (previous != m_latestReadings.cend())
            previousPercent = previous->batteryPercent;
        m_latestReadings.insert(identifier, std::move(reading));
    }

    if (previousPercent == percent) {
        diagnosticLog(QStringLiteral("GATT reading for ") + quoted(name) + QStringLiteral(" unchanged at ") +
                      QString::number(percent) + QStringLiteral("% \u2014 skipping refresh"));
        return;
    }
    if (onUpdate)
        onUpdate();
}
