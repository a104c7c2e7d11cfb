#include "AppState.h"
#include "StdoutCapture.h"
#include "app/LoginItem.h"
#include "platform/linux/JsonDefaultsStore.h"
#include "platform/linux/XdgAutostartLoginItem.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <sys/fsuid.h>
#include <unistd.h>

using Status = LoginItemService::Status;
Q_DECLARE_METATYPE(Status)

namespace {

const QString program = QStringLiteral("/opt/Voltwren Test/bin/voltwren");

QByteArray entry(const QByteArray& exec, const QByteArray& extra = {}) {
    return "# hand-written\n[Desktop Entry]\nType=Application\nName=Voltwren\nExec=" + exec + '\n' + extra +
           "\n[Desktop Action Other]\nExec=/usr/bin/voltwren\n";
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& contents) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(contents);
}

// Folder permissions do not bind root, so drop to user nobody for file
// access on this thread only, while the object lives.
class UnprivilegedFiles {
public:
    UnprivilegedFiles()
        : m_root(geteuid() == 0) {
        if (m_root) {
            setfsgid(65534);
            setfsuid(65534);
        }
    }
    ~UnprivilegedFiles() {
        if (m_root) {
            setfsuid(0);
            setfsgid(0);
        }
    }

private:
    bool m_root;
};

} // namespace

class XdgAutostartTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_path;

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        qputenv("XDG_STATE_HOME", QFile::encodeName(m_dir.path() + "/state"));
        m_path = m_dir.path() + "/config/autostart/app.voltwren.Voltwren.desktop";
    }

    void cleanup() { QDir(m_dir.path() + "/config").removeRecursively(); }

    // What updateLaunchAtLogin does to the entry, whatever it finds there.
    void decisionRules_data() {
        QTest::addColumn<QByteArray>("existing"); // "-" none, "/" a folder
        QTest::addColumn<bool>("desired");
        QTest::addColumn<Status>("before");
        QTest::addColumn<QString>("after"); // written, unchanged, absent

        const QByteArray ours = "\"/opt/Voltwren Test/bin/voltwren\"";
        QTest::newRow("none, on registers") << QByteArray("-") << true << Status::notRegistered << "written";
        QTest::newRow("none, off requests nothing")
            << QByteArray("-") << false << Status::notRegistered << "absent";
        QTest::newRow("enabled, on writes nothing")
            << entry(ours, "Comment=kept") << true << Status::enabled << "unchanged";
        QTest::newRow("enabled with arguments, on writes nothing")
            << entry(ours + " --flag %U", "X-GNOME-Autostart-enabled=true") << true << Status::enabled
            << "unchanged";
        QTest::newRow("enabled, off unregisters") << entry(ours) << false << Status::enabled << "absent";
        QTest::newRow("Hidden, on rewrites")
            << entry(ours, "Hidden=true") << true << Status::requiresApproval << "written";
        QTest::newRow("Hidden, off requests nothing")
            << entry(ours, "Hidden=true") << false << Status::requiresApproval << "unchanged";
        QTest::newRow("switched off, on rewrites") << entry(ours, "X-GNOME-Autostart-enabled=false") << true
                                                   << Status::requiresApproval << "written";
        QTest::newRow("other program, off requests nothing")
            << entry("/usr/bin/voltwren") << false << Status::notFound << "unchanged";
        QTest::newRow("other program, on replaces it")
            << entry("/usr/bin/voltwren") << true << Status::notFound << "written";
        QTest::newRow("unclosed quote is not ours")
            << entry("\"/opt/Voltwren Test/bin/voltwren") << false << Status::notFound << "unchanged";
        QTest::newRow("not a desktop entry")
            << QByteArray("Exec=/opt/x\n") << false << Status::notFound << "unchanged";
        QTest::newRow("folder in its place") << QByteArray("/") << false << Status::notFound << "unchanged";
    }
    void decisionRules() {
        QFETCH(QByteArray, existing);
        QFETCH(bool, desired);
        QFETCH(Status, before);
        QFETCH(QString, after);

        QVERIFY(QDir().mkpath(QFileInfo(m_path).absolutePath()));
        if (existing == "/")
            QVERIFY(QDir().mkpath(m_path));
        else if (existing != "-")
            writeFile(m_path, existing);
        XdgAutostartLoginItem item(m_path, program);
        QCOMPARE(item.status(), before);

        QByteArray printed;
        {
            StdoutCapture out;
            updateLaunchAtLogin(desired, item);
            printed = out.contents();
        }
        QCOMPARE(printed, QByteArray());

        if (after == "absent") {
            QVERIFY(!QFileInfo::exists(m_path));
            QCOMPARE(item.status(), Status::notRegistered);
        } else if (after == "unchanged") {
            if (existing == "/")
                QVERIFY(QFileInfo(m_path).isDir());
            else
                QCOMPARE(readFile(m_path), existing);
            QCOMPARE(item.status(), before);
        } else {
            QCOMPARE(readFile(m_path),
                     QByteArray("[Desktop Entry]\nType=Application\nName=Voltwren\n"
                                "Exec=\"/opt/Voltwren Test/bin/voltwren\"\n"
                                "Icon=app.voltwren.Voltwren\nX-GNOME-Autostart-enabled=true\n"));
            QCOMPARE(item.status(), Status::enabled);
        }
    }

    // Any path, however odd, comes back from the written entry unchanged, in
    // an entry the desktop's own validator accepts.
    void writtenEntryIsValid_data() {
        QTest::addColumn<QString>("executable");
        QTest::newRow("plain") << "/usr/bin/voltwren";
        QTest::newRow("space") << "/home/me/My Programs/voltwren";
        QTest::newRow("reserved characters") << "/tmp/a$b`c\"d\\e'f~g#h;i&j|k<l>m*n?o(p)/voltwren";
        QTest::newRow("percent") << "/tmp/100%/voltwren";
        QTest::newRow("tab and non-ASCII") << "/tmp/t\tab/Ünïcödé ☂/voltwren";
    }
    void writtenEntryIsValid() {
        QFETCH(QString, executable);
        const QString validator = QStandardPaths::findExecutable("desktop-file-validate");
        QVERIFY2(!validator.isEmpty(),
                 "desktop-file-validate is missing (desktop-file-utils, scripts/setup)");

        XdgAutostartLoginItem item(m_path, executable);
        QCOMPARE(item.registerItem(), std::nullopt);
        QCOMPARE(item.status(), Status::enabled);
        QCOMPARE(XdgAutostartLoginItem(m_path, executable + "x").status(), Status::notFound);

        QProcess validate;
        validate.setProcessChannelMode(QProcess::MergedChannels);
        validate.start(validator, {m_path});
        QVERIFY(validate.waitForFinished(30000));
        const QByteArray report = validate.readAll();
        QVERIFY2(validate.exitStatus() == QProcess::NormalExit && validate.exitCode() == 0 &&
                     report.isEmpty(),
                 report.constData());
    }

    void readOnlyFolderKeepsToggleOn() {
        const QString autostart = QFileInfo(m_path).absolutePath();
        QVERIFY(QDir().mkpath(autostart));
        // User nobody must reach the folder, then be refused inside it.
        QVERIFY(QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                        QFile::ReadGroup | QFile::ExeGroup |
                                                        QFile::ReadOther | QFile::ExeOther));
        QVERIFY(QFile::setPermissions(autostart, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup |
                                                     QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther));

        JsonDefaultsStore defaults(m_dir.path() + "/defaults.json");
        XdgAutostartLoginItem item(m_path, program);
        AppState::Services services;
        services.defaults = &defaults;
        services.loginItems = &item;
        services.firstPollTimeout = std::chrono::hours(1);
        AppState state(services);
        QCOMPARE(state.launchAtLogin(), false);

        QStringList lines;
        {
            StdoutCapture out;
            {
                UnprivilegedFiles unprivileged;
                state.setLaunchAtLogin(true);
            }
            lines = out.lines();
        }
        QFile::setPermissions(autostart, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        QCOMPARE(lines.size(), 1);
        QVERIFY2(
            lines.first().startsWith(
                "Voltwren: failed to update launch-at-login registration: cannot write " + m_path + ": "),
            qPrintable(lines.first()));
        QVERIFY2(lines.first().contains("ermission denied"), qPrintable(lines.first()));
        QCOMPARE(state.launchAtLogin(), true);
        QVERIFY(!QFileInfo::exists(m_path));
    }
};

QTEST_GUILESS_MAIN(XdgAutostartTest)
#include "tst_xdgautostart.moc"
