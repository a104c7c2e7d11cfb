#include "platform/linux/JsonDefaultsStore.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <cfloat>
#include <csignal>
#include <sys/resource.h>

using Type = DefaultsValue::Type;
Q_DECLARE_METATYPE(Type)

namespace {

const QString key = QStringLiteral("k");

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

QJsonObject parsed(const QString& path) {
    return QJsonDocument::fromJson(readAll(path)).object();
}

DefaultsValue valueOf(Type type, const QVariant& v) {
    switch (type) {
    case Type::number:
        return DefaultsValue::number(v.toDouble());
    case Type::boolean:
        return DefaultsValue::boolean(v.toBool());
    case Type::string:
        return DefaultsValue::string(v.toString());
    case Type::data:
        return DefaultsValue::data(v.toByteArray());
    case Type::other:
        break;
    }
    return DefaultsValue::other();
}

bool store(JsonDefaultsStore& store, const DefaultsValue& value) {
    switch (value.type()) {
    case Type::number:
        return store.setNumber(key, *value.toNumber());
    case Type::boolean:
        return store.setBool(key, *value.toBool());
    case Type::string:
        return store.setString(key, *value.toString());
    case Type::data:
        return store.setData(key, *value.toData());
    case Type::other:
        break;
    }
    return false;
}

} // namespace

class TestJsonDefaultsStore : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_path;

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        // The helper may run as another user and must reach the files.
        QVERIFY(QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                        QFile::ReadOther | QFile::ExeOther |
                                                        QFile::ReadGroup | QFile::ExeGroup));
    }

    void init() {
        // A folder that does not exist yet: the first write makes it.
        QString folder = QString::fromUtf8(QTest::currentTestFunction());
        if (QTest::currentDataTag())
            folder += QLatin1Char('-') + QString::fromUtf8(QTest::currentDataTag());
        m_path = m_dir.filePath(folder.replace(QLatin1Char(' '), QLatin1Char('_')) +
                                QStringLiteral("/app.voltwren.Voltwren/defaults.json"));
    }

    void defaultPath() {
        const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", "/config/here");
        const QString set = JsonDefaultsStore::defaultFilePath();
        qputenv("XDG_CONFIG_HOME", "relative/ignored");
        const QString relative = JsonDefaultsStore::defaultFilePath();
        qputenv("XDG_CONFIG_HOME", saved);
        QCOMPARE(set, QStringLiteral("/config/here/app.voltwren.Voltwren/defaults.json"));
        QCOMPARE(relative, QDir::homePath() + QStringLiteral("/.config/app.voltwren.Voltwren/defaults.json"));
    }

    void roundTrip_data() {
        QTest::addColumn<Type>("type");
        QTest::addColumn<QVariant>("value");
        QTest::newRow("integer") << Type::number << QVariant(33.0);
        QTest::newRow("2^53") << Type::number << QVariant(9007199254740992.0);
        QTest::newRow("third") << Type::number << QVariant(1.0 / 3);
        QTest::newRow("largest double") << Type::number << QVariant(DBL_MAX);
        QTest::newRow("smallest denormal") << Type::number << QVariant(4.9406564584124654e-324);
        QTest::newRow("negative fraction") << Type::number << QVariant(-12.5);
        QTest::newRow("true") << Type::boolean << QVariant(true);
        QTest::newRow("false") << Type::boolean << QVariant(false);
        QTest::newRow("unicode string")
            << Type::string << QVariant(QStringLiteral("Désk — “Maus” 🐭 İ\n\t\"\\\u0001"));
        QTest::newRow("empty string") << Type::string << QVariant(QString());
        QTest::newRow("data with NULs") << Type::data << QVariant(QByteArray("\0{\"mac\":\0\xff}\n\0", 14));
        QTest::newRow("empty data") << Type::data << QVariant(QByteArray());
    }
    void roundTrip() {
        QFETCH(Type, type);
        QFETCH(QVariant, value);
        const DefaultsValue expected = valueOf(type, value);
        {
            JsonDefaultsStore first(m_path);
            QVERIFY(!first.get(key));
            QVERIFY(store(first, expected));
            QVERIFY(first.get(key) == expected);
        }
        // A fresh store reads what the first one wrote.
        JsonDefaultsStore second(m_path);
        QVERIFY(!second.loadProblem());
        const auto read = second.get(key);
        QVERIFY(read);
        QCOMPARE(read->type(), type);
        QVERIFY(*read == expected);
    }

    void integersAreNumbers() {
        QVERIFY(QDir().mkpath(QFileInfo(m_path).absolutePath()));
        writeFile(m_path, R"({"a": 20, "b": -0, "c": 1e2, "d": 12345678901234567890})");
        JsonDefaultsStore store(m_path);
        QCOMPARE(store.get("a")->toNumber(), 20.0);
        QCOMPARE(store.get("b")->toNumber(), 0.0);
        QCOMPARE(store.get("c")->toNumber(), 100.0);
        QCOMPARE(store.get("d")->toNumber(), 12345678901234567890.0);
        // Written integers stay integers in the file.
        QVERIFY(store.setNumber(key, 33));
        QVERIFY(readAll(m_path).contains("\"k\": 33\n"));
    }

    void nonFiniteNumberRefused() {
        JsonDefaultsStore store(m_path);
        QVERIFY(!store.setNumber(key, qQNaN()));
        QVERIFY(!store.setNumber(key, qInf()));
        QVERIFY(!store.get(key));
        QVERIFY(!QFile::exists(m_path));
    }

    void storedForms_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<Type>("type");
        QTest::newRow("number") << QByteArray("7") << Type::number;
        QTest::newRow("data") << QByteArray("{\"$data\": \"AGE=\"}") << Type::data;
        QTest::newRow("string") << QByteArray("\"20\"") << Type::string;
        QTest::newRow("null") << QByteArray("null") << Type::other;
        QTest::newRow("array") << QByteArray("[1, 2]") << Type::other;
        QTest::newRow("plain object") << QByteArray("{\"a\": 1}") << Type::other;
        QTest::newRow("empty object") << QByteArray("{}") << Type::other;
        QTest::newRow("data and more") << QByteArray("{\"$data\": \"AGE=\", \"x\": 1}") << Type::other;
        QTest::newRow("data not a string") << QByteArray("{\"$data\": 5}") << Type::other;
        QTest::newRow("data not base64") << QByteArray("{\"$data\": \"*?*\"}") << Type::other;
    }
    void storedForms() {
        QFETCH(QByteArray, json);
        QFETCH(Type, type);
        QVERIFY(QDir().mkpath(QFileInfo(m_path).absolutePath()));
        writeFile(m_path, "{\"k\": " + json + "}");
        JsonDefaultsStore store(m_path);
        QVERIFY(!store.loadProblem());
        const auto read = store.get(key);
        QVERIFY(read);
        QCOMPARE(read->type(), type);
        // A wrong-typed value gives nothing through the other accessors.
        QCOMPARE(read->toNumber().has_value(), type == Type::number);
        QCOMPARE(read->toBool().has_value(), type == Type::boolean);
        QCOMPARE(read->toData().has_value(), type == Type::data);
        if (type == Type::data)
            QCOMPARE(*read->toData(), QByteArray("\0a", 2));
    }

    void unknownKeysKeptVerbatim() {
        QVERIFY(QDir().mkpath(QFileInfo(m_path).absolutePath()));
        // Members as another program (or a later version) may have written them.
        const QList<QByteArray> members{
            "\"other.nested\": {\"a\": [1, {\"b\": null}],\n        \"$data\": 3, \"s\": \"}\\\"]\\u00e9\"}",
            R"("other.list" :[ true,"x" , 2.50, 1E2, 12345678901234567890 ])",
            R"("voltwren.threshold": 20)",
            R"("other.text": "line\nnext \ud83d\udc2d")",
        };
        QByteArray original = "\xEF\xBB\xBF { ";
        for (const QByteArray& member : members)
            original += member + (&member == &members.last() ? "" : " ,\n");
        original += "}\n";
        writeFile(m_path, original);
        const QJsonObject before = parsed(m_path);

        JsonDefaultsStore store(m_path);
        QVERIFY(!store.loadProblem());
        QVERIFY(store.setNumber(QStringLiteral("voltwren.threshold"), 30));
        QVERIFY(store.setBool(QStringLiteral("voltwren.new"), true));

        const QByteArray written = readAll(m_path);
        QJsonObject expected = before;
        expected.insert(QStringLiteral("voltwren.threshold"), 30);
        expected.insert(QStringLiteral("voltwren.new"), true);
        QCOMPARE(parsed(m_path), expected);
        // Each unknown member's value text is copied as it was, in file order.
        qsizetype at = 0;
        for (const QByteArray& member : {members[0], members[1], members[3]}) {
            const QByteArray valueText = member.mid(member.indexOf(':') + 1).trimmed();
            const qsizetype found = written.indexOf(valueText, at);
            QVERIFY2(found > at, valueText.constData());
            at = found;
        }
    }

    void duplicateKeysLastWins() {
        QVERIFY(QDir().mkpath(QFileInfo(m_path).absolutePath()));
        writeFile(m_path, R"({"k": 1, "x": [1], "k": "two"})");
        JsonDefaultsStore store(m_path);
        QCOMPARE(store.get(key)->toString(), QStringLiteral("two"));
        QVERIFY(store.setBool(QStringLiteral("y"), true));
        QCOMPARE(readAll(m_path),
                 QByteArray("{\n    \"k\": \"two\",\n    \"x\": [1],\n    \"y\": true\n}\n"));
    }

    void corruptFileMovedAside_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("nameTaken");
        QTest::newRow("truncated") << QByteArray("{\"voltwren.threshold\": 2") << false;
        QTest::newRow("empty") << QByteArray() << false;
        QTest::newRow("array") << QByteArray("[1, 2, 3]") << false;
        QTest::newRow("number") << QByteArray("20") << false;
        QTest::newRow("trailing text") << QByteArray("{\"a\": 1} {") << false;
        QTest::newRow("binary") << QByteArray("\0\xff\xfe{", 4) << false;
        QTest::newRow("name taken") << QByteArray("not json") << true;
        // Valid, but no settings are that large; reading it would only cost memory.
        QTest::newRow("over 4 MiB") << "{\"a\": \"" + QByteArray(JsonDefaultsStore::maximumFileSize, 'x') +
                                           "\"}"
                                    << false;
    }
    void corruptFileMovedAside() {
        QFETCH(QByteArray, content);
        QFETCH(bool, nameTaken);
        const QDir folder = QFileInfo(m_path).absoluteDir();
        QVERIFY(folder.mkpath(QStringLiteral(".")));
        writeFile(m_path, content);
        if (nameTaken) {
            // Copies for every second around now, so the name is surely taken.
            const QDateTime now = QDateTime::currentDateTimeUtc();
            for (int s = -1; s <= 3; ++s) {
                const QString stamp = now.addSecs(s).toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
                writeFile(m_path + QStringLiteral(".corrupt-") + stamp, "earlier");
                writeFile(m_path + QStringLiteral(".corrupt-") + stamp + QStringLiteral("-1"), "earlier");
            }
        }
        JsonDefaultsStore store(m_path);
        QVERIFY(store.loadProblem());
        QVERIFY(!QFile::exists(m_path));
        QVERIFY(!store.get(QStringLiteral("voltwren.threshold")));

        const QStringList aside = folder.entryList({QStringLiteral("defaults.json.corrupt-*")}, QDir::Files);
        QCOMPARE(aside.size(), nameTaken ? 11 : 1);
        const QRegularExpression form(QStringLiteral("^defaults\\.json\\.corrupt-\\d{8}T\\d{6}Z(-\\d+)?$"));
        int moved = 0;
        for (const QString& name : aside) {
            QVERIFY2(form.match(name).hasMatch(), qPrintable(name));
            const QByteArray bytes = readAll(folder.filePath(name));
            if (bytes == "earlier")
                continue;
            QCOMPARE(bytes, content);
            QCOMPARE(name.endsWith(QStringLiteral("-2")), nameTaken);
            QVERIFY(store.loadProblem()->contains(name));
            ++moved;
        }
        QCOMPARE(moved, 1);
        // The store works on from empty.
        QVERIFY(store.setBool(key, true));
        QCOMPARE(parsed(m_path), QJsonObject({{key, true}}));
    }

    void unreadableFileNeverReplaced() {
        // A folder where the file should be: nothing may be written over it.
        QVERIFY(QDir().mkpath(m_path));
        JsonDefaultsStore store(m_path);
        QVERIFY(store.loadProblem());
        QVERIFY(!store.setBool(key, true));
        QCOMPARE(store.get(key)->toBool(), true);
        QVERIFY(QFileInfo(m_path).isDir());
    }

    // A save killed before its final rename leaves its temporary file behind:
    // the next start removes it, and nothing else (a user's own backups stay).
    void leftoversOfInterruptedSavesRemoved() {
        const QDir folder = QFileInfo(m_path).absoluteDir();
        QVERIFY(folder.mkpath(QStringLiteral(".")));
        const QStringList kept{".defaults.json.saving-AbC_Ef", "defaults.json", "defaults.json.AbCdEf",
                               "defaults.json.backup"}; // in folder order
        for (const QString& name : kept + QStringList{".defaults.json.saving-AbCdE1"})
            writeFile(folder.filePath(name), "{}");
        const auto files = [&] { return folder.entryList(QDir::Files | QDir::Hidden, QDir::Name); };
        JsonDefaultsStore(m_path, JsonDefaultsStore::Access::readOnly);
        QCOMPARE(files().size(), kept.size() + 1);
        JsonDefaultsStore store(m_path);
        QCOMPARE(files(), kept);
        QVERIFY(store.setBool(key, true));
        QCOMPARE(files(), kept);
    }

    void readOnlyFolder_data() {
        QTest::addColumn<QByteArray>("original");
        QTest::addColumn<QString>("problem");
        QTest::newRow("settings") << QByteArray("{\"keep\": [1, 2], \"k\": 1}") << QString();
        // Cannot be moved aside, so it must not be replaced either.
        QTest::newRow("corrupt file") << QByteArray("{\"keep\": [1, 2") << QStringLiteral("moved aside");
    }
    void readOnlyFolder() {
        QFETCH(QByteArray, original);
        QFETCH(QString, problem);
        const QString folder = QFileInfo(m_path).absolutePath();
        QVERIFY(QDir().mkpath(folder));
        writeFile(m_path, original);
        QVERIFY(QFile::setPermissions(m_path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther |
                                                  QFile::ReadGroup));
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther |
                                                  QFile::ExeOther | QFile::ReadGroup | QFile::ExeGroup));
        QProcess writer;
        writer.start(QStringLiteral(VOLTWREN_DEFAULTS_WRITER), {QStringLiteral("once"), m_path});
        const bool finished = writer.waitForFinished(30000);
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY(finished);
        const QString output = QString::fromLocal8Bit(writer.readAllStandardOutput()).trimmed();
        // It read the file (so the failure is the write's), as it should have.
        if (problem.isEmpty())
            QCOMPARE(output, QString());
        else
            QVERIFY2(output.contains(problem), qPrintable(output));
        QCOMPARE(writer.exitCode(), 1);
        QCOMPARE(readAll(m_path), original);
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("defaults.json")});
    }

    void fileSizeLimit() {
        const QString folder = QFileInfo(m_path).absolutePath();
        QVERIFY(QDir().mkpath(folder));
        const QByteArray original = "{\"keep\": [1, 2], \"k\": 1}";
        writeFile(m_path, original);
        JsonDefaultsStore store(m_path);

        // Files may not grow past 1 KiB: the temporary file fills up, as on a full disk.
        rlimit saved{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
        const auto handler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = saved;
        small.rlim_cur = 1024;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        QStringList problems;
        store.setProblemReporter([&](const QString& problem) { problems << problem; });
        const bool written = store.setData(key, QByteArray(64 * 1024, 'x'));
        const bool writtenAgain = store.setData(key, QByteArray(64 * 1024, 'y'));
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, handler);

        QVERIFY(!written);
        QVERIFY(!writtenAgain);
        // Said, with the path, once for the same failure.
        QCOMPARE(problems.size(), 1);
        QVERIFY2(problems[0].startsWith("Settings: could not save " + m_path + " ("),
                 qPrintable(problems[0]));
        QCOMPARE(readAll(m_path), original);
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("defaults.json")});
        // The value still holds for this run, and the next write saves it.
        QVERIFY(store.get(key)->toData() == QByteArray(64 * 1024, 'y'));
        QVERIFY(store.setBool(QStringLiteral("x"), true));
        QCOMPARE(JsonDefaultsStore(m_path).get(key)->toData()->size(), 64 * 1024);
    }

    void crashDuringWrite() {
        QVERIFY(QDir().mkpath(QFileInfo(m_path).absolutePath()));
        const qsizetype size = 2 * 1024 * 1024;
        const QByteArray kept = "{\"x\": [1,  \"\\u00e9\"]}";
        writeFile(m_path, "{\"keep\": " + kept + "}");
        for (int kill = 0; kill < 30; ++kill) {
            QProcess writer;
            writer.start(QStringLiteral(VOLTWREN_DEFAULTS_WRITER),
                         {QStringLiteral("loop"), m_path, QString::number(size)});
            // Once a first write is complete, any moment: mid-write, between
            // writes, several writes later; however slow the build is.
            QVERIFY(writer.waitForReadyRead(30000));
            QTest::qWait(QRandomGenerator::global()->bounded(100));
            writer.kill();
            QVERIFY(writer.waitForFinished(10000));
            QCOMPARE(writer.exitStatus(), QProcess::CrashExit);

            const QByteArray text = readAll(m_path);
            JsonDefaultsStore store(m_path);
            QVERIFY2(!store.loadProblem(), qPrintable(store.loadProblem().value_or(QString())));
            // Whatever temporary file the kill left behind is gone.
            QCOMPARE(QFileInfo(m_path).absoluteDir().entryList(QDir::Files | QDir::Hidden),
                     QStringList{QStringLiteral("defaults.json")});
            QVERIFY(text.contains("\"keep\": " + kept));
            // One whole write: SIZE copies of one letter.
            const auto blob = store.get(QStringLiteral("blob"));
            QVERIFY(blob);
            const QByteArray data = blob->toData().value_or(QByteArray());
            QCOMPARE(data.size(), size);
            QCOMPARE(data.count(data.front()), size);
        }
    }

    // Someone else (the user in an editor, another process) writes the file
    // while the store holds it: the next write keeps their keys.
    void keysWrittenFromOutsideSurvive() {
        QVERIFY(QDir().mkpath(QFileInfo(m_path).absolutePath()));
        writeFile(m_path, R"({"voltwren.threshold":20})");
        JsonDefaultsStore store(m_path);
        QStringList problems;
        store.setProblemReporter([&](const QString& problem) { problems << problem; });

        writeFile(m_path, R"({"voltwren.threshold":20, "voltwren.pollIntervalMinutes":5, "x": [1,  2]})");
        QVERIFY(store.setBool(QStringLiteral("voltwren.highlightMenubarIcon"), false));
        QCOMPARE(parsed(m_path), QJsonObject({{"voltwren.threshold", 20},
                                              {"voltwren.pollIntervalMinutes", 5},
                                              {"x", QJsonArray{1, 2}},
                                              {"voltwren.highlightMenubarIcon", false}}));
        QVERIFY(readAll(m_path).contains("\"x\": [1,  2]"));
        QCOMPARE(store.get(QStringLiteral("voltwren.pollIntervalMinutes"))->toNumber(), 5.0);

        // Corrupted meanwhile: moved aside, said once, and what is known is kept.
        writeFile(m_path, "{\"voltwren.threshold\": 3");
        QVERIFY(store.setNumber(QStringLiteral("voltwren.threshold"), 30));
        QCOMPARE(parsed(m_path).value("voltwren.pollIntervalMinutes"), QJsonValue(5));
        QCOMPARE(parsed(m_path).value("voltwren.threshold"), QJsonValue(30));
        QCOMPARE(problems.size(), 1);
        QVERIFY2(problems[0].contains(".corrupt-"), qPrintable(problems[0]));
        const QStringList aside = QFileInfo(m_path).absoluteDir().entryList({"defaults.json.corrupt-*"});
        QCOMPARE(aside.size(), 1);
        QVERIFY(problems[0].contains(aside[0]));
    }

    // A problem met while loading reaches a reporter set afterwards, once.
    void loadProblemReported() {
        QVERIFY(QDir().mkpath(QFileInfo(m_path).absolutePath()));
        writeFile(m_path, "not json");
        JsonDefaultsStore store(m_path);
        QStringList problems;
        store.setProblemReporter([&](const QString& problem) { problems << problem; });
        QCOMPARE(problems.size(), 1);
        QCOMPARE(problems[0], *store.loadProblem());
        QVERIFY(store.setBool(key, true));
        QCOMPARE(problems.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestJsonDefaultsStore)
#include "tst_jsondefaultsstore.moc"
