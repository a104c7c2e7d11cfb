#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <chrono>

// Runs one program to completion on the calling (background) thread: an
// explicit executable and argument list, no shell; standard output read to
// its end; standard error discarded so it can never stall the child; and a
// bounded wait, after which the child is killed.
class ChildProcess {
public:
    static constexpr std::chrono::milliseconds defaultTimeout{10'000};

    struct Result {
        enum class Outcome { exited, failedToStart, timedOut };
        Outcome outcome = Outcome::failedToStart;
        // The exit status, or the signal number when the child was killed by one.
        int status = -1;
        QByteArray standardOutput;
        // Why the child could not be started.
        QString errorDescription;

        bool succeeded() const { return outcome == Outcome::exited && status == 0; }
    };

    // A timed-out run prints "Voltwren [debug]: <program> timed out after N ms".
    static Result run(const QString& program, const QStringList& arguments,
                      std::chrono::milliseconds timeout = defaultTimeout);
};
