#include "XdgAutostartLoginItem.h"

#include "RegularFile.h"
#include "platform/Bundle.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace {

// An autostart entry is a few lines; anything far larger is not one of ours.
constexpr qint64 maximumEntrySize = 64 * 1024;

bool isReserved(QChar c) {
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    return reserved.contains(c);
}

// The string escapes every desktop-entry value may carry.
QString escapeString(const QString& value) {
    QString escaped;
    for (const QChar c : value) {
        if (c == QLatin1Char('\\'))
            escaped += QStringLiteral("\\\\");
        else if (c == QLatin1Char('\n'))
            escaped += QStringLiteral("\\n");
        else if (c == QLatin1Char('\t'))
            escaped += QStringLiteral("\\t");
        else if (c == QLatin1Char('\r'))
            escaped += QStringLiteral("\\r");
        else
            escaped += c;
    }
    return escaped;
}

QString unescapeString(const QString& value) {
    QString plain;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c != QLatin1Char('\\') || i + 1 == value.size()) {
            plain += c;
            continue;
        }
        const QChar next = value.at(++i);
        if (next == QLatin1Char('s'))
            plain += QLatin1Char(' ');
        else if (next == QLatin1Char('n'))
            plain += QLatin1Char('\n');
        else if (next == QLatin1Char('t'))
            plain += QLatin1Char('\t');
        else if (next == QLatin1Char('r'))
            plain += QLatin1Char('\r');
        else if (next == QLatin1Char('\\'))
            plain += QLatin1Char('\\');
        else
            plain += c + QString(next); // not a string escape: the quoting rules read it
    }
    return plain;
}

struct DesktopEntry {
    QString exec;
    bool hasExec = false;
    bool turnedOff = false;
};

// The keys of the [Desktop Entry] group, which must come first.
std::optional<DesktopEntry> parseEntry(const QString& text) {
    DesktopEntry entry;
    bool inMainGroup = false;
    for (const QString& rawLine : text.split(QLatin1Char('\n'))) {
        const QString line = rawLine.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            if (inMainGroup)
                break;
            if (line != QLatin1String("[Desktop Entry]"))
                return std::nullopt;
            inMainGroup = true;
            continue;
        }
        if (!inMainGroup)
            return std::nullopt;
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals <= 0)
            continue;
        const QString key = line.left(equals).trimmed();
        const QString value = line.mid(equals + 1).trimmed();
        if (key == QLatin1String("Exec")) {
            entry.exec = unescapeString(value);
            entry.hasExec = true;
        } else if ((key == QLatin1String("Hidden") && value == QLatin1String("true")) ||
                   (key == QLatin1String("X-GNOME-Autostart-enabled") && value == QLatin1String("false"))) {
            entry.turnedOff = true;
        }
    }
    if (!inMainGroup)
        return std::nullopt;
    return entry;
}

QString entryText(const QString& executable) {
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Voltwren\n"
                          "Exec=%1\n"
                          "Icon=%2\n"
                          "X-GNOME-Autostart-enabled=true\n")
        .arg(escapeString(XdgAutostartLoginItem::execValue(executable)), QLatin1String(Bundle::identifier));
}

} // namespace

XdgAutostartLoginItem::XdgAutostartLoginItem(QString entryPath, QString executablePath)
    : m_entryPath(std::move(entryPath))
    , m_executablePath(std::move(executablePath)) {}

QString XdgAutostartLoginItem::defaultEntryPath() {
    // Relative values are invalid by the XDG rules and are ignored.
    QString base = QFile::decodeName(qgetenv("XDG_CONFIG_HOME"));
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return QDir::cleanPath(base) + QStringLiteral("/autostart/") + QLatin1String(Bundle::identifier) +
           QStringLiteral(".desktop");
}

QString XdgAutostartLoginItem::runningExecutablePath() {
    // The tray program runs from libexec; what starts it is bin/voltwren.
    return QFileInfo(mainBundle().launcherPath()).canonicalFilePath();
}

QString XdgAutostartLoginItem::execValue(const QString& program) {
    QString value = program;
    value.replace(QLatin1Char('%'), QStringLiteral("%%")); // a lone % starts a field code
    if (!std::any_of(program.cbegin(), program.cend(), isReserved))
        return value;
    QString quoted = QStringLiteral("\"");
    for (const QChar c : value) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        quoted += c;
    }
    return quoted + QLatin1Char('"');
}

std::optional<QString> XdgAutostartLoginItem::programOfExec(const QString& value) {
    qsizetype i = 0;
    while (i < value.size() && (value.at(i) == QLatin1Char(' ') || value.at(i) == QLatin1Char('\t')))
        ++i;
    QString program;
    if (i < value.size() && value.at(i) == QLatin1Char('"')) {
        for (++i;; ++i) {
            if (i >= value.size())
                return std::nullopt; // no closing quote
            const QChar c = value.at(i);
            if (c == QLatin1Char('"'))
                break;
            if (c == QLatin1Char('\\') && i + 1 < value.size())
                program += value.at(++i);
            else
                program += c;
        }
    } else {
        while (i < value.size() && value.at(i) != QLatin1Char(' ') && value.at(i) != QLatin1Char('\t'))
            program += value.at(i++);
    }
    program.replace(QStringLiteral("%%"), QStringLiteral("%"));
    if (program.isEmpty())
        return std::nullopt;
    return program;
}

bool XdgAutostartLoginItem::startsThisProgram(const QString& program) const {
    if (m_executablePath.isEmpty())
        return false;
    if (program == m_executablePath)
        return true;
    // The same file reached another way: a symlink, or a bare name on PATH.
    const QString resolved =
        program.contains(QLatin1Char('/')) ? program : QStandardPaths::findExecutable(program);
    const QString canonical = resolved.isEmpty() ? QString() : QFileInfo(resolved).canonicalFilePath();
    return !canonical.isEmpty() && canonical == QFileInfo(m_executablePath).canonicalFilePath();
}

LoginItemService::Status XdgAutostartLoginItem::status() const {
    const RegularFile::Contents file = RegularFile::read(m_entryPath, maximumEntrySize);
    if (file.state == RegularFile::Contents::State::absent)
        return Status::notRegistered;
    if (file.state != RegularFile::Contents::State::read)
        return Status::notFound;
    const std::optional<DesktopEntry> entry = parseEntry(QString::fromUtf8(file.bytes));
    if (!entry || !entry->hasExec)
        return Status::notFound;
    const std::optional<QString> program = programOfExec(entry->exec);
    if (!program || !startsThisProgram(*program))
        return Status::notFound;
    return entry->turnedOff ? Status::requiresApproval : Status::enabled;
}

std::optional<QString> XdgAutostartLoginItem::registerItem() {
    if (m_executablePath.isEmpty())
        return QStringLiteral("the path of the running program is unknown");

    const QString folder = QFileInfo(m_entryPath).absolutePath();
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(QFile::encodeName(folder).toStdString()),
                                        error);
    if (error)
        return QStringLiteral("cannot create %1: %2").arg(folder, QString::fromStdString(error.message()));

    QSaveFile file(m_entryPath);
    if (!file.open(QIODevice::WriteOnly))
        return QStringLiteral("cannot write %1: %2").arg(m_entryPath, file.errorString());
    file.write(entryText(m_executablePath).toUtf8());
    if (!file.commit())
        return QStringLiteral("cannot write %1: %2").arg(m_entryPath, file.errorString());
    return std::nullopt;
}

std::optional<QString> XdgAutostartLoginItem::unregisterItem() {
    QFile file(m_entryPath);
    if (!file.exists() && !QFileInfo(m_entryPath).isSymLink())
        return std::nullopt;
    if (!file.remove())
        return QStringLiteral("cannot remove %1: %2").arg(m_entryPath, file.errorString());
    return std::nullopt;
}

LoginItemService& loginItemService() {
    static XdgAutostartLoginItem item(XdgAutostartLoginItem::defaultEntryPath(),
                                      XdgAutostartLoginItem::runningExecutablePath());
    return item;
}
