#include "BluezMock.h"
#include "PrivateBus.h"
#include "ProgramRun.h"
#include "Testbed.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Each device of `status --json` as "name|kind|percent|on/off|low".
QStringList rows(const QByteArray& json) {
    QStringList result;
    for (const QJsonValue& value : QJsonDocument::fromJson(json).array()) {
        const QJsonObject device = value.toObject();
        result << QStringList{device["name"].toString(), device["kind"].toString(),
                              device.contains("percent") ? QString::number(device["percent"].toInt()) : "-",
                              device["connected"].toBool() ? "on" : "off",
                              device["low"].toBool() ? "low" : "-"}
                      .join('|');
    }
    return result;
}

QString readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// A receiver's mouse: its HID device (whose uevent the kernel fills) and its supply.
const QByteArray receiverMouse = R"([
  {"do": "add", "subsystem": "hid", "name": "0003:046D:4101.0001",
   "properties": {"HID_NAME": "Logitech Marathon Mouse", "HID_UNIQ": "4101-a1-b2", "DRIVER": "logitech-hidpp-device"}},
  {"do": "add", "name": "hidpp_battery_0", "parent": "0003:046D:4101.0001",
   "attributes": {"type": "Battery", "scope": "Device", "status": "Discharging", "capacity": "50",
                  "model_name": "Marathon Mouse", "serial_number": "4101-a1-b2"}}
])";

} // namespace

// The program over simulated kernel trees (umockdev), as the desktop's power
// daemon tests itself: what it lists, and the uevents it follows live.
class KernelTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void treesAsListed_data() {
        QTest::addColumn<QByteArray>("tree");
        // Connected BlueZ devices: "address|alias|percent|Appearance|Icon", each maybe empty.
        QTest::addColumn<QStringList>("bluez");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("battery taken out")
            << QByteArray(R"([{"do": "add", "subsystem": "hid", "name": "0005:054C:09CC.0001",
                 "properties": {"HID_NAME": "Wireless Controller", "HID_UNIQ": "aa:bb:cc:dd:ee:10"}},
               {"do": "add", "name": "ps-controller-battery-aa:bb:cc:dd:ee:10", "parent": "0005:054C:09CC.0001",
                 "attributes": {"type": "Battery", "scope": "Device", "present": "0", "capacity": "0",
                                "status": "Discharging"}}])")
            << QStringList{} << QStringList{"Wireless Controller|gameController|-|on|-"};
        QTest::newRow("two laptop batteries")
            << QByteArray(R"([{"do": "add", "name": "BAT0", "attributes": {"type": "Battery", "present": "1",
                 "energy_now": "48000000", "energy_full": "60000000", "capacity": "80"}},
               {"do": "add", "name": "BAT1", "attributes": {"type": "Battery", "present": "1",
                 "energy_now": "1500000", "energy_full": "60000000", "capacity": "2"}},
               {"do": "add", "name": "AC", "attributes": {"type": "Mains", "online": "0"}}])")
            << QStringList{} << QStringList{"Laptop|mac|41|on|low"};
        QTest::newRow("connected LE mouse without class, icon and ids")
            << QByteArray("[]") << QStringList{"AA:BB:CC:DD:EE:30|LE Mouse|99|962|"}
            << QStringList{"LE Mouse|mouse|99|on|-"};
        QTest::newRow("headset switched off, headset on")
            << QByteArray(
                   R"([{"do": "add", "subsystem": "usb", "name": "1-1", "properties": {"DEVTYPE": "usb_device"}},
               {"do": "add", "subsystem": "usb", "name": "1-1:1.3", "parent": "1-1",
                 "attributes": {"wireless_status": "disconnected"}, "properties": {"DEVTYPE": "usb_interface"}},
               {"do": "add", "subsystem": "hid", "name": "0003:1038:12B6.0001", "parent": "1-1:1.3"},
               {"do": "add", "name": "hid-0003:1038:12B6.0001-battery", "parent": "0003:1038:12B6.0001",
                 "attributes": {"type": "Battery", "scope": "Device", "capacity": "30", "model_name": "Wireless Headset"}},
               {"do": "add", "subsystem": "usb", "name": "1-2", "properties": {"DEVTYPE": "usb_device"}},
               {"do": "add", "subsystem": "usb", "name": "1-2:1.3", "parent": "1-2",
                 "attributes": {"wireless_status": "connected"}, "properties": {"DEVTYPE": "usb_interface"}},
               {"do": "add", "subsystem": "hid", "name": "0003:1038:12B6.0002", "parent": "1-2:1.3"},
               {"do": "add", "name": "hid-0003:1038:12B6.0002-battery", "parent": "0003:1038:12B6.0002",
                 "attributes": {"type": "Battery", "scope": "Device", "capacity": "80", "model_name": "Gaming Headset"}}])")
            << QStringList{}
            << QStringList{"Wireless Headset|headphones|-|off|-", "Gaming Headset|headphones|80|on|-"};
        QTest::newRow("name with invalid UTF-8 and a control character")
            << QByteArray(R"([{"do": "add", "subsystem": "hid", "name": "0005:046D:B01A.0001",
                 "properties": {"HID_UNIQ": "aa:bb:cc:dd:ee:50"}},
               {"do": "add", "name": "hid-aa:bb:cc:dd:ee:50-battery", "parent": "0005:046D:B01A.0001",
                 "attributes": {"type": "Battery", "scope": "Device", "capacity": "60"},
                 "binary": {"model_name": "4142FF4331320133"}}])")
            << QStringList{} << QStringList{"ABC123|otherAccessory|60|on|-"};
        QTest::newRow("serial number that is a Bluetooth address")
            << QByteArray(R"([{"do": "add", "subsystem": "hid", "name": "0005:046D:B025.0001"},
               {"do": "add", "name": "hidpp_battery_1", "parent": "0005:046D:B025.0001",
                 "attributes": {"type": "Battery", "scope": "Device", "capacity": "70", "status": "Discharging",
                                "model_name": "MX Anywhere 3", "serial_number": "aa:bb:cc:dd:ee:60"}}])")
            << QStringList{"AA:BB:CC:DD:EE:60|Work Mouse|||input-mouse"}
            << QStringList{"Work Mouse|mouse|70|on|-"};
        QTest::newRow("one mouse on its receiver and on its cable")
            << QByteArray(R"([{"do": "add", "subsystem": "hid", "name": "0003:046D:C08B.0001",
                 "properties": {"HID_UNIQ": "4082-5c-9e"}},
               {"do": "add", "name": "hid-0003:046D:C08B.0001-battery", "parent": "0003:046D:C08B.0001",
                 "attributes": {"type": "Battery", "scope": "Device", "capacity": "70", "model_name": "G502 Mouse"}},
               {"do": "add", "subsystem": "hid", "name": "0003:046D:4099.0002", "properties": {"HID_UNIQ": "4082-5c-9e"}},
               {"do": "add", "name": "hidpp_battery_2", "parent": "0003:046D:4099.0002",
                 "attributes": {"type": "Battery", "scope": "Device", "status": "Unknown", "model_name": "G502 Mouse"}}])")
            << QStringList{} << QStringList{"G502 Mouse|mouse|70|on|-"};
    }
    void treesAsListed() {
        QFETCH(QByteArray, tree);
        QFETCH(QStringList, bluez);
        BluezMock mock;
        QVERIFY(mock.isValid());
        QVERIFY(!mock.addAdapter().isEmpty());
        for (const QString& device : bluez) {
            const QStringList fields = device.split('|');
            const QString path = mock.addDevice(fields[0], fields[1]);
            QVERIFY(!path.isEmpty());
            if (!fields[2].isEmpty())
                QVERIFY(mock.addBattery(path, uchar(fields[2].toInt())));
            if (!fields[3].isEmpty())
                QVERIFY(mock.setProperty(path, "org.bluez.Device1", "Appearance",
                                         QVariant::fromValue(quint16(fields[3].toUInt()))));
            if (!fields[4].isEmpty())
                QVERIFY(mock.setProperty(path, "org.bluez.Device1", "Icon", fields[4]));
            QVERIFY(mock.connectDevice(fields[0]));
        }
        Testbed bed;
        QVERIFY(bed.isValid());
        QVERIFY(bed.run(tree));
        PrivateBus session(QStringLiteral("session"));
        ProgramRun voltwren(&mock.bus(), &session);
        bed.apply(voltwren.environment);
        voltwren.writeDefaults(R"({"voltwren.threshold": 50})");
        QString out;
        QString errors;
        QCOMPARE(voltwren.runToEnd({"status", "--json"}, &out, &errors), 0);
        QTEST(rows(out.toUtf8()), "expected");
    }

    // uevents reach the running program: a change is published and notified
    // once, a new supply comes and goes, and a burst is a few refreshes.
    void ueventsAreFollowed() {
        BluezMock mock;
        QVERIFY(mock.isValid());
        QVERIFY(!mock.addAdapter().isEmpty());
        PrivateBus session(QStringLiteral("session"));
        QVERIFY(session.isValid());
        QTemporaryDir home;
        const QString notifyLog = home.path() + "/notifications.log";
        DbusMock notifications(session, false, {"-t", "notification_daemon"}, "org.freedesktop.Notifications",
                               notifyLog);
        QVERIFY(notifications.isValid());
        Testbed bed;
        QVERIFY(bed.isValid());
        QVERIFY(bed.run(receiverMouse));

        ProgramRun voltwren(&mock.bus(), &session);
        bed.apply(voltwren.environment);
        voltwren.writeDefaults(R"({"voltwren.threshold": 20, "voltwren.sendNotifications": true})");
        QVERIFY(voltwren.start());
        QVERIFY(session.waitForName("app.voltwren.Voltwren"));
        const std::unique_ptr<QProcess> watch = voltwren.startSeparately({"status", "--json", "--watch"});
        QStringList latest;
        const auto shows = [&](const QStringList& expected) {
            while (watch->canReadLine())
                latest = rows(watch->readLine());
            return latest == expected;
        };
        QTRY_VERIFY_WITH_TIMEOUT(shows({"Marathon Mouse|mouse|50|on|-"}), 15000);

        QElapsedTimer clock;
        clock.start();
        QVERIFY(bed.run(R"({"do": "set", "path": "hidpp_battery_0", "attributes": {"capacity": "10"}})"));
        // Far below the poll interval: only the uevent can bring it.
        QTRY_VERIFY_WITH_TIMEOUT(shows({"Marathon Mouse|mouse|10|on|low"}), 5000);
        qInfo("a change uevent was published after %lld ms", clock.elapsed());
        QTRY_VERIFY_WITH_TIMEOUT(readFile(notifyLog).contains(" Notify "), 5000);

        QVERIFY(bed.run(R"({"do": "add", "name": "ps-controller-battery-aa:bb:cc:dd:ee:20", "announce": true,
            "attributes": {"type": "Battery", "scope": "Device", "capacity": "80", "model_name": "Pad"}})"));
        QTRY_VERIFY_WITH_TIMEOUT(shows({"Marathon Mouse|mouse|10|on|low", "Pad|otherAccessory|80|on|-"}),
                                 5000);
        QVERIFY(bed.run(R"({"do": "remove", "path": "ps-controller-battery-aa:bb:cc:dd:ee:20"})"));
        QTRY_VERIFY_WITH_TIMEOUT(shows({"Marathon Mouse|mouse|10|on|low"}), 5000);

        const qsizetype before = voltwren.log().count("Refreshing after a power supply change");
        QVERIFY(bed.run(R"({"do": "burst", "path": "hidpp_battery_0", "count": 50, "seconds": 1})"));
        QTest::qWait(1500); // the last refresh ends
        const qsizetype refreshes = voltwren.log().count("Refreshing after a power supply change") - before;
        qInfo("50 change uevents over one second: %lld refreshes", qlonglong(refreshes));
        QVERIFY2(refreshes >= 1 && refreshes <= 3, qPrintable(QString::number(refreshes)));

        watch->kill();
        watch->waitForFinished(5000);
        QCOMPARE(voltwren.stop(), 0);
        QCOMPARE(readFile(notifyLog).count(" Notify "), 1);
        QVERIFY(readFile(notifyLog).contains("\"Marathon Mouse is at 10%.\""));
    }
};

QTEST_GUILESS_MAIN(KernelTest)
#include "tst_kernel.moc"
