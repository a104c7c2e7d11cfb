#include "DiagnosticLog.h"

#include "Console.h"
#include "platform/Bundle.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <utility>

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

bool writeAll(int fd, const QByteArray& bytes) {
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t count =
            ::write(fd, bytes.constData() + written, static_cast<size_t>(bytes.size() - written));
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return false;
        written += count;
    }
    return true;
}

// Only the kept tail is read, however large the file has grown.
void trimLogFileIfNeeded(int fd, qint64 size) {
    if (size <= DiagnosticLog::maximumSize)
        return;
    QByteArray kept(DiagnosticLog::trimmedSize, Qt::Uninitialized);
    if (::pread(fd, kept.data(), static_cast<size_t>(kept.size()), size - kept.size()) != kept.size())
        return;
    if (::ftruncate(fd, 0) == 0)
        writeAll(fd, kept);
}

// A FIFO or a device where the log should be is never written: it could
// stall every caller, or send the log where nobody expects it.
void sayNotRegularOnce(const QString& path) {
    static bool said = false; // under the log's lock
    if (std::exchange(said, true))
        return;
    Console::printErrorLine(QStringLiteral("Voltwren: not writing the log: ") + path +
                            QStringLiteral(" is not a regular file"));
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
    const QByteArray nativePath = QFile::encodeName(path);
    struct stat info {};
    if (::stat(nativePath.constData(), &info) == 0 && !S_ISREG(info.st_mode)) {
        sayNotRegularOnce(path);
        return;
    }
    // Non-blocking even so: it may have been swapped for a FIFO since.
    // Read as well as written: a trim keeps the file's tail.
    const int fd =
        ::open(nativePath.constData(), O_RDWR | O_APPEND | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0)
        return;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        trimLogFileIfNeeded(fd, info.st_size);
        writeAll(fd, line);
    } else {
        sayNotRegularOnce(path);
    }
    ::close(fd);
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
