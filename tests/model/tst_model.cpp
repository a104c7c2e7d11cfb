#include "model/DeviceThresholdOverride.h"
#include "model/MonitoredDevice.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

class ModelTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void rawValuesRoundTrip_data() {
        QTest::addColumn<QString>("raw");
        QTest::addColumn<QString>("iconName");
        QTest::addColumn<bool>("isAsset");
        QTest::newRow("mac") << "mac"
                             << "laptopcomputer" << false;
        QTest::newRow("airpods") << "airpods"
                                 << "airpods" << false;
        QTest::newRow("airpodsPro") << "airpodsPro"
                                    << "airpodspro" << false;
        QTest::newRow("airpodsMax") << "airpodsMax"
                                    << "airpodsmax" << false;
        QTest::newRow("headphones") << "headphones"
                                    << "headphones" << false;
        QTest::newRow("mouse") << "mouse"
                               << "computermouse" << false;
        QTest::newRow("trackpad") << "trackpad"
                                  << "trackpad" << false;
        QTest::newRow("keyboard") << "keyboard"
                                  << "keyboard" << false;
        QTest::newRow("gameController") << "gameController"
                                        << "gamecontroller" << false;
        QTest::newRow("iphone") << "iphone"
                                << "iphone" << false;
        QTest::newRow("otherAccessory") << "otherAccessory"
                                        << "Bluetooth" << true;
    }
    void rawValuesRoundTrip() {
        QFETCH(QString, raw);
        QFETCH(QString, iconName);
        QFETCH(bool, isAsset);
        const std::optional<DeviceKind> kind = deviceKindFromRawValue(raw);
        QVERIFY(kind);
        QCOMPARE(rawValue(*kind), raw);
        QCOMPARE(icon(*kind).name, iconName);
        QCOMPARE(icon(*kind).source == ImageReference::Source::asset, isAsset);
    }

    void unknownRawValuesFail_data() {
        QTest::addColumn<QString>("raw");
        QTest::newRow("watch") << "watch";
        QTest::newRow("empty") << "";
        QTest::newRow("wrong case") << "Mouse";
        QTest::newRow("padded") << " mouse";
    }
    void unknownRawValuesFail() {
        QFETCH(QString, raw);
        QVERIFY(!deviceKindFromRawValue(raw));
    }

    void deviceEqualityCoversEveryField() {
        const MonitoredDevice base{"AA", "Mouse", DeviceKind::mouse, 50, true, false, std::nullopt};
        MonitoredDevice fired = base;
        fired.hasFiredAlert = true;
        QVERIFY(base != fired);
        MonitoredDevice empty = base;
        empty.subReadings = QList<SubBatteryReading>{};
        QVERIFY(base != empty);
        MonitoredDevice withComponent = empty;
        withComponent.subReadings->append({"case", "Case", std::nullopt});
        QVERIFY(empty != withComponent);
        QVERIFY(base == MonitoredDevice(base));
        QVERIFY((SubBatteryReading{"l", "L", std::nullopt}) != (SubBatteryReading{"l", "L", 0}));
    }

    void overrideDecoding_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("decodes");
        QTest::newRow("valid") << QByteArray(
                                      R"({"address":"AA","name":"Desk","kind":"mouse","threshold":10})")
                               << true;
        QTest::newRow("extra keys ignored")
            << QByteArray(R"({"address":"AA","name":"Desk","kind":"mouse","threshold":12.5,"colour":"red"})")
            << true;
        QTest::newRow("unknown kind")
            << QByteArray(R"({"address":"AA","name":"Desk","kind":"watch","threshold":10})") << false;
        QTest::newRow("threshold as string")
            << QByteArray(R"({"address":"AA","name":"Desk","kind":"mouse","threshold":"10"})") << false;
        QTest::newRow("missing name")
            << QByteArray(R"({"address":"AA","kind":"mouse","threshold":10})") << false;
        QTest::newRow("address as number")
            << QByteArray(R"({"address":1,"name":"Desk","kind":"mouse","threshold":10})") << false;
        QTest::newRow("null threshold")
            << QByteArray(R"({"address":"AA","name":"Desk","kind":"mouse","threshold":null})") << false;
        QTest::newRow("not an object") << QByteArray(R"(["AA","Desk","mouse",10])") << false;
    }
    void overrideDecoding() {
        QFETCH(QByteArray, json);
        QFETCH(bool, decodes);
        const QJsonDocument document = QJsonDocument::fromJson(json);
        const QJsonValue value =
            document.isObject() ? QJsonValue(document.object()) : QJsonValue(document.array());
        QCOMPARE(DeviceThresholdOverride::fromJson(value).has_value(), decodes);
    }

    void collectionRoundTrip() {
        DeviceThresholdOverride::Collection overrides;
        overrides.insert("mac", {"mac", "Laptop", DeviceKind::mac, 10});
        overrides.insert("AA:BB", {"AA:BB", "Caf\u00e9 \"Buds\"", DeviceKind::airpodsPro, 12.5});
        const QByteArray json = DeviceThresholdOverride::encodeCollection(overrides);
        QVERIFY(!json.contains('\n'));
        QCOMPARE(DeviceThresholdOverride::decodeCollection(json), overrides);

        const QJsonObject mac = QJsonDocument::fromJson(json).object().value("mac").toObject();
        QCOMPARE(mac.keys(), (QStringList{"address", "kind", "name", "threshold"}));
        QCOMPARE(mac.value("kind").toString(), QString("mac"));
    }

    void collectionFailsAsAWhole_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::newRow("one bad member")
            << QByteArray(R"({"a":{"address":"a","name":"A","kind":"mouse","threshold":5},)"
                          R"("b":{"address":"b","name":"B","kind":"watch","threshold":5}})");
        QTest::newRow("not json") << QByteArray("{\"a\":");
        QTest::newRow("array") << QByteArray("[]");
        QTest::newRow("member not an object") << QByteArray(R"({"a":5})");
    }
    void collectionFailsAsAWhole() {
        QFETCH(QByteArray, json);
        QVERIFY(!DeviceThresholdOverride::decodeCollection(json));
    }

    void emptyCollection() { QCOMPARE(DeviceThresholdOverride::decodeCollection("{}")->size(), 0); }
};

QTEST_GUILESS_MAIN(ModelTest)
#include "tst_model.moc"
