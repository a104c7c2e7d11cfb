#include "DiagnosticLog.h"

#include "Console.h"
#include "platform/Bundle.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <filesystem>
#include <mutex>
#include <system_error>

namespace {

std::atomic<bool> loggingEnabled{true};

std::mutex& logMutex() {
    // A function-local static is initialised exactly once, safely from any thread.
    static std::mutex mutex;
    return mutex;
}

QString computeLogDirectory() {
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    // The XDG spec says relative values are invalid and must be ignored.
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/state");
    return QDir::cleanPath(base) + QLatin1Char('/') + QLatin1String(Bundle::identifier);
}

void trimLogFileIfNeeded(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists() || info.size() <= DiagnosticLog::maximumSize)
        return;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QByteArray contents = file.readAll();
    file.close();
    if (contents.size() <= DiagnosticLog::maximumSize)
        return;
    const QByteArray kept = contents.right(DiagnosticLog::trimmedSize);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(kept);
}

} // namespace

QString logDirectoryURL() {
    static const QString directory = computeLogDirectory();
    return directory;
}

QString logFileURL() {
    static const QString file = logDirectoryURL() + QStringLiteral("/Voltwren.log");
    return file;
}

void diagnosticLog(const QString& message) {
    if (!loggingEnabled.load(std::memory_order_relaxed))
        return;
    const std::lock_guard<std::mutex> guard(logMutex());

    const QString timestamp = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
    const QByteArray line = (QLatin1Char('[') + timestamp + QStringLiteral("] ") + message).toUtf8() + '\n';

    std::error_code error;
    const std::filesystem::path directory(logDirectoryURL().toStdString());
    std::filesystem::create_directories(directory, error);
    if (error || !std::filesystem::is_directory(directory, error)) {
        const QString description = error ? QString::fromStdString(error.message())
                                          : QStringLiteral("a file that is not a folder stands in its place");
        Console::printErrorLine(QStringLiteral("Voltwren: failed to create log directory: ") + description);
        return;
    }

    const QString path = logFileURL();
    trimLogFileIfNeeded(path);

    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return;
    file.write(line);
}

void logStartupLine(const Bundle& bundle) {
    const QString name =
        bundle.infoString(QStringLiteral("CFBundleName")).value_or(QStringLiteral("Voltwren"));
    const QString version =
        bundle.infoString(QStringLiteral("CFBundleShortVersionString")).value_or(QStringLiteral("unknown"));
    diagnosticLog(name + QStringLiteral(", version ") + version + QStringLiteral(" started"));
}

void logStartupLine() {
    logStartupLine(mainBundle());
}

void DiagnosticLog::setEnabled(bool enabled) {
    loggingEnabled.store(enabled, std::memory_order_relaxed);
}
