#include "LinuxBundle.h"

#include <QDir>
#include <QFileInfo>

LinuxBundle::LinuxBundle(QString libexecDir)
    : m_libexecDir(std::move(libexecDir)) {}

LinuxBundle LinuxBundle::forRunningExecutable() {
    // /proc/self/exe works without a QCoreApplication and from any thread.
    const QString exe = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    const QString binDir = QFileInfo(exe).absolutePath();
    return LinuxBundle(
        QDir::cleanPath(binDir + QLatin1Char('/') + QStringLiteral(VOLTWREN_LIBEXEC_FROM_BIN)));
}

std::optional<QString> LinuxBundle::infoString(const QString& key) const {
    if (key == QLatin1String("CFBundleName"))
        return QStringLiteral("Voltwren");
    if (key == QLatin1String("CFBundleShortVersionString"))
        return QStringLiteral(VOLTWREN_VERSION);
    return std::nullopt;
}

std::optional<QString> LinuxBundle::auxiliaryExecutable(const QString& name) const {
    if (name.isEmpty() || name.contains(QLatin1Char('/')))
        return std::nullopt;
    const QFileInfo info(m_libexecDir + QLatin1Char('/') + name);
    if (!info.isFile())
        return std::nullopt;
    return info.absoluteFilePath();
}

const Bundle& mainBundle() {
    static const LinuxBundle bundle = LinuxBundle::forRunningExecutable();
    return bundle;
}
