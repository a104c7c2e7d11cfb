#include "sources/AdvertisedBattery.h"
#include "sources/AdvertisedBatteryReader.h"

#include <QTest>

using AdvertisedBattery::Level;
using AdvertisedBattery::Levels;

// (address, own object, left tens, RSSI)
using Advert = std::tuple<QString, bool, int, qint64>;
using Adverts = QList<Advert>;

namespace {

// A paired proximity-pairing message for MODEL (as the advert carries it),
// with the status, buds and case bytes given.
QByteArray proximity(quint16 model, quint8 status, quint8 buds, quint8 caseByte, int size = 27) {
    QByteArray value(size, '\0');
    if (size < 8)
        return QByteArray::fromHex("0719010e20");
    value[0] = 0x07;
    value[1] = 0x19;
    value[2] = 0x01;
    value[3] = char(model >> 8);
    value[4] = char(model & 0xFF);
    value[5] = char(status);
    value[6] = char(buds);
    value[7] = char(caseByte);
    return value;
}

std::optional<Level> at(qint64 percent, bool charging = false) {
    return Level{percent, charging, 0};
}

Levels buds(std::optional<Level> left, std::optional<Level> right, std::optional<Level> caseLevel,
            std::optional<qint64> product = std::nullopt) {
    Levels levels;
    levels.left = left;
    levels.right = right;
    levels.caseLevel = caseLevel;
    levels.productID = product;
    return levels;
}

class SimulatedWatcher final : public AdvertisementWatcher {
public:
    void start(Handlers h) override { handlers = std::move(h); }
    void stop() override { handlers = {}; }
    QList<ConnectedDevice> connectedDevices() const override { return devices; }
    bool isAudioPlaying() const override { return audio; }
    bool isDiscovering() const override { return false; }
    bool startDiscoveryBurst(std::chrono::milliseconds) override {
        ++bursts;
        return true;
    }
    void advertise(const QString& address, bool own, const QByteArray& apple, qint64 rssi) {
        Advertisement advert;
        advert.address = address;
        advert.isConnectedDevice = own;
        advert.manufacturerData.insert(AdvertisedBattery::appleCompanyID, apple);
        advert.rssi = rssi;
        handlers.advertisement(advert);
    }

    Handlers handlers;
    QList<ConnectedDevice> devices;
    bool audio = false;
    int bursts = 0;
};

} // namespace

class AdvertisedBatteryTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void proximityPairing_data() {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<std::optional<Levels>>("expected");
        const auto some = [](Levels levels) { return std::optional<Levels>(levels); };
        // Model 0x0E20 in the advert is product 0x200E in the Modalias.
        QTest::newRow("left primary")
            << proximity(0x0E20, 0x20, 0x75, 0x03) << some(buds(at(50), at(70), at(30), 0x200E));
        QTest::newRow("right primary swaps buds and their charging")
            << proximity(0x0E20, 0x00, 0x75, 0x13) << some(buds(at(70), at(50, true), at(30), 0x200E));
        QTest::newRow("charging flags")
            << proximity(0x1420, 0x20, 0x99, 0x55) << some(buds(at(90, true), at(90), at(50, true), 0x2014));
        QTest::newRow("full and missing")
            << proximity(0x0E20, 0x20, 0xFA, 0x0F) << some(buds(at(100), std::nullopt, std::nullopt, 0x200E));
        QTest::newRow("B to E are no reading")
            << proximity(0x0E20, 0x20, 0xCB, 0x0E)
            << some(buds(std::nullopt, std::nullopt, std::nullopt, 0x200E));
        Levels headphones;
        headphones.single = at(80);
        headphones.productID = 0x200A;
        QTest::newRow("single battery") << proximity(0x0A20, 0x20, 0xF8, 0x0F) << some(headphones);
        QTest::newRow("another message follows")
            << proximity(0x0E20, 0x20, 0x75, 0x03) + QByteArray::fromHex("100512345678")
            << some(buds(at(50), at(70), at(30), 0x200E));
        QTest::newRow("short") << proximity(0x0E20, 0x20, 0x75, 0x03, 26) << std::optional<Levels>();
        QTest::newRow("very short") << proximity(0, 0, 0, 0, 5) << std::optional<Levels>();
        QByteArray pairing = proximity(0x0E20, 0x20, 0x75, 0x03);
        pairing[2] = 0x00;
        QTest::newRow("pairing mode") << pairing << std::optional<Levels>();
        QByteArray otherType = proximity(0x0E20, 0x20, 0x75, 0x03);
        otherType[0] = 0x10;
        QTest::newRow("another type") << otherType << std::optional<Levels>();
        QByteArray otherLength = proximity(0x0E20, 0x20, 0x75, 0x03);
        otherLength[1] = 0x1A;
        QTest::newRow("another length") << otherLength << std::optional<Levels>();
    }
    void proximityPairing() {
        QFETCH(QByteArray, value);
        QFETCH(std::optional<Levels>, expected);
        QCOMPARE(AdvertisedBattery::decodeProximityPairing(value), expected);
    }

    void fastPair_data() {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<std::optional<Levels>>("expected");
        const auto some = [](Levels levels) { return std::optional<Levels>(levels); };
        // Flags, account-key filter (type 0, 4 bytes), salt (type 1, 1 byte), battery (type 3).
        QTest::newRow("shown battery") << QByteArray::fromHex("0040aabbccdd1155"
                                                              "33"
                                                              "50d264")
                                       << some(buds(at(80), at(82, true), at(100)));
        QTest::newRow("hidden battery, unknown case") << QByteArray::fromHex("00"
                                                                             "34"
                                                                             "0a147f")
                                                      << some(buds(at(10), at(20), std::nullopt));
        QTest::newRow("out of range value") << QByteArray::fromHex("00"
                                                                   "34"
                                                                   "65147f")
                                            << some(buds(std::nullopt, at(20), std::nullopt));
        QTest::newRow("no battery field") << QByteArray::fromHex("0040aabbccdd") << std::optional<Levels>();
        QTest::newRow("model id only") << QByteArray::fromHex("aabbcc") << std::optional<Levels>();
        QTest::newRow("length past the end") << QByteArray::fromHex("00"
                                                                    "33"
                                                                    "5050")
                                             << std::optional<Levels>();
        QTest::newRow("flags not zero") << QByteArray::fromHex("01"
                                                               "33"
                                                               "505050")
                                        << std::optional<Levels>();
    }
    void fastPair() {
        QFETCH(QByteArray, data);
        QFETCH(std::optional<Levels>, expected);
        QCOMPARE(AdvertisedBattery::decodeFastPairBattery(data), expected);
    }

    // Which adverts reach the connected pair (model 0x200E at 11:…:01), and
    // which are a neighbour's.
    void matching_data() {
        QTest::addColumn<Adverts>("adverts");
        QTest::addColumn<std::optional<qint64>>("left");
        QTest::newRow("own object, however weak")
            << Adverts{{"11:00:00:00:00:01", true, 4, -95}} << std::optional<qint64>(40);
        QTest::newRow("near random address")
            << Adverts{{"7A:00:00:00:00:01", false, 6, -50}} << std::optional<qint64>(60);
        QTest::newRow("too far") << Adverts{{"7A:00:00:00:00:01", false, 6, -71}} << std::optional<qint64>();
        QTest::newRow("strongest wins over a weaker neighbour")
            << Adverts{{"7A:00:00:00:00:02", false, 2, -62}, {"7A:00:00:00:00:01", false, 6, -50}}
            << std::optional<qint64>(60);
        QTest::newRow("two equally near that disagree: neither")
            << Adverts{{"7A:00:00:00:00:02", false, 2, -54}, {"7A:00:00:00:00:01", false, 6, -50}}
            << std::optional<qint64>();
        QTest::newRow("two equally near that agree")
            << Adverts{{"7A:00:00:00:00:02", false, 6, -52}, {"7A:00:00:00:00:01", false, 6, -50}}
            << std::optional<qint64>(60);
        QTest::newRow("own object beats a nearer one")
            << Adverts{{"11:00:00:00:00:01", true, 3, -80}, {"7A:00:00:00:00:01", false, 9, -40}}
            << std::optional<qint64>(30);
    }
    void matching() {
        QFETCH(Adverts, adverts);
        QFETCH(std::optional<qint64>, left);
        SimulatedWatcher watcher;
        watcher.devices = {{"11:00:00:00:00:01", 0x004C, 0x200E, {}}};
        qint64 clock = 1'000'000;
        AdvertisedBatteryReader reader(&watcher, {}, [&clock] { return clock; });
        for (const auto& [address, own, tens, rssi] : adverts) {
            watcher.advertise(address, own, proximity(0x0E20, 0x20, quint8(0x50 | tens), 0x0F), rssi);
            clock += 100;
        }
        const AdvertisedBattery::Table table = reader.copyLatestReadings();
        const auto found = table.constFind("11:00:00:00:00:01");
        const std::optional<Level> taken = found != table.cend() ? found->left : std::nullopt;
        QCOMPARE(taken ? std::optional<qint64>(taken->percent) : std::nullopt, left);
        // Nothing of a device that is not connected is kept.
        QCOMPARE(table.size(), left ? 1 : 0);
    }

    // Levels age out, go with the device, and bursts follow the rules.
    void lifetimeAndBursts() {
        SimulatedWatcher watcher;
        watcher.devices = {{"11:00:00:00:00:01", 0x004C, 0x200E, {}}};
        qint64 clock = 1'000'000;
        AdvertisedBatteryReader reader(&watcher, {}, [&clock] { return clock; });
        const auto poll = [&reader] { reader.pollStarted(std::chrono::minutes(15)); };
        poll();
        QCOMPARE(watcher.bursts, 1);
        poll(); // within the minute
        QCOMPARE(watcher.bursts, 1);
        watcher.advertise("11:00:00:00:00:01", true, proximity(0x0E20, 0x20, 0x55, 0x05), -60);
        clock += 2 * 60 * 1000;
        poll(); // levels are fresh
        QCOMPARE(watcher.bursts, 1);
        watcher.advertise("11:00:00:00:00:01", true, proximity(0x0E20, 0x20, 0x66, 0x0F), -60);
        const AdvertisedBattery::Table table = reader.copyLatestReadings();
        QCOMPARE(table.value("11:00:00:00:00:01").left, (Level{60, false, clock}));
        // The case is out of sight: its last value stays, with its own time.
        QCOMPARE(table.value("11:00:00:00:00:01").caseLevel, (Level{50, false, clock - 2 * 60 * 1000}));

        clock += 31 * 60 * 1000;
        QVERIFY(reader.copyLatestReadings().isEmpty());
        watcher.audio = true;
        poll();
        QCOMPARE(watcher.bursts, 1);
        watcher.audio = false;
        poll();
        QCOMPARE(watcher.bursts, 2);

        watcher.advertise("11:00:00:00:00:01", true, proximity(0x0E20, 0x20, 0x55, 0x05), -60);
        watcher.devices.clear();
        watcher.handlers.devicesChanged();
        QVERIFY(reader.copyLatestReadings().isEmpty());
        clock += 2 * 60 * 1000;
        poll(); // nothing connected needs it
        QCOMPARE(watcher.bursts, 2);
    }
};

QTEST_GUILESS_MAIN(AdvertisedBatteryTest)
#include "tst_advertisedbattery.moc"
