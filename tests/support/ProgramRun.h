#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

class PrivateBus;

// One run of a Voltwren program (the staged one unless told otherwise) on
// private buses, with a home, settings and log folders of its own.
class ProgramRun {
public:
    static QString stagedProgram();

    // Without a DISPLAY the program runs offscreen; with one, under xcb.
    ProgramRun(const PrivateBus* systemBus, const PrivateBus* sessionBus, const QString& display = {});
    ~ProgramRun();
    ProgramRun(const ProgramRun&) = delete;
    ProgramRun& operator=(const ProgramRun&) = delete;

    QProcessEnvironment environment;
    QString program = stagedProgram();

    QString home() const { return m_home.path(); }
    QString defaultsPath() const;
    QString logPath() const;
    void writeDefaults(const QByteArray& json) const;

    bool start(const QStringList& arguments = {});
    qint64 processId() const { return m_process->processId(); }
    // Everything the program printed so far, both channels.
    QString output();
    bool waitForOutput(const QString& text, int timeoutMs = 15000);
    QString log() const;
    // SIGTERM, bounded; the exit code, or -1 when it did not end normally.
    int stop();

    // Runs PROGRAM with ARGUMENTS in the same environment to its end
    // (bounded); its exit code, or -1. Output lands in OUTPUT, and standard
    // error in ERRORS when given (else in OUTPUT too).
    int runToEnd(const QStringList& arguments, QString* output = nullptr, QString* errors = nullptr,
                 int timeoutMs = 20000) const;
    // The same, started but not waited for: for commands that run on.
    std::unique_ptr<QProcess> startSeparately(const QStringList& arguments) const;

private:
    QTemporaryDir m_home;
    std::unique_ptr<QProcess> m_process;
    QString m_output;
};
