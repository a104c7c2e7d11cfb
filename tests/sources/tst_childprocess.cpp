#include "FakeExecutable.h"
#include "StdoutCapture.h"
#include "sources/ChildProcess.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

using Outcome = ChildProcess::Result::Outcome;

class ChildProcessTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    void outcomes_data() {
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("output");
        QTest::newRow("success") << "printf 'single:87\\n'" << int(Outcome::exited) << 0
                                 << QByteArray("single:87\n");
        QTest::newRow("status kept") << "printf partial; exit 4" << int(Outcome::exited) << 4
                                     << QByteArray("partial");
        QTest::newRow("arguments passed verbatim, no shell")
            << "printf '%s|' \"$@\"" << int(Outcome::exited) << 0 << QByteArray("a b|$HOME|;|");
        QTest::newRow("standard error never mixed in")
            << "echo out; echo err >&2" << int(Outcome::exited) << 0 << QByteArray("out\n");
        QTest::newRow("no standard input")
            << "cat; echo done" << int(Outcome::exited) << 0 << QByteArray("done\n");
    }
    void outcomes() {
        QFETCH(QString, script);
        QFETCH(int, outcome);
        QFETCH(int, status);
        QFETCH(QByteArray, output);
        const QString program = FakeExecutable::write(m_dir.path(), "tool", script);
        const ChildProcess::Result result = ChildProcess::run(program, {"a b", "$HOME", ";"});
        QCOMPARE(int(result.outcome), outcome);
        QCOMPARE(result.status, status);
        QCOMPARE(result.standardOutput, output);
    }

    void largeOutputAndErrorFloodDoNotStall() {
        // 4 MiB on each channel: a child writing more than a pipe holds must still finish.
        const QString program = FakeExecutable::write(
            m_dir.path(), "chatty", "head -c 4194304 /dev/zero | tr '\\0' x; head -c 4194304 /dev/zero >&2");
        const ChildProcess::Result result = ChildProcess::run(program, {});
        QCOMPARE(int(result.outcome), int(Outcome::exited));
        QCOMPARE(result.standardOutput.size(), 4194304);
        QCOMPARE(result.standardOutput.count('x'), 4194304);
    }

    void cannotStart_data() {
        QTest::addColumn<bool>("exists");
        QTest::newRow("no run bit") << true;
        QTest::newRow("missing") << false;
    }
    void cannotStart() {
        QFETCH(bool, exists);
        QString program = m_dir.path() + "/missing";
        if (exists)
            program = FakeExecutable::write(m_dir.path(), "plain", "exit 0", false);
        const ChildProcess::Result result = ChildProcess::run(program, {});
        QCOMPARE(int(result.outcome), int(Outcome::failedToStart));
        QVERIFY(!result.errorDescription.isEmpty());
        QVERIFY(!result.succeeded());
    }

    void childThatNeverExitsIsKilled() {
        const QString program = FakeExecutable::write(m_dir.path(), "hang", "echo started; exec sleep 30");
        StdoutCapture out;
        QElapsedTimer clock;
        clock.start();
        const ChildProcess::Result result = ChildProcess::run(program, {}, std::chrono::milliseconds(300));
        QVERIFY(clock.elapsed() < 10000);
        QCOMPARE(int(result.outcome), int(Outcome::timedOut));
        QVERIFY(!result.succeeded());
        QCOMPARE(out.lines(), QStringList{"Voltwren [debug]: hang timed out after 300 ms"});
    }

    void killedBySignalReportsTheSignal() {
        const QString program = FakeExecutable::write(m_dir.path(), "crash", "kill -SEGV $$");
        const ChildProcess::Result result = ChildProcess::run(program, {});
        QCOMPARE(int(result.outcome), int(Outcome::exited));
        QCOMPARE(result.status, 11);
        QVERIFY(!result.succeeded());
    }
};

QTEST_GUILESS_MAIN(ChildProcessTest)
#include "tst_childprocess.moc"
