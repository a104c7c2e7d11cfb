#include "SysfsPowerSupplies.h"

#include <QDir>
#include <QFile>

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
constexpr qsizetype maxInputDevices = 16;
constexpr int maxWirelessStatusLevels = 4;

std::optional<QString> canonical(const QString& path) {
    char resolved[PATH_MAX];
    if (!realpath(QFile::encodeName(path).constData(), resolved))
        return std::nullopt;
    return QFile::decodeName(resolved);
}

bool inside(const QString& path, const QString& tree) {
    return path == tree || path.startsWith(tree == QLatin1String("/") ? tree : tree + QLatin1Char('/'));
}

constexpr qsizetype addressLength = 17; // "AA:BB:CC:DD:EE:FF"

int hexValue(QChar c) {
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if ((u | 0x20) >= 'a' && (u | 0x20) <= 'f')
        return (u | 0x20) - 'a' + 10;
    return -1;
}

// Six hexadecimal pairs joined by ":" as bytes in written order; empty
// otherwise. (Plain code, not a regular expression: the expression engine
// would stay in memory for the whole run.)
QByteArray addressBytes(QStringView text) {
    if (text.size() != addressLength)
        return {};
    QByteArray bytes;
    for (qsizetype i = 0; i < addressLength; i += 3) {
        if (i > 0 && text[i - 1] != QLatin1Char(':'))
            return {};
        const int high = hexValue(text[i]);
        const int low = hexValue(text[i + 1]);
        if (high < 0 || low < 0)
            return {};
        bytes.append(char(high * 16 + low));
    }
    return bytes;
}

bool separatesWords(QChar c) {
    return c == QLatin1Char('-') || c == QLatin1Char('_');
}

// The names in DIRECTORY, sorted; 0 or an errno value.
int folderNames(const QString& directory, QStringList& names) {
    DIR* dir = opendir(QFile::encodeName(directory).constData());
    if (!dir)
        return errno;
    while (const dirent* item = readdir(dir)) {
        const QString name = QFile::decodeName(item->d_name);
        if (name != QLatin1String(".") && name != QLatin1String(".."))
            names << name;
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    return 0;
}

// The value of KEY=value in a uevent's text.
std::optional<QString> ueventValue(const std::optional<QString>& uevent, QLatin1String key) {
    if (!uevent)
        return std::nullopt;
    for (const QString& line : uevent->split(QLatin1Char('\n'))) {
        if (line.size() > key.size() && line.startsWith(key) && line.at(key.size()) == QLatin1Char('='))
            return line.mid(key.size() + 1).trimmed();
    }
    return std::nullopt;
}

std::optional<QString> nonEmpty(std::optional<QString> text) {
    return text && !text->isEmpty() ? text : std::nullopt;
}

// Device strings are the device's own bytes: invalid UTF-8 (decoded as
// U+FFFD) and control characters go, so that every output can print them.
std::optional<QString> printable(const std::optional<QString>& text) {
    if (!text)
        return std::nullopt;
    QString result;
    result.reserve(text->size());
    for (const QChar c : *text) {
        if (c != QChar::ReplacementCharacter && c.category() != QChar::Other_Control)
            result.append(c);
    }
    return nonEmpty(result.trimmed());
}

// The Bluetooth address of the supply ENTRY_NAME, from its device's UEVENT,
// its SERIAL (HID++ mice over Bluetooth give the address there) or the name
// itself; empty when none has one.
QByteArray address(const std::optional<QString>& uevent, const std::optional<QString>& serial,
                   const QString& entryName) {
    for (const std::optional<QString>& text : {ueventValue(uevent, QLatin1String("HID_UNIQ")), serial}) {
        if (text) {
            if (const QByteArray bytes = addressBytes(*text); !bytes.isEmpty())
                return bytes;
        }
    }
    // hid-<address>-battery, ps-controller-battery-<address>, …
    // An address is a whole word of the name.
    const QStringView name(entryName);
    for (qsizetype start = 0; start + addressLength <= name.size(); ++start) {
        const qsizetype end = start + addressLength;
        if ((start > 0 && !separatesWords(name[start - 1])) ||
            (end < name.size() && !separatesWords(name[end])))
            continue;
        if (const QByteArray bytes = addressBytes(name.mid(start, addressLength)); !bytes.isEmpty())
            return bytes;
    }
    return {};
}

} // namespace

SysfsPowerSupplies::SysfsPowerSupplies(QString root)
    : m_root(std::move(root)) {
    m_allowedTree = canonical(m_root + QStringLiteral("/../..")).value_or(QString());
}

int SysfsPowerSupplies::entryFolders(QList<std::pair<QString, QString>>& folders) const {
    QStringList names;
    if (const int error = folderNames(m_root, names))
        return error == ENOENT ? 0 : error; // no power-supply class: nothing to report
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

int SysfsPowerSupplies::registryEntries(QList<RegistryEntry>& entries) const {
    QList<std::pair<QString, QString>> folders;
    if (const int error = entryFolders(folders))
        return error;
    for (const auto& [name, folder] : std::as_const(folders)) {
        RegistryEntry entry;
        if (attribute(folder, QStringLiteral("scope")) == QLatin1String("Device")) {
            // No battery in it, or a headset that is off: its capacity is no reading.
            const std::optional<qint64> capacity = integerAttribute(folder, QStringLiteral("capacity"));
            if (capacity && integerAttribute(folder, QStringLiteral("present")) != 0 &&
                wirelessStatus(folder) != QLatin1String("disconnected"))
                entry.batteryPercent = *capacity;
            if (const std::optional<QString> model =
                    printable(attribute(folder, QStringLiteral("model_name"))))
                entry.product = *model;
            if (const QByteArray bytes =
                    address(attribute(folder, QStringLiteral("device/uevent")),
                            printable(attribute(folder, QStringLiteral("serial_number"))), name);
                !bytes.isEmpty())
                entry.bdAddr = bytes;
        }
        entries.append(entry);
    }
    return 0;
}

std::optional<QString> SysfsPowerSupplies::wirelessStatus(const QString& folder) const {
    // The USB interface of a headset's receiver, a few levels above the
    // supply (interface, HID device, supply), says whether the headset is on.
    std::optional<QString> device = canonical(folder + QStringLiteral("/device"));
    for (int level = 0; level < maxWirelessStatusLevels && device && inside(*device, m_allowedTree) &&
                        *device != m_allowedTree;
         ++level) {
        if (const std::optional<QString> status =
                nonEmpty(attribute(*device, QStringLiteral("wireless_status"))))
            return status;
        device = canonical(*device + QStringLiteral("/.."));
    }
    return std::nullopt;
}

QList<QMap<QString, QString>> SysfsPowerSupplies::inputCapabilities(const QString& folder) const {
    // The accessory's input devices sit beside its supply: <device>/input/inputN.
    const std::optional<QString> inputs = canonical(folder + QStringLiteral("/device/input"));
    QStringList names;
    if (!inputs || !inside(*inputs, m_allowedTree) || folderNames(*inputs, names) != 0)
        return {};
    QList<QMap<QString, QString>> result;
    for (const QString& name : std::as_const(names)) {
        // A real accessory has a few; a planted tree does not get walked at length.
        if (!name.startsWith(QLatin1String("input")) || result.size() == maxInputDevices)
            continue;
        QMap<QString, QString> capabilities;
        for (const char* bitmap : {"ev", "key", "rel", "abs"}) {
            if (const std::optional<QString> value =
                    attribute(*inputs, name + QStringLiteral("/capabilities/") + QLatin1String(bitmap)))
                capabilities.insert(QLatin1String(bitmap), *value);
        }
        if (!capabilities.isEmpty())
            result.append(capabilities);
    }
    return result;
}

int SysfsPowerSupplies::deviceBatteries(QList<DeviceBattery>& batteries) const {
    QList<std::pair<QString, QString>> folders;
    if (const int error = entryFolders(folders))
        return error;
    for (const auto& [name, folder] : std::as_const(folders)) {
        // The computer's own batteries, mains and USB supplies are not accessories.
        if (attribute(folder, QStringLiteral("scope")) != QLatin1String("Device") ||
            attribute(folder, QStringLiteral("type")) != QLatin1String("Battery"))
            continue;
        DeviceBattery battery;
        battery.supplyName = name;
        battery.modelName = printable(attribute(folder, QStringLiteral("model_name")));
        battery.serialNumber = printable(attribute(folder, QStringLiteral("serial_number")));
        battery.capacity = integerAttribute(folder, QStringLiteral("capacity"));
        battery.capacityLevel = nonEmpty(attribute(folder, QStringLiteral("capacity_level")));
        battery.status = nonEmpty(attribute(folder, QStringLiteral("status")));
        battery.online = integerAttribute(folder, QStringLiteral("online"));
        battery.present = integerAttribute(folder, QStringLiteral("present"));
        battery.wirelessStatus = wirelessStatus(folder);
        // Read once: it gives the address, the HID name and the driver.
        const std::optional<QString> uevent = attribute(folder, QStringLiteral("device/uevent"));
        battery.address = address(uevent, battery.serialNumber, name);
        battery.hidName = printable(ueventValue(uevent, QLatin1String("HID_NAME")));
        battery.driver = nonEmpty(ueventValue(uevent, QLatin1String("DRIVER")));
        battery.uniqueId = printable(ueventValue(uevent, QLatin1String("HID_UNIQ")));
        battery.inputCapabilities = inputCapabilities(folder);
        batteries.append(battery);
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
            static const char* const units[] = {"energy", "charge"};
            std::optional<qint64> current, maximum;
            const char* unit = "percent";
            for (int i = 0; i < 2; ++i) {
                current = integerAttribute(folder, QLatin1String(pairs[i][0]));
                maximum = integerAttribute(folder, QLatin1String(pairs[i][1]));
                if (current && maximum) {
                    unit = units[i];
                    break;
                }
            }
            if (!current || !maximum) {
                current = integerAttribute(folder, QStringLiteral("capacity"));
                maximum = current ? std::optional<qint64>(100) : std::nullopt;
            }
            if (current && maximum) {
                description.insert(QStringLiteral("Current Capacity"), *current);
                description.insert(QStringLiteral("Max Capacity"), *maximum);
                description.insert(QStringLiteral("Capacity Unit"), QLatin1String(unit));
            }
            if (const std::optional<bool> charging =
                    chargingFromStatus(attribute(folder, QStringLiteral("status"))))
                description.insert(QStringLiteral("Is Charging"), *charging);
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
