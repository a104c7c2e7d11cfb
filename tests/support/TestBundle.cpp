#include "TestBundle.h"

#include <QFileInfo>

std::optional<QString> TestBundle::infoString(const QString& key) const {
    if (!info.contains(key))
        return std::nullopt;
    return info.value(key);
}

std::optional<QString> TestBundle::auxiliaryExecutable(const QString& name) const {
    if (m_libexecDir.isEmpty())
        return std::nullopt;
    const QFileInfo file(m_libexecDir + QLatin1Char('/') + name);
    if (!file.isFile())
        return std::nullopt;
    return file.absoluteFilePath();
}
