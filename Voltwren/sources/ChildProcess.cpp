#include "ChildProcess.h"

#include "app/Console.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QProcess>

ChildProcess::Result ChildProcess::run(const QString& program, const QStringList& arguments,
                                       std::chrono::milliseconds timeout) {
    Result result;
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.setProcessChannelMode(QProcess::SeparateChannels);

    const QDeadlineTimer deadline(timeout);
    process.start(QIODevice::ReadOnly);
    if (!process.waitForStarted(static_cast<int>(std::max<qint64>(deadline.remainingTime(), 1)))) {
        result.outcome = Result::Outcome::failedToStart;
        result.errorDescription = process.errorString();
        return result;
    }

    // Drain standard output while waiting so a chatty child never blocks on a full pipe.
    while (process.state() != QProcess::NotRunning) {
        const qint64 remaining = deadline.remainingTime();
        if (remaining == 0) {
            process.kill();
            process.waitForFinished(1000);
            result.outcome = Result::Outcome::timedOut;
            Console::printLine(QStringLiteral("Voltwren [debug]: %1 timed out after %2 ms")
                                   .arg(QFileInfo(program).fileName())
                                   .arg(timeout.count()));
            return result;
        }
        process.waitForFinished(static_cast<int>(std::min<qint64>(remaining, 100)));
        result.standardOutput += process.readAllStandardOutput();
    }
    result.standardOutput += process.readAllStandardOutput();
    result.outcome = Result::Outcome::exited;
    result.status = process.exitCode();
    return result;
}
