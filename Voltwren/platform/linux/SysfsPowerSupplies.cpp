#include "SysfsPowerSupplies.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Sysfs attributes are at most one page.
constexpr qsizetype maxAttributeSize = 4096;

std::optional<QString> canonical(const QString& path) {
    char resolved[PATH_MAX];
    if (!realpath(QFile::encodeName(path).constData(), resolved))
        return std::nullopt;
    return QFile::decodeName(resolved);
}

bool inside(const QString& path, const QString& tree) {
    return path == tree || path.startsWith(tree == QLatin1String("/") ? tree : tree + QLatin1Char('/'));
}

// Six hexadecimal pairs joined by ":" as bytes in written order; empty otherwise.
QByteArray addressBytes(QStringView text) {
    static const QRegularExpression pattern(QStringLiteral("^[0-9A-Fa-f]{2}(:[0-9A-Fa-f]{2}){5}$"));
    if (!pattern.match(text).hasMatch())
        return {};
    QByteArray bytes;
    for (qsizetype i = 0; i < text.size(); i += 3)
        bytes.append(char(text.mid(i, 2).toUInt(nullptr, 16)));
    return bytes;
}

} // namespace

SysfsPowerSupplies::SysfsPowerSupplies(QString root)
    : m_root(std::move(root)) {
    m_allowedTree = canonical(m_root + QStringLiteral("/../..")).value_or(QString());
}

int SysfsPowerSupplies::entryFolders(QList<std::pair<QString, QString>>& folders) const {
    DIR* dir = opendir(QFile::encodeName(m_root).constData());
    if (!dir)
        return errno == ENOENT ? 0 : errno; // no power-supply class: nothing to report
    QStringList names;
    while (const dirent* item = readdir(dir)) {
        const QString name = QFile::decodeName(item->d_name);
        if (name != QLatin1String(".") && name != QLatin1String(".."))
            names << name;
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    for (const QString& name : std::as_const(names)) {
        const std::optional<QString> folder = canonical(m_root + QLatin1Char('/') + name);
        struct stat info;
        if (folder && !m_allowedTree.isEmpty() && inside(*folder, m_allowedTree) &&
            stat(QFile::encodeName(*folder).constData(), &info) == 0 && S_ISDIR(info.st_mode))
            folders.append({name, *folder});
        else
            folders.append({name, QString()}); // still an entry, but nothing is read from it
    }
    return 0;
}

std::optional<QString> SysfsPowerSupplies::attribute(const QString& folder, const QString& name) const {
    if (folder.isEmpty())
        return std::nullopt;
    const std::optional<QString> path = canonical(folder + QLatin1Char('/') + name);
    if (!path || !inside(*path, m_allowedTree))
        return std::nullopt;
    // Non-blocking so that a FIFO planted in the tree cannot hang the read.
    const int fd = open(QFile::encodeName(*path).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return std::nullopt;
    struct stat info;
    QByteArray bytes;
    bool ok = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    while (ok) {
        char buffer[1024];
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = n == 0; // ENODATA, EIO, EAGAIN: the attribute is not available now
            break;
        }
        bytes.append(buffer, n);
        ok = bytes.size() <= maxAttributeSize;
    }
    close(fd);
    if (!ok)
        return std::nullopt;
    return QString::fromUtf8(bytes).trimmed();
}

std::optional<qint64> SysfsPowerSupplies::integerAttribute(const QString& folder, const QString& name) const {
    const std::optional<QString> text = attribute(folder, name);
    bool ok = false;
    const qint64 value = text ? text->toLongLong(&ok) : 0;
    return ok ? std::optional<qint64>(value) : std::nullopt;
}

QByteArray SysfsPowerSupplies::address(const QString& folder, const QString& entryName) const {
    if (const std::optional<QString> uevent = attribute(folder, QStringLiteral("device/uevent"))) {
        for (const QString& line : uevent->split(QLatin1Char('\n'))) {
            if (line.startsWith(QLatin1String("HID_UNIQ="))) {
                const QByteArray bytes = addressBytes(QStringView(line).mid(9).trimmed());
                if (!bytes.isEmpty())
                    return bytes;
            }
        }
    }
    // hid-<address>-battery, ps-controller-battery-<address>, …
    static const QRegularExpression embedded(
        QStringLiteral("(?:^|[-_])([0-9A-Fa-f]{2}(?::[0-9A-Fa-f]{2}){5})(?=$|[-_])"));
    const QRegularExpressionMatch match = embedded.match(entryName);
    return match.hasMatch() ? addressBytes(match.capturedView(1)) : QByteArray();
}

int SysfsPowerSupplies::registryEntries(QList<RegistryEntry>& entries) const {
    QList<std::pair<QString, QString>> folders;
    if (const int error = entryFolders(folders))
        return error;
    for (const auto& [name, folder] : std::as_const(folders)) {
        RegistryEntry entry;
        if (attribute(folder, QStringLiteral("scope")) == QLatin1String("Device")) {
            if (const std::optional<qint64> capacity = integerAttribute(folder, QStringLiteral("capacity")))
                entry.batteryPercent = *capacity;
            if (const std::optional<QString> model = attribute(folder, QStringLiteral("model_name"));
                model && !model->isEmpty())
                entry.product = *model;
            if (const QByteArray bytes = address(folder, name); !bytes.isEmpty())
                entry.bdAddr = bytes;
        }
        entries.append(entry);
    }
    return 0;
}

QList<QVariantMap> SysfsPowerSupplies::powerSourceDescriptions() const {
    QList<std::pair<QString, QString>> folders;
    if (entryFolders(folders) != 0)
        return {};
    QList<QVariantMap> descriptions;
    for (const auto& [name, folder] : std::as_const(folders)) {
        QVariantMap description;
        const std::optional<QString> type = attribute(folder, QStringLiteral("type"));
        const std::optional<QString> scope = attribute(folder, QStringLiteral("scope"));
        const bool internal =
            type == QLatin1String("Battery") && (!scope || scope == QLatin1String("System"));
        if (internal) {
            description.insert(QStringLiteral("Transport Type"), QStringLiteral("Internal"));
            // Energy, else charge, else the kernel's own percentage.
            static const char* const pairs[][2] = {{"energy_now", "energy_full"},
                                                   {"charge_now", "charge_full"}};
            std::optional<qint64> current, maximum;
            for (const auto& pair : pairs) {
                current = integerAttribute(folder, QLatin1String(pair[0]));
                maximum = integerAttribute(folder, QLatin1String(pair[1]));
                if (current && maximum)
                    break;
            }
            if (!current || !maximum) {
                current = integerAttribute(folder, QStringLiteral("capacity"));
                maximum = current ? std::optional<qint64>(100) : std::nullopt;
            }
            if (current && maximum) {
                description.insert(QStringLiteral("Current Capacity"), *current);
                description.insert(QStringLiteral("Max Capacity"), *maximum);
            }
        } else if (scope == QLatin1String("Device")) {
            description.insert(QStringLiteral("Transport Type"), QStringLiteral("Device"));
        } else if (type) {
            description.insert(QStringLiteral("Transport Type"), *type);
        }
        descriptions.append(description);
    }
    return descriptions;
}

const PowerSupplies& systemPowerSupplies() {
    static const SysfsPowerSupplies supplies;
    return supplies;
}
