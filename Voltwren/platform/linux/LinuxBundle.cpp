#include "LinuxBundle.h"

#include <QDir>
#include <QFileInfo>

LinuxBundle::LinuxBundle(QString libexecDir, QString launcher)
    : m_libexecDir(std::move(libexecDir))
    , m_launcher(std::move(launcher)) {}

LinuxBundle LinuxBundle::forExecutable(const QString& executable) {
    const QString folder = QFileInfo(executable).absolutePath();
    // A program in libexec/voltwren (the tray program) has its siblings
    // beside it and the launcher in bin.
    if (QFileInfo(folder).fileName() == QLatin1String("voltwren") &&
        QFileInfo(folder + QStringLiteral("/voltwren-tray")).isFile() &&
        !QFileInfo(folder + QLatin1Char('/') + QStringLiteral(VOLTWREN_LIBEXEC_FROM_BIN)).isDir())
        return LinuxBundle(folder, QDir::cleanPath(folder + QLatin1Char('/') +
                                                   QStringLiteral(VOLTWREN_BIN_FROM_LIBEXEC "/voltwren")));
    return LinuxBundle(QDir::cleanPath(folder + QLatin1Char('/') + QStringLiteral(VOLTWREN_LIBEXEC_FROM_BIN)),
                       executable);
}

LinuxBundle LinuxBundle::forRunningExecutable() {
    // /proc/self/exe works without a QCoreApplication and from any thread.
    return forExecutable(QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath());
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

std::optional<QString> LinuxBundle::dataFile(const QString& relative) const {
    const QFileInfo info(QFileInfo(m_launcher).absolutePath() +
                         QStringLiteral("/" VOLTWREN_DATA_FROM_BIN "/") + relative);
    if (!info.isFile())
        return std::nullopt;
    return QDir::cleanPath(info.absoluteFilePath());
}

std::optional<QString> LinuxBundle::auxiliaryModule(const QString& name) const {
    return auxiliaryExecutable(name);
}

const Bundle& mainBundle() {
    static const LinuxBundle bundle = LinuxBundle::forRunningExecutable();
    return bundle;
}
