#include "JsonDefaultsStore.h"

#include "platform/Bundle.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

#include <QDeadlineTimer>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

const QString dataMember = QStringLiteral("$data");

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

qsizetype skipSpace(const QByteArray& text, qsizetype i) {
    while (i < text.size() && isSpace(text.at(i)))
        ++i;
    return i;
}

// I is at an opening quote; returns the index after the closing one, or -1.
qsizetype skipString(const QByteArray& text, qsizetype i) {
    for (++i; i < text.size(); ++i) {
        if (text.at(i) == '\\')
            ++i;
        else if (text.at(i) == '"')
            return i + 1;
    }
    return -1;
}

// I is at the first character of a value; returns the index after it, or -1.
qsizetype skipValue(const QByteArray& text, qsizetype i) {
    if (i >= text.size())
        return -1;
    if (text.at(i) == '"')
        return skipString(text, i);
    if (text.at(i) == '{' || text.at(i) == '[') {
        int depth = 0;
        while (i < text.size()) {
            const char c = text.at(i);
            if (c == '"') {
                i = skipString(text, i);
                if (i < 0)
                    return -1;
                continue;
            }
            if (c == '{' || c == '[')
                ++depth;
            else if ((c == '}' || c == ']') && --depth == 0)
                return i + 1;
            ++i;
        }
        return -1;
    }
    while (i < text.size() && !isSpace(text.at(i)) && text.at(i) != ',' && text.at(i) != '}')
        ++i;
    return i;
}

std::optional<QJsonValue> parseValue(const QByteArray& json) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson('[' + json + ']', &error);
    if (error.error != QJsonParseError::NoError || !document.isArray() || document.array().size() != 1)
        return std::nullopt;
    return document.array().at(0);
}

QByteArray serialize(const QJsonValue& value) {
    return QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact).chopped(1).mid(1);
}

// Serialises read-merge-write between processes that use this store: an
// advisory lock on the settings folder itself, so no lock file is left
// behind. Editors do not take it; for them the merge is what counts.
class FolderLock {
public:
    explicit FolderLock(const QString& folder) {
        m_fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC);
        if (m_fd < 0)
            return;
        // Bounded: a stuck holder costs a moment, never a hang.
        const QDeadlineTimer deadline(2000);
        while (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
            if (errno != EWOULDBLOCK || deadline.hasExpired())
                return;
            QThread::msleep(5);
        }
        m_held = true;
    }
    bool held() const { return m_held; }
    ~FolderLock() {
        if (m_fd >= 0)
            ::close(m_fd); // releases the lock
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    int m_fd = -1;
    bool m_held = false;
};

} // namespace

JsonDefaultsStore::JsonDefaultsStore(QString filePath, Access access)
    : m_filePath(std::move(filePath))
    , m_access(access) {
    catchUp();
    m_loadProblem = m_lastProblem.isEmpty() ? std::nullopt : std::optional<QString>(m_lastProblem);
    if (m_access == Access::readWrite)
        removeLeftovers();
}

QString JsonDefaultsStore::defaultFilePath() {
    // Relative values are invalid by the XDG rules and are ignored.
    QString base = QFile::decodeName(qgetenv("XDG_CONFIG_HOME"));
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QLatin1Char('/') + QLatin1String(Bundle::identifier) + QStringLiteral("/defaults.json");
}

void JsonDefaultsStore::report(const QString& problem) {
    // The same problem at every write is said once.
    if (problem == m_lastProblem)
        return;
    m_lastProblem = problem;
    reportProblem(problem);
}

bool JsonDefaultsStore::catchUp() {
    const OnDisk disk = RegularFile::read(m_filePath, maximumFileSize);
    if (m_known && disk == *m_known)
        return true;
    switch (disk.state) {
    case OnDisk::State::absent:
        m_values = {};
        m_members.clear();
        m_known = disk;
        return true;
    case OnDisk::State::unreadable:
        report(QStringLiteral("Settings: cannot read %1 (%2); settings will not be saved")
                   .arg(m_filePath, disk.error));
        return false;
    case OnDisk::State::read:
        if (adopt(disk.bytes)) {
            m_known = disk;
            return true;
        }
        break;
    case OnDisk::State::tooLarge:
        break;
    }
    // Damaged: keep it for the user, and carry on from what is known.
    const QString damage = disk.state == OnDisk::State::tooLarge
                               ? QStringLiteral("Settings: %1 is larger than %2 MiB")
                                     .arg(m_filePath)
                                     .arg(maximumFileSize / (1024 * 1024))
                               : QStringLiteral("Settings: %1 could not be read as settings").arg(m_filePath);
    if (m_access == Access::readOnly) {
        report(damage);
        return false;
    }
    if (const std::optional<QString> target = moveAside()) {
        report(damage + QStringLiteral("; moved it to ") + *target);
        m_known = OnDisk{};
        return true;
    }
    report(damage + QStringLiteral(" and could not be moved aside; settings will not be saved"));
    return false;
}

bool JsonDefaultsStore::adopt(const QByteArray& text) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return false;
    m_values = document.object();
    m_members.clear();

    // Keep each member's own text, so members written by others (or by a
    // later version) survive a rewrite exactly as they were. The text has
    // parsed, so this only has to find where each member starts and ends.
    QList<Member> members;
    bool split = false;
    qsizetype i = skipSpace(text, text.startsWith("\xEF\xBB\xBF") ? 3 : 0);
    if (i < text.size() && text.at(i) == '{') {
        i = skipSpace(text, i + 1);
        split = i < text.size() && text.at(i) == '}';
        while (!split && i < text.size() && text.at(i) == '"') {
            const qsizetype keyEnd = skipString(text, i);
            if (keyEnd < 0)
                break;
            const std::optional<QJsonValue> key = parseValue(text.mid(i, keyEnd - i));
            i = skipSpace(text, keyEnd);
            if (!key || !key->isString() || i >= text.size() || text.at(i) != ':')
                break;
            const qsizetype valueStart = skipSpace(text, i + 1);
            const qsizetype valueEnd = skipValue(text, valueStart);
            if (valueEnd < 0)
                break;
            const Member member{key->toString(), text.mid(valueStart, valueEnd - valueStart)};
            // The last of duplicate keys wins, as in the parsed object.
            auto existing = std::find_if(members.begin(), members.end(),
                                         [&](const Member& m) { return m.key == member.key; });
            if (existing != members.end())
                existing->json = member.json;
            else
                members.append(member);
            i = skipSpace(text, valueEnd);
            if (i < text.size() && text.at(i) == ',')
                i = skipSpace(text, i + 1);
            else
                split = i < text.size() && text.at(i) == '}';
        }
    }
    if (split && members.size() == m_values.size()) {
        split = std::all_of(members.cbegin(), members.cend(),
                            [&](const Member& m) { return parseValue(m.json) == m_values.value(m.key); });
    }
    if (split) {
        m_members = members;
        return true;
    }
    for (auto it = m_values.constBegin(); it != m_values.constEnd(); ++it)
        m_members.append({it.key(), serialize(it.value())});
    return true;
}

std::optional<QString> JsonDefaultsStore::moveAside() {
    const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    const QString base = m_filePath + QStringLiteral(".corrupt-") + stamp;
    // QFile::rename never replaces an existing file.
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const QString target = attempt == 0 ? base : base + QLatin1Char('-') + QString::number(attempt);
        if (QFileInfo::exists(target))
            continue;
        if (QFile::rename(m_filePath, target))
            return target;
        break;
    }
    return std::nullopt;
}

std::optional<DefaultsValue> JsonDefaultsStore::get(const QString& key) const {
    const QJsonValue value = m_values.value(key);
    switch (value.type()) {
    case QJsonValue::Undefined:
        return std::nullopt;
    case QJsonValue::Double:
        return DefaultsValue::number(value.toDouble());
    case QJsonValue::Bool:
        return DefaultsValue::boolean(value.toBool());
    case QJsonValue::String:
        return DefaultsValue::string(value.toString());
    case QJsonValue::Object: {
        const QJsonObject object = value.toObject();
        const QJsonValue text = object.value(dataMember);
        if (object.size() == 1 && text.isString()) {
            auto decoded = QByteArray::fromBase64Encoding(text.toString().toLatin1(),
                                                          QByteArray::AbortOnBase64DecodingErrors);
            if (decoded)
                return DefaultsValue::data(*decoded);
        }
        return DefaultsValue::other();
    }
    default:
        return DefaultsValue::other();
    }
}

bool JsonDefaultsStore::setNumber(const QString& key, double value) {
    if (!std::isfinite(value))
        return false;
    return set(key, QJsonValue(value));
}

bool JsonDefaultsStore::setBool(const QString& key, bool value) {
    return set(key, QJsonValue(value));
}

bool JsonDefaultsStore::setString(const QString& key, const QString& value) {
    return set(key, QJsonValue(value));
}

bool JsonDefaultsStore::setData(const QString& key, const QByteArray& value) {
    return set(key, QJsonObject{{dataMember, QString::fromLatin1(value.toBase64())}});
}

bool JsonDefaultsStore::set(const QString& key, const QJsonValue& value) {
    if (m_access == Access::readOnly) {
        m_values.insert(key, value);
        return false;
    }
    const QString folder = QFileInfo(m_filePath).absolutePath();
    QDir().mkpath(folder);
    const FolderLock lock(folder);
    // Only when the file may be written is it caught up with; the value holds
    // in memory either way.
    const bool mayWrite = catchUp();
    m_values.insert(key, value);
    const QByteArray json = serialize(value);
    auto existing =
        std::find_if(m_members.begin(), m_members.end(), [&](const Member& m) { return m.key == key; });
    if (existing != m_members.end())
        existing->json = json;
    else
        m_members.append({key, json});
    return mayWrite && save();
}

bool JsonDefaultsStore::save() {
    QByteArray text("{");
    for (qsizetype i = 0; i < m_members.size(); ++i) {
        text += i == 0 ? "\n    " : ",\n    ";
        text += serialize(m_members.at(i).key) + ": " + m_members.at(i).json;
    }
    text += m_members.isEmpty() ? "}\n" : "\n}\n";

    // Never written in place: a temporary file is renamed over the old one.
    if (const std::optional<QString> error = RegularFile::replace(m_filePath, text))
        return saveFailed(*error);
    m_known = OnDisk{OnDisk::State::read, text, {}};
    m_lastProblem.clear();
    m_saveErrorsSaid.clear();
    return true;
}

bool JsonDefaultsStore::saveFailed(const QString& error) {
    // A full disk fails every write alike: said once, until a write succeeds.
    if (!m_saveErrorsSaid.contains(error)) {
        m_saveErrorsSaid.insert(error);
        reportProblem(QStringLiteral("Settings: could not save %1 (%2); the change holds only until "
                                     "Voltwren quits")
                          .arg(m_filePath, error));
    }
    return false;
}

void JsonDefaultsStore::removeLeftovers() {
    // A save that was killed between writing its temporary file and renaming
    // it leaves that file behind. Under the lock no save of ours is under
    // way, so every such file is an orphan.
    const QFileInfo file(m_filePath);
    const FolderLock lock(file.absolutePath());
    if (!lock.held())
        return;
    const QFileInfo prefix(RegularFile::temporaryPrefix(m_filePath));
    // Names are compared by hand: a name filter or a regular expression would
    // load the expression engine for this alone.
    const auto isRandomPart = [](QStringView rest) {
        return rest.size() == 6 && std::all_of(rest.begin(), rest.end(), [](QChar c) {
                   return c.unicode() < 0x80 && c.isLetterOrNumber();
               });
    };
    for (const QFileInfo& entry :
         prefix.absoluteDir().entryInfoList(QDir::Files | QDir::Hidden | QDir::NoSymLinks)) {
        const QString name = entry.fileName();
        if (entry.ownerId() != ::geteuid() || !name.startsWith(prefix.fileName()) ||
            !isRandomPart(QStringView(name).mid(prefix.fileName().size())))
            continue;
        if (QFile::remove(entry.absoluteFilePath()))
            reportProblem(QStringLiteral("Settings: removed %1, left behind by an interrupted save")
                              .arg(entry.absoluteFilePath()));
    }
}

DefaultsStore& userDefaults() {
    static JsonDefaultsStore store(JsonDefaultsStore::defaultFilePath());
    return store;
}

std::unique_ptr<DefaultsStore> makeReadOnlyUserDefaults() {
    return std::make_unique<JsonDefaultsStore>(JsonDefaultsStore::defaultFilePath(),
                                               JsonDefaultsStore::Access::readOnly);
}
