#include "SimulatedCentral.h"

#include <QtTest/QTest>

std::shared_ptr<SimulatedCentral::Peripheral>
SimulatedCentral::batteryPeripheral(const std::optional<QString>& name,
                                    const std::optional<QByteArray>& value, QUuid identifier) {
    auto peripheral = std::make_shared<Peripheral>(identifier, name);
    auto service = std::make_shared<Service>(bluetoothUuid(QStringLiteral("180F")));
    service->characteristics = QList<std::shared_ptr<Characteristic>>{
        std::make_shared<Characteristic>(bluetoothUuid(QStringLiteral("2A19")), value)};
    peripheral->services = QList<std::shared_ptr<Service>>{service};
    return peripheral;
}

std::shared_ptr<SimulatedCentral::Characteristic>
SimulatedCentral::levelOf(const std::shared_ptr<Peripheral>& peripheral) {
    return peripheral->services->constFirst()->characteristics->constFirst();
}

QString SimulatedCentral::shortText(const QUuid& uuid) {
    return uuid.toString(QUuid::WithoutBraces).left(8);
}

QString SimulatedCentral::label(const BluetoothPeripheralRef& peripheral) {
    return peripheral->name().value_or(QStringLiteral("(none)"));
}

QString SimulatedCentral::labels(const QList<QUuid>& uuids) {
    QStringList texts;
    for (const QUuid& uuid : uuids)
        texts << shortText(uuid);
    return texts.join(QLatin1Char(','));
}

void SimulatedCentral::reportState(int state) {
    m_state = state;
    if (m_delegate)
        m_delegate->centralDidUpdateState(*this);
}

void SimulatedCentral::deliverAll() {
    // Bounded so that a reader that keeps asking cannot hang the test.
    for (int step = 0; step < 100000 && !m_queue.isEmpty(); ++step) {
        const std::function<void()> next = m_queue.takeFirst();
        next();
    }
    QVERIFY2(m_queue.isEmpty(), "the reader kept the simulated central busy without end");
}

void SimulatedCentral::injectValueUpdate(const std::shared_ptr<Peripheral>& peripheral,
                                         const std::shared_ptr<Characteristic>& characteristic) {
    if (m_delegate)
        m_delegate->peripheralDidUpdateValue(peripheral, characteristic, std::nullopt);
}

void SimulatedCentral::reportConnectionEvent() {
    if (m_delegate)
        m_delegate->centralDidSeeConnectionEvent();
}

QList<BluetoothPeripheralRef> SimulatedCentral::retrieveConnectedPeripherals(const QList<QUuid>& services) {
    calls << QStringLiteral("retrieve ") + labels(services);
    return {connectedPeripherals.cbegin(), connectedPeripherals.cend()};
}

void SimulatedCentral::connect(const BluetoothPeripheralRef& peripheral) {
    calls << QStringLiteral("connect ") + label(peripheral);
    const auto simulated = std::static_pointer_cast<Peripheral>(peripheral);
    m_queue << [this, peripheral, simulated] {
        if (!m_delegate)
            return;
        if (simulated->connectFailure)
            m_delegate->centralDidFailToConnect(peripheral, *simulated->connectFailure);
        else
            m_delegate->centralDidConnect(peripheral);
    };
}

void SimulatedCentral::discoverServices(const BluetoothPeripheralRef& peripheral,
                                        const QList<QUuid>& services) {
    calls << QStringLiteral("discoverServices ") + label(peripheral) + QLatin1Char(' ') + labels(services);
    const auto simulated = std::static_pointer_cast<Peripheral>(peripheral);
    m_queue << [this, peripheral, simulated] {
        if (m_delegate)
            m_delegate->peripheralDidDiscoverServices(peripheral, simulated->discoveryError);
    };
}

std::optional<QList<BluetoothServiceRef>>
SimulatedCentral::services(const BluetoothPeripheralRef& peripheral) const {
    const auto simulated = std::static_pointer_cast<Peripheral>(peripheral);
    if (!simulated->services)
        return std::nullopt;
    return QList<BluetoothServiceRef>(simulated->services->cbegin(), simulated->services->cend());
}

void SimulatedCentral::discoverCharacteristics(const BluetoothPeripheralRef& peripheral,
                                               const QList<QUuid>& characteristics,
                                               const BluetoothServiceRef& service) {
    calls << QStringLiteral("discoverCharacteristics ") + label(peripheral) + QLatin1Char(' ') +
                 shortText(service->uuid()) + QLatin1Char(' ') + labels(characteristics);
    const auto simulated = std::static_pointer_cast<Service>(service);
    m_queue << [this, peripheral, service, simulated] {
        if (m_delegate)
            m_delegate->peripheralDidDiscoverCharacteristics(peripheral, service, simulated->discoveryError);
    };
}

std::optional<QList<BluetoothCharacteristicRef>>
SimulatedCentral::characteristics(const BluetoothServiceRef& service) const {
    const auto simulated = std::static_pointer_cast<Service>(service);
    if (!simulated->characteristics)
        return std::nullopt;
    return QList<BluetoothCharacteristicRef>(simulated->characteristics->cbegin(),
                                             simulated->characteristics->cend());
}

void SimulatedCentral::readValue(const BluetoothPeripheralRef& peripheral,
                                 const BluetoothCharacteristicRef& characteristic) {
    calls << QStringLiteral("read ") + label(peripheral) + QLatin1Char(' ') +
                 shortText(characteristic->uuid());
    const auto simulated = std::static_pointer_cast<Characteristic>(characteristic);
    m_queue << [this, peripheral, characteristic, simulated] {
        if (m_delegate)
            m_delegate->peripheralDidUpdateValue(peripheral, characteristic, simulated->readError);
    };
}

void SimulatedCentral::setNotifyValue(bool enabled, const BluetoothPeripheralRef& peripheral,
                                      const BluetoothCharacteristicRef& characteristic) {
    calls << (enabled ? QStringLiteral("notify ") : QStringLiteral("unnotify ")) + label(peripheral) +
                 QLatin1Char(' ') + shortText(characteristic->uuid());
    const auto simulated = std::static_pointer_cast<Characteristic>(characteristic);
    m_queue << [this, peripheral, characteristic, simulated] {
        if (m_delegate)
            m_delegate->peripheralDidUpdateNotificationState(peripheral, characteristic,
                                                             simulated->notifyError);
    };
}

std::optional<QByteArray> SimulatedCentral::value(const BluetoothCharacteristicRef& characteristic) const {
    return std::static_pointer_cast<Characteristic>(characteristic)->value;
}
