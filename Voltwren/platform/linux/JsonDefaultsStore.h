#pragma once

#include "RegularFile.h"
#include "platform/DefaultsStore.h"

#include <QJsonObject>
#include <QList>
#include <QSet>

// The defaults as one JSON object in a file: numbers, true/false, strings,
// and {"$data": "<base64>"} for data; any other value is kept and reads as
// "other". Every write rewrites the file atomically, so after a crash it
// holds either the old or the new content. A write changes only its own key
// in the file as it is at that moment: when someone else changed the file
// since it was last read, their content is taken up first. Members this
// store did not write are copied to the new file verbatim.
// Not thread-safe: use it from the main thread only.
class JsonDefaultsStore final : public DefaultsStore {
public:
    // A missing file is an empty store. A file that is not a JSON object, or
    // is larger than maximumFileSize, is renamed to "<file>.corrupt-<UTC
    // time>" and the store starts empty; if it cannot be moved aside, or is
    // not a regular file (a FIFO, a device) or cannot be read, writes keep to
    // memory so it is never replaced. Each is reported as a problem, and so
    // is a write that fails, once per kind of failure.
    // A reader only never changes the file, nor moves a corrupt one aside:
    // its writes keep to memory.
    enum class Access { readWrite, readOnly };

    // Far above any real settings; a larger file would only cost memory.
    static constexpr qint64 maximumFileSize = 4 * 1024 * 1024;

    // Read-write, it also removes what an interrupted save left behind.
    explicit JsonDefaultsStore(QString filePath, Access access = Access::readWrite);

    // $XDG_CONFIG_HOME (or ~/.config)/app.voltwren.Voltwren/defaults.json
    static QString defaultFilePath();

    std::optional<DefaultsValue> get(const QString& key) const override;
    // A non-finite number has no JSON form: it is refused (false, nothing stored).
    bool setNumber(const QString& key, double value) override;
    bool setBool(const QString& key, bool value) override;
    bool setString(const QString& key, const QString& value) override;
    bool setData(const QString& key, const QByteArray& value) override;

    const QString& filePath() const { return m_filePath; }
    // What went wrong while loading; nullopt when the file was read or absent.
    const std::optional<QString>& loadProblem() const { return m_loadProblem; }

private:
    struct Member {
        QString key;
        QByteArray json; // the value's JSON text, as read or as written
    };

    // The file as it is on disk.
    using OnDisk = RegularFile::Contents;
    // Takes up the content of TEXT; false when it is not a JSON object.
    bool adopt(const QByteArray& text);
    // Takes up the file as it is now, unless it is what was last read or
    // written. False when it cannot be read, or is corrupt and could not be
    // moved aside: then nothing may be written over it.
    bool catchUp();
    std::optional<QString> moveAside();
    bool set(const QString& key, const QJsonValue& value);
    bool save();
    bool saveFailed(const QString& error);
    void removeLeftovers();
    void report(const QString& problem);

    QString m_filePath;
    Access m_access;
    QJsonObject m_values;
    QList<Member> m_members; // file order; new keys at the end
    // The file as last read or written; nullopt when not known.
    std::optional<OnDisk> m_known;
    std::optional<QString> m_loadProblem;
    QString m_lastProblem;
    // The write failures said since the last successful write.
    QSet<QString> m_saveErrorsSaid;
};
