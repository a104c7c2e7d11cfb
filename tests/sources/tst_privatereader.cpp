#include "BluezMock.h"
#include "FakeExecutable.h"
#include "StdoutCapture.h"
#include "TestBundle.h"
#include "app/DiagnosticLog.h"
#include "sources/IOBluetoothPrivateBatteryReader.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace IOBluetoothPrivateBatteryReader;

namespace {

const QString address = QStringLiteral("AA:BB:CC:DD:EE:FF");
const QString prefix = QStringLiteral("IOBluetoothPrivateBatteryReader: ");

// "none", "single 87" or "multi 100 95 -" ("-" for an absent component).
QString describe(const std::optional<Reading>& reading) {
    if (!reading)
        return "none";
    if (const Single* single = std::get_if<Single>(&*reading))
        return "single " + QString::number(single->percent);
    const Multi& multi = std::get<Multi>(*reading);
    const auto text = [](const std::optional<qint64>& value) {
        return value ? QString::number(*value) : "-";
    };
    return "multi " + text(multi.left) + ' ' + text(multi.right) + ' ' + text(multi.caseLevel);
}

// The messages of the log, without their timestamps; a message may span lines.
QStringList logEntries() {
    QFile file(logFileURL());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QString text = QString::fromUtf8(file.readAll());
    static const QRegularExpression stamp(R"(^\[\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z\] )",
                                          QRegularExpression::MultilineOption);
    QStringList entries;
    qsizetype start = -1;
    for (const QRegularExpressionMatch& match : stamp.globalMatch(text)) {
        if (start >= 0)
            entries.append(text.mid(start, match.capturedStart() - start - 1));
        start = match.capturedEnd();
    }
    if (start >= 0)
        entries.append(text.mid(start).chopped(1));
    return entries;
}

} // namespace

class PrivateReaderTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_state;
    QTemporaryDir m_helpers;

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_state.isValid());
        QVERIFY(m_helpers.isValid());
        // The log folder is fixed on first use, so set it before anything logs.
        qputenv("XDG_STATE_HOME", QFile::encodeName(m_state.path()));
    }

    void init() {
        QFile::remove(logFileURL());
        QFile::remove(m_helpers.path() + "/Fenwright");
    }

    void replies_data() {
        QTest::addColumn<QByteArray>("output");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("reading");
        QTest::addColumn<QString>("entry");

        const QString single = prefix + address + " single ";
        const QString multi = prefix + address + " multi ";
        const QString unparseable = prefix + "unparseable output for " + address + ": ";
        const QString unparseableMulti = prefix + "unparseable multi output for " + address + ": ";
        const QString exited = prefix + "Fenwright exited %1 for " + address + " \u2014 no reading";

        QTest::newRow("single 87") << QByteArray("single:87\n") << 0 << "single 87" << single + "87%";
        QTest::newRow("multi, case absent")
            << QByteArray("multi:100,95,-1\n") << 0 << "multi 100 95 -" << multi + "L=100 R=95 Case=\u2014";
        QTest::newRow("multi, only the case")
            << QByteArray("multi:-1,-1,40\n") << 0 << "multi - - 40" << multi + "L=\u2014 R=\u2014 Case=40";
        QTest::newRow("multi, two pieces")
            << QByteArray("multi:100,95\n") << 0 << "none" << unparseableMulti + "\"multi:100,95\"";
        QTest::newRow("multi, four pieces")
            << QByteArray("multi:1,2,3,4\n") << 0 << "none" << unparseableMulti + "\"multi:1,2,3,4\"";
        QTest::newRow("multi, leading empty piece dropped")
            << QByteArray("multi:,100,95,40\n") << 0 << "multi 100 95 40" << multi + "L=100 R=95 Case=40";
        QTest::newRow("multi, consecutive and trailing commas")
            << QByteArray("multi:100,,95,,40,\n") << 0 << "multi 100 95 40" << multi + "L=100 R=95 Case=40";
        QTest::newRow("multi, piece without a value")
            << QByteArray("multi:x,95,40\n") << 0 << "multi - 95 40" << multi + "L=\u2014 R=95 Case=40";
        QTest::newRow("multi, pieces not trimmed")
            << QByteArray("multi:100, 95,40\n") << 0 << "multi 100 - 40" << multi + "L=100 R=\u2014 Case=40";
        QTest::newRow("multi, -1 and what is no charge are absent")
            << QByteArray("multi:+7,-2,0\n") << 0 << "multi 7 - 0" << multi + "L=7 R=\u2014 Case=0";
        QTest::newRow("multi, 101 is no charge") << QByteArray("multi:100,101,-1\n") << 0 << "multi 100 - -"
                                                 << multi + "L=100 R=\u2014 Case=\u2014";
        QTest::newRow("multi, all absent") << QByteArray("multi:-1,-1,-1\n") << 0 << "multi - - -"
                                           << multi + "L=\u2014 R=\u2014 Case=\u2014";
        QTest::newRow("multi, nothing after it")
            << QByteArray("multi:\n") << 0 << "none" << unparseableMulti + "\"multi:\"";
        QTest::newRow("multi, commas only")
            << QByteArray("multi:,,,\n") << 0 << "none" << unparseableMulti + "\"multi:,,,\"";
        QTest::newRow("single, nothing after it")
            << QByteArray("single:\n") << 0 << "none" << unparseable + "\"single:\"";
        QTest::newRow("single, not a number")
            << QByteArray("single:abc\n") << 0 << "none" << unparseable + "\"single:abc\"";
        QTest::newRow("single, inner space")
            << QByteArray("single: 87\n") << 0 << "none" << unparseable + "\"single: 87\"";
        QTest::newRow("single, percent sign")
            << QByteArray("single:87%\n") << 0 << "none" << unparseable + "\"single:87%\"";
        QTest::newRow("single, beyond 64 bits") << QByteArray("single:9223372036854775808") << 0 << "none"
                                                << unparseable + "\"single:9223372036854775808\"";
        QTest::newRow("single, largest 64-bit is no charge")
            << QByteArray("single:9223372036854775807") << 0 << "none"
            << unparseable + "\"single:9223372036854775807\"";
        QTest::newRow("single -1 is no charge")
            << QByteArray("single:-1\n") << 0 << "none" << unparseable + "\"single:-1\"";
        QTest::newRow("single 250 is no charge")
            << QByteArray("single:250\n") << 0 << "none" << unparseable + "\"single:250\"";
        QTest::newRow("single 0 is a charge") << QByteArray("single:0\n") << 0 << "single 0" << single + "0%";
        QTest::newRow("single, plus sign")
            << QByteArray("single:+87\n") << 0 << "single 87" << single + "87%";
        QTest::newRow("tag is case-sensitive")
            << QByteArray("SINGLE:87\n") << 0 << "none" << unparseable + "\"SINGLE:87\"";
        QTest::newRow("empty output") << QByteArray() << 0 << "none" << unparseable + "\"\"";
        QTest::newRow("invalid UTF-8 is empty text")
            << QByteArray("single:87\xff\n") << 0 << "none" << unparseable + "\"\"";
        QTest::newRow("blank lines and spaces around")
            << QByteArray("\n\n  \tsingle:87 \r\n\n") << 0 << "single 87" << single + "87%";
        QTest::newRow("Unicode spaces around")
            << QByteArray("\u00a0multi:1,2,3\u2028") << 0 << "multi 1 2 3" << multi + "L=1 R=2 Case=3";
        QTest::newRow("two lines are one reply") << QByteArray("single:87\nmulti:1,2,3\n") << 0 << "none"
                                                 << unparseable + "\"single:87\nmulti:1,2,3\"";
        QTest::newRow("status 2") << QByteArray() << 2 << "none" << exited.arg(2);
        QTest::newRow("status 4, output discarded")
            << QByteArray("single:87\n") << 4 << "none" << exited.arg(4);
        QTest::newRow("status 1") << QByteArray("usage") << 1 << "none" << exited.arg(1);
    }
    void replies() {
        QFETCH(QByteArray, output);
        QFETCH(int, status);
        QFETCH(QString, reading);
        QFETCH(QString, entry);
        FakeExecutable::writeReplying(m_helpers.path(), "Fenwright", output, status);
        QCOMPARE(describe(readBattery(address, TestBundle(m_helpers.path()))), reading);
        QCOMPARE(logEntries(), QStringList{entry});
    }

    void addressIsTheOneArgument() {
        // Only an exact single argument gets a reply.
        FakeExecutable::write(m_helpers.path(), "Fenwright",
                              "[ \"$#\" = 1 ] && [ \"$1\" = ' aa-bb $HOME;*' ] && echo single:42");
        QCOMPARE(describe(readBattery(" aa-bb $HOME;*", TestBundle(m_helpers.path()))), QString("single 42"));
        QCOMPARE(logEntries(), QStringList{prefix + " aa-bb $HOME;* single 42%"});
    }

    void helperMissing() {
        QCOMPARE(describe(readBattery(address, TestBundle(m_helpers.path()))), QString("none"));
        QCOMPARE(logEntries(), QStringList{prefix + "Fenwright helper not found in app bundle"});
    }

    void helperLookedUpOnEveryCall() {
        const TestBundle bundle(m_helpers.path());
        QCOMPARE(describe(readBattery(address, bundle)), QString("none"));
        FakeExecutable::writeReplying(m_helpers.path(), "Fenwright", "single:5\n", 0);
        QCOMPARE(describe(readBattery(address, bundle)), QString("single 5"));
        QCOMPARE(logEntries(), (QStringList{prefix + "Fenwright helper not found in app bundle",
                                            prefix + address + " single 5%"}));
    }

    void helperCannotStart() {
        FakeExecutable::write(m_helpers.path(), "Fenwright", "echo single:87", false);
        QCOMPARE(describe(readBattery(address, TestBundle(m_helpers.path()))), QString("none"));
        const QStringList entries = logEntries();
        QCOMPARE(entries.size(), 1);
        const QString launchFailure = prefix + "failed to launch Fenwright for " + address + ": ";
        QVERIFY2(entries[0].startsWith(launchFailure), qPrintable(entries[0]));
        // The platform's reason follows.
        QVERIFY2(entries[0].size() > launchFailure.size(), qPrintable(entries[0]));
    }

    void helperNeverExits() {
        FakeExecutable::write(m_helpers.path(), "Fenwright", "echo single:87; exec sleep 30");
        StdoutCapture out;
        QCOMPARE(describe(readBattery(address, TestBundle(m_helpers.path()), std::chrono::milliseconds(300))),
                 QString("none"));
        QCOMPARE(logEntries(),
                 QStringList{prefix + "Fenwright timed out for " + address + " \u2014 no reading"});
        QCOMPARE(out.lines(), QStringList{"Voltwren [debug]: Fenwright timed out after 300 ms"});
    }

    void stagedHelperAgainstBluez_data() {
        QTest::addColumn<QString>("asked");
        QTest::addColumn<QString>("reading");
        QTest::addColumn<QString>("entry");
        QTest::newRow("battery 87") << "A0:B1:C2:D3:E4:F5"
                                    << "single 87" << prefix + "A0:B1:C2:D3:E4:F5 single 87%";
        QTest::newRow("written with dashes") << "a0-b1-c2-d3-e4-f5"
                                             << "single 87" << prefix + "a0-b1-c2-d3-e4-f5 single 87%";
        QTest::newRow("unknown address")
            << "00:00:00:00:00:01"
            << "none" << prefix + "Fenwright exited 2 for 00:00:00:00:00:01 \u2014 no reading";
    }
    void stagedHelperAgainstBluez() {
        QFETCH(QString, asked);
        QFETCH(QString, reading);
        QFETCH(QString, entry);
        BluezMock bluez;
        QVERIFY2(bluez.isValid(), "python3-dbusmock's bluez5 template did not start");
        QVERIFY(!bluez.addAdapter().isEmpty());
        const QString path = bluez.addDevice("A0:B1:C2:D3:E4:F5", "Desk Mouse");
        QVERIFY(bluez.addBattery(path, 87));

        // The helper inherits this process's environment.
        const QByteArray saved = qgetenv("DBUS_SYSTEM_BUS_ADDRESS");
        const bool hadSaved = qEnvironmentVariableIsSet("DBUS_SYSTEM_BUS_ADDRESS");
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", bluez.bus().address().toUtf8());
        const std::optional<Reading> result = readBattery(asked, TestBundle(VOLTWREN_STAGE_LIBEXECDIR));
        if (hadSaved)
            qputenv("DBUS_SYSTEM_BUS_ADDRESS", saved);
        else
            qunsetenv("DBUS_SYSTEM_BUS_ADDRESS");

        QCOMPARE(describe(result), reading);
        QCOMPARE(logEntries(), QStringList{entry});
    }
};

QTEST_GUILESS_MAIN(PrivateReaderTest)
#include "tst_privatereader.moc"
