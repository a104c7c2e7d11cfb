#include "LinuxLaunchLocationPlatform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sys/statvfs.h>
#include <system_error>

namespace {

constexpr int startTimeoutMs = 5000;
constexpr int finishTimeoutMs = 30000;

} // namespace

QString LinuxLaunchLocationPlatform::bundlePath() const {
    const QString exe = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    return QDir::cleanPath(QFileInfo(exe).absolutePath() + QStringLiteral("/.."));
}

std::optional<bool> LinuxLaunchLocationPlatform::isOnReadOnlyVolume(const QString& path) const {
    struct statvfs volume {};
    if (::statvfs(QFile::encodeName(path).constData(), &volume) != 0)
        return std::nullopt;
    return (volume.f_flag & ST_RDONLY) != 0;
}

int LinuxLaunchLocationPlatform::runModalAlert(const Alert& alert) {
    std::fprintf(stderr, "Voltwren: %s\n%s\n", qPrintable(alert.messageText),
                 qPrintable(alert.informativeText));
    std::fflush(stderr);
    return -1;
}

bool LinuxLaunchLocationPlatform::exists(const QString& path) const {
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

std::optional<QString> LinuxLaunchLocationPlatform::moveToTrash(const QString& path) {
    QFile file(path);
    if (!file.moveToTrash())
        return file.errorString();
    return std::nullopt;
}

std::optional<QString> LinuxLaunchLocationPlatform::copyRecursively(const QString& source,
                                                                    const QString& destination) {
    std::error_code error;
    std::filesystem::copy(
        QFile::encodeName(source).toStdString(), QFile::encodeName(destination).toStdString(),
        std::filesystem::copy_options::recursive | std::filesystem::copy_options::copy_symlinks, error);
    if (error)
        return QString::fromStdString(error.message());
    return std::nullopt;
}

bool LinuxLaunchLocationPlatform::runAndWait(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(program, arguments);
    if (!process.waitForStarted(startTimeoutMs))
        return false;
    if (!process.waitForFinished(finishTimeoutMs)) {
        process.kill();
        process.waitForFinished(startTimeoutMs);
    }
    return true;
}

bool LinuxLaunchLocationPlatform::startDetached(const QString& program, const QStringList& arguments) {
    return QProcess::startDetached(program, arguments);
}

void LinuxLaunchLocationPlatform::exit(int status) {
    std::exit(status);
}

LaunchLocationPlatform& launchLocationPlatform() {
    static LinuxLaunchLocationPlatform platform;
    return platform;
}
