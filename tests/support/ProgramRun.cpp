#include "ProgramRun.h"

#include "PrivateBus.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>

QString ProgramRun::stagedProgram() {
    return QStringLiteral(VOLTWREN_STAGE_DIR "/bin/voltwren");
}

ProgramRun::ProgramRun(const PrivateBus* systemBus, const PrivateBus* sessionBus, const QString& display)
    : environment(environmentWithBuses(systemBus, sessionBus))
    , m_process(std::make_unique<QProcess>()) {
    environment.insert(QStringLiteral("HOME"), home());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home() + QStringLiteral("/config"));
    environment.insert(QStringLiteral("XDG_STATE_HOME"), home() + QStringLiteral("/state"));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), home() + QStringLiteral("/runtime"));
    QDir().mkpath(home() + QStringLiteral("/runtime"));
    QFile::setPermissions(home() + QStringLiteral("/runtime"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // No update checks reach out from a test.
    environment.insert(QStringLiteral("VOLTWREN_UPDATE_FEED_URL"), QString());
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    if (display.isEmpty()) {
        environment.remove(QStringLiteral("DISPLAY"));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    } else {
        environment.insert(QStringLiteral("DISPLAY"), display);
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    }
    m_process->setProcessChannelMode(QProcess::MergedChannels);
}

ProgramRun::~ProgramRun() {
    if (m_process->state() != QProcess::NotRunning) {
        m_process->kill();
        m_process->waitForFinished(5000);
    }
}

QString ProgramRun::defaultsPath() const {
    return home() + QStringLiteral("/config/app.voltwren.Voltwren/defaults.json");
}

QString ProgramRun::logPath() const {
    return home() + QStringLiteral("/state/app.voltwren.Voltwren/Voltwren.log");
}

void ProgramRun::writeDefaults(const QByteArray& json) const {
    QDir().mkpath(home() + QStringLiteral("/config/app.voltwren.Voltwren"));
    QFile file(defaultsPath());
    if (file.open(QIODevice::WriteOnly))
        file.write(json);
}

bool ProgramRun::start(const QStringList& arguments) {
    m_process->setProcessEnvironment(environment);
    m_process->start(program, arguments);
    return m_process->waitForStarted(10000);
}

QString ProgramRun::output() {
    m_output += QString::fromUtf8(m_process->readAll());
    return m_output;
}

bool ProgramRun::waitForOutput(const QString& text, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    while (!output().contains(text)) {
        if (deadline.hasExpired() || m_process->state() == QProcess::NotRunning)
            return output().contains(text);
        m_process->waitForReadyRead(100);
    }
    return true;
}

QString ProgramRun::log() const {
    QFile file(logPath());
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

int ProgramRun::stop() {
    if (m_process->state() != QProcess::NotRunning) {
        m_process->terminate();
        if (!m_process->waitForFinished(10000)) {
            m_process->kill();
            m_process->waitForFinished(5000);
        }
    }
    const int code = m_process->exitStatus() == QProcess::NormalExit ? m_process->exitCode() : -1;
    // What the program said last is what explains a bad end.
    if (code != 0)
        qWarning("%s ended with %d; its last output:\n%s", qPrintable(program), code,
                 qPrintable(output().right(6000)));
    return code;
}

int ProgramRun::runToEnd(const QStringList& arguments, QString* output, QString* errors,
                         int timeoutMs) const {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(errors ? QProcess::SeparateChannels : QProcess::MergedChannels);
    process.start(program, arguments);
    const bool finished = process.waitForStarted(10000) && process.waitForFinished(timeoutMs);
    if (!finished) {
        process.kill();
        process.waitForFinished(5000);
    }
    if (output)
        *output = QString::fromUtf8(process.readAllStandardOutput());
    if (errors)
        *errors = QString::fromUtf8(process.readAllStandardError());
    return finished && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

std::unique_ptr<QProcess> ProgramRun::startSeparately(const QStringList& arguments) const {
    auto process = std::make_unique<QProcess>();
    process->setProcessEnvironment(environment);
    process->start(program, arguments);
    process->waitForStarted(10000);
    return process;
}
