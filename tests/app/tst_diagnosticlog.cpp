#include "StdoutCapture.h"
#include "TestBundle.h"
#include "app/DiagnosticLog.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <thread>

class DiagnosticLogTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_home;

    QByteArray readLog() const {
        QFile file(logFileURL());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    void writeLog(const QByteArray& contents) const {
        QFile file(logFileURL());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(contents);
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_home.isValid());
        // The folder is fixed on first use, so set it before anything logs.
        qputenv("XDG_STATE_HOME", QFile::encodeName(m_home.path() + "/state/deeper"));
    }

    void folderFollowsXdgStateHome() {
        QCOMPARE(logDirectoryURL(), m_home.path() + "/state/deeper/app.voltwren.Voltwren");
        QCOMPARE(logFileURL(), logDirectoryURL() + "/Voltwren.log");
    }

    void firstCallCreatesFolderChainAndOneLine() {
        QVERIFY(!QDir(m_home.path() + "/state").exists());
        diagnosticLog("first line");
        const QByteArray contents = readLog();
        static const QRegularExpression line(R"(^\[\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z\] first line\n$)");
        QVERIFY2(line.match(QString::fromUtf8(contents)).hasMatch(), contents.constData());
    }

    void multiLineMessageIsWrittenUnchanged() {
        writeLog({});
        diagnosticLog("Device: Desk Mouse\n  Address: AA\n  Minor Type: Mouse \u2014 ok");
        const QString contents = QString::fromUtf8(readLog());
        QVERIFY(contents.endsWith("] Device: Desk Mouse\n  Address: AA\n  Minor Type: Mouse \u2014 ok\n"));
        QCOMPARE(contents.count('\n'), 3);
    }

    void trimBoundary_data() {
        QTest::addColumn<int>("existingSize");
        QTest::addColumn<bool>("trimmed");
        QTest::newRow("exactly 1,000,000 kept") << 1'000'000 << false;
        QTest::newRow("1,000,001 cut") << 1'000'001 << true;
        QTest::newRow("far larger cut") << 3'000'000 << true;
    }
    void trimBoundary() {
        QFETCH(int, existingSize);
        QFETCH(bool, trimmed);
        QByteArray existing(existingSize, 'x');
        for (int i = 0; i < existingSize; i += 997)
            existing[i] = static_cast<char>('a' + (i / 997) % 26);
        writeLog(existing);

        diagnosticLog("after");
        const QByteArray contents = readLog();
        const QByteArray kept = trimmed ? existing.right(500'000) : existing;
        QVERIFY(contents.startsWith(kept));
        QVERIFY(contents.mid(kept.size()).endsWith("] after\n"));
        QCOMPARE(contents.size(), kept.size() + QByteArray("[2026-12-06T08:41:09.123Z] after\n").size());
    }

    void twoThreadsWriteWholeLines() {
        writeLog({});
        constexpr int perThread = 500;
        auto writer = [](char tag) {
            for (int i = 0; i < perThread; ++i)
                diagnosticLog(QStringLiteral("%1-%2-%3").arg(QChar(tag)).arg(i).arg(QString(40, QChar(tag))));
        };
        std::thread a(writer, 'a');
        std::thread b(writer, 'b');
        a.join();
        b.join();

        const QStringList lines = QString::fromUtf8(readLog()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 2 * perThread);
        static const QRegularExpression whole(R"(^\[[^\]]+Z\] ([ab])-(\d+)-\1{40}$)");
        int nextA = 0;
        int nextB = 0;
        for (const QString& line : lines) {
            const QRegularExpressionMatch match = whole.match(line);
            QVERIFY2(match.hasMatch(), qPrintable(line));
            // Each thread's own lines keep their order.
            int& next = match.captured(1) == "a" ? nextA : nextB;
            QCOMPARE(match.captured(2).toInt(), next);
            ++next;
        }
    }

    void startupLine_data() {
        QTest::addColumn<bool>("withInfo");
        QTest::addColumn<QString>("expected");
        QTest::newRow("with info values") << true << "Voltwren, version 2.1 started";
        QTest::newRow("without info values") << false << "Voltwren, version unknown started";
    }
    void startupLine() {
        QFETCH(bool, withInfo);
        QFETCH(QString, expected);
        TestBundle bundle;
        if (withInfo) {
            bundle.info.insert("CFBundleName", "Voltwren");
            bundle.info.insert("CFBundleShortVersionString", "2.1");
        }
        writeLog({});
        logStartupLine(bundle);
        QVERIFY(QString::fromUtf8(readLog()).endsWith("] " + expected + "\n"));
    }

    // Last: it replaces the log folder with a plain file.
    void folderThatCannotBeCreated() {
        QVERIFY(QDir(logDirectoryURL()).removeRecursively());
        QFile blocker(logDirectoryURL());
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.write("not a folder");
        blocker.close();

        StdoutCapture err(2);
        diagnosticLog("lost line");
        diagnosticLog("lost again");
        const QStringList lines = err.lines();
        QCOMPARE(lines.size(), 2);
        for (const QString& line : lines)
            QVERIFY2(line.startsWith("Voltwren: failed to create log directory: ") &&
                         line.size() > QString("Voltwren: failed to create log directory: ").size(),
                     qPrintable(line));

        QVERIFY(blocker.open(QIODevice::ReadOnly));
        QCOMPARE(blocker.readAll(), QByteArray("not a folder"));
    }
};

QTEST_GUILESS_MAIN(DiagnosticLogTest)
#include "tst_diagnosticlog.moc"
