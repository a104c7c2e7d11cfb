#include "BluezMock.h"
#include "PrivateBus.h"
#include "ProgramRun.h"
#include "platform/linux/SqliteChargeStore.h"

#include <QDBusMessage>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>

namespace {

constexpr qint64 hour = 3600 * 1000;
const QString mouseID = QStringLiteral("AA:BB:CC:DD:EE:01");

QString databasePath(const ProgramRun& run) {
    return run.home() + QStringLiteral("/state/app.voltwren.Voltwren/history.sqlite");
}

ChargePoint mouseAt(qint64 time, qint64 percent) {
    return ChargePoint{mouseID, QStringLiteral("Desk Mouse"), DeviceKind::mouse, time, percent, true};
}

// The mouse's entries in what `voltwren ARGUMENTS` prints as JSON.
QList<QJsonObject> mouseEntries(const ProgramRun& run, const QStringList& arguments) {
    QString out;
    QList<QJsonObject> found;
    if (run.runToEnd(arguments, &out) == 0) {
        for (const QJsonValue& value : QJsonDocument::fromJson(out.toUtf8()).array())
            if (value.toObject().value(QStringLiteral("id")).toString() == mouseID)
                found << value.toObject();
    }
    return found;
}

// `voltwren history --json`: the mouse's charges, oldest first.
QList<qint64> recordedCharges(const ProgramRun& run) {
    QList<qint64> charges;
    for (const QJsonObject& point : mouseEntries(run, {QStringLiteral("history"), QStringLiteral("--json")}))
        charges.append(point.value(QStringLiteral("percent")).toInteger(-1));
    return charges;
}

bool mapsLibrary(qint64 pid, const char* library) {
    QFile maps(QStringLiteral("/proc/%1/maps").arg(pid));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains(library);
}

bool callProgram(const PrivateBus& session, const QString& method) {
    const QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("app.voltwren.Voltwren"), QStringLiteral("/app/voltwren/Voltwren"),
        QStringLiteral("app.voltwren.Voltwren1"), method);
    return session.connection().call(call, QDBus::Block, 5000).type() == QDBusMessage::ReplyMessage;
}

} // namespace

// The record the real program keeps, as `voltwren history` and `status`
// show it: across restarts, pruned at 90 days, a damaged file moved aside.
class HistoryTest : public QObject {
    Q_OBJECT

    BluezMock m_bluez;
    QString m_mouse;

    bool setMousePercent(uchar percent) {
        return m_bluez.setProperty(m_mouse, "org.bluez.Battery1", "Percentage", QVariant::fromValue(percent));
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_bluez.isValid());
        QVERIFY(!m_bluez.addAdapter().isEmpty());
        m_mouse = m_bluez.addConnectedDevice(mouseID, "Desk Mouse", "input-mouse", 80);
        QVERIFY(!m_mouse.isEmpty());
    }

    void recordAcrossRestarts() {
        QVERIFY(setMousePercent(80));
        PrivateBus session(QStringLiteral("session"));
        QVERIFY(session.isValid());
        ProgramRun voltwren(&m_bluez.bus(), &session);
        // A reading from before the 90 days, and half a day of discharge.
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        {
            SqliteChargeStore seed(databasePath(voltwren), ChargeStore::Access::readWrite);
            QVERIFY(seed.open());
            QVERIFY(seed.append({mouseAt(now - 91 * 24 * hour, 40), mouseAt(now - 12 * hour, 100),
                                 mouseAt(now - 8 * hour, 95), mouseAt(now - 4 * hour, 90)}));
        }
        // Read while no program runs.
        QCOMPARE(recordedCharges(voltwren), (QList<qint64>{100, 95, 90}));
        QVERIFY(voltwren.start());
        QTRY_COMPARE_WITH_TIMEOUT(recordedCharges(voltwren), (QList<qint64>{100, 95, 90, 80}), 15000);
        // The reading from before the 90 days is gone from the file itself.
        {
            SqliteChargeStore file(databasePath(voltwren), ChargeStore::Access::readOnly);
            QList<qint64> kept;
            QVERIFY(file.open() &&
                    file.visit(0, [&kept](const ChargePoint& point) { kept << *point.percent; }));
            QCOMPARE(kept, (QList<qint64>{100, 95, 90, 80}));
        }

        // The estimate, from the record and the reading now.
        const QJsonObject mouse = mouseEntries(voltwren, {"status", "--json"}).value(0);
        QVERIFY2(mouse.value("secondsUntilThreshold").toInteger() > 0,
                 qPrintable(QJsonDocument(mouse).toJson()));
        QVERIFY(mouse.value("secondsUntilEmpty").toInteger() >
                mouse.value("secondsUntilThreshold").toInteger());

        // Qt Charts is loaded when the window opens, not before.
        QVERIFY(!mapsLibrary(voltwren.processId(), "libQt6Charts"));
        QVERIFY(callProgram(session, "ShowHistory"));
        QTRY_VERIFY_WITH_TIMEOUT(mapsLibrary(voltwren.processId(), "libQt6Charts"), 10000);
        QCOMPARE(voltwren.stop(), 0);

        // Started again with the same charge: nothing new to keep.
        QVERIFY(voltwren.start());
        QVERIFY(voltwren.waitForOutput("Refreshed battery states"));
        QVERIFY(setMousePercent(70));
        QVERIFY(callProgram(session, "Refresh"));
        QTRY_COMPARE_WITH_TIMEOUT(recordedCharges(voltwren), (QList<qint64>{100, 95, 90, 80, 70}), 15000);
        QCOMPARE(voltwren.stop(), 0);

        // The text form, of one device named in any case; a name that is not there.
        QString out;
        QString err;
        QCOMPARE(voltwren.runToEnd({"history", "desk MOUSE", "--days", "1"}, &out, &err), 0);
        QCOMPARE(out.count('\n'), 5);
        QVERIFY2(out.section('\n', 4, 4)
                     .contains(QRegularExpression("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d  Desk Mouse  70%$")),
                 qPrintable(out));
        QCOMPARE(voltwren.runToEnd({"history", "Desk Mice"}, &out, &err), 1);
        QVERIFY2(err.contains("no device named 'Desk Mice'"), qPrintable(err));

        // A damaged file is moved aside as it is, and the record starts afresh.
        QVERIFY(setMousePercent(64));
        const QString folder = QFileInfo(databasePath(voltwren)).absolutePath();
        for (const QString& journal : QDir(folder).entryList({"history.sqlite-*"}))
            QVERIFY(QFile::remove(folder + '/' + journal));
        const QByteArray garbage = QByteArray("this is no database\n").repeated(400);
        QFile file(databasePath(voltwren));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(garbage) == garbage.size());
        file.close();
        QVERIFY(voltwren.start());
        QTRY_VERIFY_WITH_TIMEOUT(voltwren.log().contains("; moved it to "), 15000);
        QTRY_COMPARE_WITH_TIMEOUT(recordedCharges(voltwren), QList<qint64>{64}, 15000);
        const QStringList aside = QDir(folder).entryList({"history.sqlite.corrupt-*"});
        QCOMPARE(aside.size(), 1);
        QFile kept(folder + '/' + aside.constFirst());
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), garbage);
        QCOMPARE(voltwren.stop(), 0);
    }
};

QTEST_GUILESS_MAIN(HistoryTest)
#include "tst_history.moc"
