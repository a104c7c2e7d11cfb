#include "BluezMock.h"
#include "PrivateBus.h"
#include "ProgramRun.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

// Earbuds that BlueZ gives no battery for, read from what they advertise:
// the real program on a fake BlueZ and a fake notification server.
class EarbudsTest : public QObject {
    Q_OBJECT

    static constexpr const char* budsAddress = "11:22:33:44:55:66";
    const QString adapter = QStringLiteral("/org/bluez/hci0");
    BluezMock m_bluez;
    QString m_buds;

    static QString readFile(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    // A paired proximity-pairing message of the model with product id
    // 0x2014: left primary, buds and case in tens.
    static QByteArray message(int left, int right, int caseLevel) {
        QByteArray value(27, '\0');
        const char head[] = {0x07, 0x19, 0x01, 0x14, 0x20, 0x20};
        std::copy(std::begin(head), std::end(head), value.begin());
        value[6] = char((right << 4) | left);
        value[7] = char(caseLevel);
        return value;
    }

    bool discovering() { return m_bluez.property(adapter, "org.bluez.Adapter1", "Discovering").toBool(); }

    QJsonObject budsStatus(const ProgramRun& voltwren) {
        QString out;
        if (voltwren.runToEnd({"status", "--json"}, &out) != 0)
            return {};
        for (const QJsonValue device : QJsonDocument::fromJson(out.toUtf8()).array()) {
            if (device.toObject().value("id").toString() == budsAddress)
                return device.toObject();
        }
        return {};
    }

    static QString components(const QJsonObject& device) {
        QStringList parts;
        for (const QJsonValue part : device.value("components").toArray())
            parts << part.toObject().value("id").toString() + "=" +
                         QString::number(part.toObject().value("percent").toInt(-1));
        return parts.join(' ');
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_bluez.isValid());
        QVERIFY(!m_bluez.addAdapter().isEmpty());
        m_buds = m_bluez.addDevice(budsAddress, "Pods Pro");
        QVERIFY(!m_buds.isEmpty());
        QVERIFY(m_bluez.setProperty(m_buds, "org.bluez.Device1", "Modalias",
                                    QString("bluetooth:v004Cp2014d0B20")));
        QVERIFY(m_bluez.setProperty(m_buds, "org.bluez.Device1", "Icon", QString("audio-headphones")));
        QVERIFY(m_bluez.connectDevice(budsAddress));
    }

    void nearAdvertGivesTheComponents() {
        PrivateBus session(QStringLiteral("session"));
        QVERIFY(session.isValid());
        QTemporaryDir folder;
        const QString notifyLog = folder.path() + "/notifications.log";
        DbusMock notifications(session, false, {"-t", "notification_daemon"}, "org.freedesktop.Notifications",
                               notifyLog);
        QVERIFY(notifications.isValid());
        ProgramRun voltwren(&m_bluez.bus(), &session);
        voltwren.writeDefaults(R"({"voltwren.threshold": 20, "voltwren.sendNotifications": true})");
        QVERIFY(voltwren.start());

        // The first poll finds no levels and discovers.
        QTRY_VERIFY_WITH_TIMEOUT(discovering(), 10000);
        const QString near = m_bluez.addDevice("7A:00:00:00:00:01", "");
        const QString neighbour = m_bluez.addDevice("7A:00:00:00:00:02", "");
        QVERIFY(m_bluez.advertise(near, 0x004C, message(1, 7, 5), -48));
        QVERIFY(m_bluez.advertise(neighbour, 0x004C, message(9, 9, 9), -66));
        QTRY_COMPARE_WITH_TIMEOUT(components(budsStatus(voltwren)), QString("left=10 right=70 case=50"),
                                  10000);
        QVERIFY(m_bluez.advertise(neighbour, 0x004C, message(9, 9, 8), -64));
        QTest::qWait(600);
        const QJsonObject buds = budsStatus(voltwren);
        QCOMPARE(components(buds), QString("left=10 right=70 case=50"));
        QCOMPARE(buds.value("percent").toInt(), 10);
        QCOMPARE(buds.value("kind").toString(), QString("airpodsPro"));

        // The burst ends by itself; the low bud was told once.
        QTRY_VERIFY_WITH_TIMEOUT(!discovering(), 10000);
        const QStringList calls = readFile(notifyLog).split('\n').filter(" Notify ");
        QCOMPARE(calls.size(), 1);
        QVERIFY2(calls[0].contains("\"Pods Pro is at 10%.\""), qPrintable(calls[0]));
        const QString log = voltwren.log();
        QVERIFY(log.contains("Advertised batteries: discovering for 5 s after a poll"));
        QVERIFY2(!log.contains("7A:00:00:00:00:02") && !log.contains("90%"), qPrintable(log));
        QCOMPARE(voltwren.stop(), 0);
    }

    void noDiscoveryWhileAudioPlays() {
        QVERIFY(m_bluez.addTransport(m_buds, "active"));
        PrivateBus session(QStringLiteral("session"));
        QVERIFY(session.isValid());
        ProgramRun voltwren(&m_bluez.bus(), &session);
        QVERIFY(voltwren.start());
        QTRY_VERIFY_WITH_TIMEOUT(
            voltwren.log().contains("Advertised batteries: not discovering while audio plays"), 10000);
        QVERIFY(!discovering());
        QVERIFY(!voltwren.log().contains("Advertised batteries: discovering"));
        QCOMPARE(voltwren.stop(), 0);
    }
};

QTEST_GUILESS_MAIN(EarbudsTest)
#include "tst_earbuds.moc"
