#include "LogEntries.h"
#include "app/LaunchLocationChecker.h"
#include "platform/LaunchLocationPlatform.h"

#include <QTemporaryDir>
#include <QTest>

namespace {

// Answers as told and records every operation, in order.
class SimulatedPlatform final : public LaunchLocationPlatform {
public:
    bool relocatable = true;
    QString bundle;
    std::optional<bool> readOnly;
    int response = 0;
    bool destinationExists = false;
    QString trashError;
    QString copyError;
    bool xattrStarts = true;
    bool openStarts = true;
    QStringList events;

    bool supportsRelocation() const override { return relocatable; }
    QString bundlePath() const override { return bundle; }
    std::optional<bool> isOnReadOnlyVolume(const QString&) const override { return readOnly; }
    int runModalAlert(const Alert& alert) override {
        events << QStringLiteral("alert %1|%2|%3|%4")
                      .arg(alert.style == AlertStyle::warning ? "warning" : "informational",
                           alert.messageText, alert.informativeText, alert.buttons.join(','));
        return response;
    }
    bool exists(const QString& path) const override {
        return destinationExists && path.startsWith("/Applications/");
    }
    std::optional<QString> moveToTrash(const QString& path) override {
        events << "trash " + path;
        return trashError.isEmpty() ? std::nullopt : std::optional(trashError);
    }
    std::optional<QString> copyRecursively(const QString& source, const QString& destination) override {
        events << "copy " + source + " -> " + destination;
        return copyError.isEmpty() ? std::nullopt : std::optional(copyError);
    }
    bool runAndWait(const QString& program, const QStringList& arguments) override {
        events << "run " + program + ' ' + arguments.join(' ');
        return xattrStarts;
    }
    bool startDetached(const QString& program, const QStringList& arguments) override {
        events << "start " + program + ' ' + arguments.join(' ');
        return openStarts;
    }
    void exit(int status) override { events << "exit " + QString::number(status); }
};

const QString prompt = "alert informational|Move to Applications Folder?|Voltwren needs to run from your "
                       "Applications folder to check for and install updates. Move it there now?|"
                       "Move to Applications,Quit";
const QString copy = "copy /Volumes/Voltwren/Voltwren.app -> /Applications/Voltwren.app";
const QString xattr = "run /usr/bin/xattr -dr com.apple.quarantine /Applications/Voltwren.app";
const QString open = "start /usr/bin/open /Applications/Voltwren.app";
const QString declined = "LaunchLocationChecker: user declined to move \u2014 quitting";
const QString moved = "LaunchLocationChecker: moved to /Applications/Voltwren.app, relaunching";

QString failureAlert(const QString& error) {
    return "alert warning|Couldn't Move Voltwren|Please move Voltwren.app to your Applications folder "
           "manually, "
           "then relaunch it.\n\n" +
           error + '|';
}
QString failureLog(const QString& error) {
    return "LaunchLocationChecker: move to /Applications failed: " + error;
}

} // namespace

class LaunchLocationTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_state;

private Q_SLOTS:
    void initTestCase() { qputenv("XDG_STATE_HOME", QFile::encodeName(m_state.path())); }

    void checkLocationAtLaunch_data() {
        QTest::addColumn<bool>("relocatable");
        QTest::addColumn<QString>("bundle");
        QTest::addColumn<int>("readOnly"); // -1: the query fails
        QTest::addColumn<int>("response");
        QTest::addColumn<bool>("destinationExists");
        QTest::addColumn<QString>("trashError");
        QTest::addColumn<QString>("copyError");
        QTest::addColumn<bool>("xattrStarts");
        QTest::addColumn<bool>("openStarts");
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<QStringList>("log");

        const QString downloads = "/Users/me/Downloads/Voltwren.app";
        const QString image = "/Volumes/Voltwren/Voltwren.app";
        const QString translocated = "/private/var/folders/x/AppTranslocation/1234/d/Voltwren.app";
        QTest::newRow("writable folder: continues") << true << downloads << 0 << 0 << false << ""
                                                    << "" << true << true << QStringList() << QStringList();
        QTest::newRow("volume query fails: continues")
            << true << image << -1 << 0 << false << ""
            << "" << true << true << QStringList() << QStringList();
        QTest::newRow("no Applications folder on this system: continues")
            << false << translocated << 1 << 0 << false << ""
            << "" << true << true << QStringList() << QStringList();
        QTest::newRow("read-only, Quit")
            << true << image << 1 << 1 << false << ""
            << "" << true << true << QStringList{prompt, "exit 0"} << QStringList{declined};
        QTest::newRow("read-only, prompt closed otherwise")
            << true << image << 1 << -1 << false << ""
            << "" << true << true << QStringList{prompt, "exit 0"} << QStringList{declined};
        QTest::newRow("translocated on a writable volume, moved")
            << true << translocated << 0 << 0 << false << ""
            << "" << true << true
            << QStringList{prompt, "copy " + translocated + " -> /Applications/Voltwren.app", xattr, open,
                           "exit 0"}
            << QStringList{moved};
        QTest::newRow("old copy trashed first")
            << true << image + '/' << 1 << 0 << true << ""
            << "" << true << true
            << QStringList{prompt, "trash /Applications/Voltwren.app", copy, xattr, open, "exit 0"}
            << QStringList{moved};
        QTest::newRow("old copy cannot be trashed: nothing copied")
            << true << image << 1 << 0 << true << "Permission denied"
            << "" << true << true
            << QStringList{prompt, "trash /Applications/Voltwren.app", failureAlert("Permission denied"),
                           "exit 0"}
            << QStringList{failureLog("Permission denied")};
        QTest::newRow("copy fails") << true << image << 1 << 0 << false << ""
                                    << "No space left on device" << true << true
                                    << QStringList{prompt, copy, failureAlert("No space left on device"),
                                                   "exit 0"}
                                    << QStringList{failureLog("No space left on device")};
        QTest::newRow("quarantine tool cannot start: move goes on")
            << true << image << 1 << 0 << false << ""
            << "" << false << true << QStringList{prompt, copy, xattr, open, "exit 0"} << QStringList{moved};
        QTest::newRow("relaunch tool cannot start: still quits")
            << true << image << 1 << 0 << false << ""
            << "" << true << false << QStringList{prompt, copy, xattr, open, "exit 0"} << QStringList{moved};
    }
    void checkLocationAtLaunch() {
        SimulatedPlatform platform;
        QFETCH(bool, relocatable);
        QFETCH(QString, bundle);
        QFETCH(int, readOnly);
        QFETCH(int, response);
        QFETCH(bool, destinationExists);
        QFETCH(QString, trashError);
        QFETCH(QString, copyError);
        QFETCH(bool, xattrStarts);
        QFETCH(bool, openStarts);
        QFETCH(QStringList, events);
        QFETCH(QStringList, log);
        platform.relocatable = relocatable;
        platform.bundle = bundle;
        platform.readOnly = readOnly < 0 ? std::nullopt : std::optional<bool>(readOnly == 1);
        platform.response = response;
        platform.destinationExists = destinationExists;
        platform.trashError = trashError;
        platform.copyError = copyError;
        platform.xattrStarts = xattrStarts;
        platform.openStarts = openStarts;
        clearLog();

        LaunchLocationChecker::checkLocationAtLaunch(platform);

        QCOMPARE(LaunchLocationChecker::needsMove(platform), !events.isEmpty());
        QCOMPARE(platform.events, events);
        QCOMPARE(logEntries(), log);
    }
};

QTEST_GUILESS_MAIN(LaunchLocationTest)
#include "tst_launchlocation.moc"
