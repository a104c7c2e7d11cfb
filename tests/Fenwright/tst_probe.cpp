#include "Probe.h"

#include <QMap>
#include <QTest>

namespace {

// Answers the selectors it was given; records every selector it is asked about.
class SubstituteDevice final : public ProbeDevice {
public:
    // Outlives the device, which the run destroys before it returns.
    explicit SubstituteDevice(QStringList* asked)
        : m_asked(asked) {}
    QMap<QString, int> bytes;

    bool supports(const QString& selector) const override {
        m_asked->append(selector);
        return bytes.contains(selector);
    }
    quint8 byteFor(const QString& selector) const override {
        return static_cast<quint8>(bytes.value(selector));
    }

private:
    QStringList* m_asked;
};

// "multi=1 left=100" -> isMultiBatteryDevice 1, batteryPercentLeft 100.
QMap<QString, int> bytesFrom(const QString& description) {
    static const QMap<QString, QString> selectors{
        {"multi", ProbeDevice::isMultiBatteryDevice}, {"single", ProbeDevice::batteryPercentSingle},
        {"left", ProbeDevice::batteryPercentLeft},    {"right", ProbeDevice::batteryPercentRight},
        {"case", ProbeDevice::batteryPercentCase},
    };
    QMap<QString, int> bytes;
    for (const QString& item : description.split(' ', Qt::SkipEmptyParts)) {
        const QStringList parts = item.split('=');
        if (parts.size() != 2 || !selectors.contains(parts[0]))
            qFatal("bad device description %s", qPrintable(item));
        bytes.insert(selectors.value(parts[0]), parts[1].toInt());
    }
    return bytes;
}

const QStringList singlePath{"isMultiBatteryDevice", "batteryPercentSingle"};
const QStringList multiPath{"isMultiBatteryDevice", "batteryPercentLeft", "batteryPercentRight",
                            "batteryPercentCase"};

} // namespace

class ProbeTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void device_data() {
        QTest::addColumn<QString>("device");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("output");
        QTest::addColumn<QStringList>("asked");

        QTest::newRow("no multi selector, single 87")
            << "single=87" << 0 << QByteArray("single:87\n") << singlePath;
        QTest::newRow("single lowest valid") << "single=1" << 0 << QByteArray("single:1\n") << singlePath;
        QTest::newRow("single highest valid")
            << "single=100" << 0 << QByteArray("single:100\n") << singlePath;
        QTest::newRow("single 0") << "single=0" << 4 << QByteArray() << singlePath;
        QTest::newRow("single 101") << "single=101" << 4 << QByteArray() << singlePath;
        QTest::newRow("single 255") << "single=255" << 4 << QByteArray() << singlePath;
        QTest::newRow("nothing supported") << "" << 4 << QByteArray() << singlePath;
        QTest::newRow("single path ignores earbuds")
            << "left=50 right=50 case=50" << 4 << QByteArray() << singlePath;
        QTest::newRow("multi false is the single path")
            << "multi=0 single=87 left=50 right=50 case=50" << 0 << QByteArray("single:87\n") << singlePath;
        QTest::newRow("multi any non-zero byte is true")
            << "multi=2 left=10 right=20 case=30" << 0 << QByteArray("multi:10,20,30\n") << multiPath;
        QTest::newRow("multi 255 is true")
            << "multi=255 case=7" << 0 << QByteArray("multi:-1,-1,7\n") << multiPath;
        QTest::newRow("multi case 0 unavailable")
            << "multi=1 left=100 right=95 case=0" << 0 << QByteArray("multi:100,95,-1\n") << multiPath;
        QTest::newRow("multi only case, earbuds out of range")
            << "multi=1 left=0 right=101 case=40" << 0 << QByteArray("multi:-1,-1,40\n") << multiPath;
        QTest::newRow("multi only case, earbuds unsupported")
            << "multi=1 case=40" << 0 << QByteArray("multi:-1,-1,40\n") << multiPath;
        QTest::newRow("multi only right")
            << "multi=1 left=255 right=1 case=101" << 0 << QByteArray("multi:-1,1,-1\n") << multiPath;
        QTest::newRow("multi all unavailable never falls back to single")
            << "multi=1 single=87 left=0 right=255" << 4 << QByteArray() << multiPath;
    }
    void device() {
        QFETCH(QString, device);
        QFETCH(int, status);
        QFETCH(QByteArray, output);
        QFETCH(QStringList, asked);

        QString lookedUp;
        QStringList actuallyAsked;
        const Probe::Outcome outcome = Probe::run({"AA:BB:CC:DD:EE:FF"}, [&](const QString& address) {
            lookedUp = address;
            auto substitute = std::make_unique<SubstituteDevice>(&actuallyAsked);
            substitute->bytes = bytesFrom(device);
            return substitute;
        });
        QCOMPARE(lookedUp, QString("AA:BB:CC:DD:EE:FF"));
        QCOMPARE(outcome.status, status);
        QCOMPARE(outcome.standardOutput, output);
        QCOMPARE(outcome.standardError, QByteArray());
        QCOMPARE(actuallyAsked, asked);
    }

    void noDeviceForTheAddress() {
        QString lookedUp;
        const Probe::Outcome outcome = Probe::run({" aa-bb "}, [&](const QString& address) {
            lookedUp = address;
            return std::unique_ptr<ProbeDevice>();
        });
        // Passed on exactly as given.
        QCOMPARE(lookedUp, QString(" aa-bb "));
        QCOMPARE(outcome, (Probe::Outcome{2, {}, {}}));
    }

    void wrongArgumentCount_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("none") << QStringList();
        QTest::newRow("two") << QStringList{"AA:BB:CC:DD:EE:FF", "AA:BB:CC:DD:EE:FF"};
        QTest::newRow("two, second empty") << QStringList{"AA:BB:CC:DD:EE:FF", ""};
        QTest::newRow("three") << QStringList{"a", "b", "c"};
    }
    void wrongArgumentCount() {
        QFETCH(QStringList, arguments);
        bool lookedUp = false;
        const Probe::Outcome outcome = Probe::run(arguments, [&](const QString&) {
            lookedUp = true;
            return std::unique_ptr<ProbeDevice>();
        });
        QVERIFY(!lookedUp);
        QCOMPARE(outcome, (Probe::Outcome{1, {}, QByteArray("usage: Fenwright <address>\n")}));
    }
};

QTEST_GUILESS_MAIN(ProbeTest)
#include "tst_probe.moc"
