#include "BluezMock.h"
#include "PrivateBus.h"
#include "ProgramRun.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Runs PROGRAM to its end (bounded); its exit code, or -1. Output in OUTPUT.
int run(const QString& program, const QStringList& arguments, QString* output = nullptr,
        const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    const bool finished = process.waitForFinished(240000);
    if (output)
        *output = QString::fromUtf8(process.readAll());
    return finished && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

} // namespace

// What a user installs: the layout under a prefix, its validators, and the
// program running from there with its helpers found beside it.
class InstallTest : public QObject {
    Q_OBJECT

    BluezMock m_bluez;

    // The installed program polls the mock and finds its mouse: the report
    // tool was found relative to the installed executable.
    void firstPollFindsTheMouse(const QString& program) {
        QVERIFY(QFileInfo(program).isExecutable());
        ProgramRun voltwren(&m_bluez.bus(), nullptr);
        voltwren.program = program;
        QVERIFY(voltwren.start());
        QTRY_VERIFY_WITH_TIMEOUT(
            voltwren.log().contains("bluez-report scan found 1 connected device(s): Desk Mouse"), 20000);
        QVERIFY(voltwren.log().contains("] Device: Desk Mouse\n  Address: AA:BB:CC:DD:EE:01\n"));
        QCOMPARE(voltwren.stop(), 0);
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_bluez.isValid());
        QVERIFY(!m_bluez.addAdapter().isEmpty());
        QVERIFY(!m_bluez.addConnectedDevice("AA:BB:CC:DD:EE:01", "Desk Mouse", "input-mouse", 64).isEmpty());
    }

    void installUnderAPrefix() {
        QTemporaryDir destination;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DESTDIR", destination.path());
        QString output;
        QCOMPARE(run(VOLTWREN_CMAKE, {"--install", VOLTWREN_BUILD_DIR, "--prefix", "/opt/voltwren"}, &output,
                     environment),
                 0);
        const QString prefix = destination.path() + "/opt/voltwren";
        for (const char* file :
             {"bin/voltwren", "libexec/voltwren/voltwren-tray", "libexec/voltwren/voltwren-history",
              "libexec/voltwren/history-window.so", "libexec/voltwren/Fenwright",
              "libexec/voltwren/bluez-report", "libexec/voltwren/update-fetch",
              "share/applications/app.voltwren.Voltwren.desktop",
              "share/metainfo/app.voltwren.Voltwren.metainfo.xml",
              "share/icons/hicolor/scalable/apps/app.voltwren.Voltwren.svg",
              "share/icons/hicolor/16x16/apps/app.voltwren.Voltwren.png",
              "share/icons/hicolor/256x256/apps/app.voltwren.Voltwren.png",
              "share/icons/hicolor/symbolic/apps/app.voltwren.Voltwren-symbolic.svg",
              "share/man/man1/voltwren.1", "share/voltwren/translations/voltwren_de.qm",
              "share/voltwren/translations/voltwren_fr.qm", "share/voltwren/translations/voltwren_es.qm"})
            QVERIFY2(QFileInfo::exists(prefix + '/' + file), qPrintable(QString(file) + "\n" + output));

        QCOMPARE(run("desktop-file-validate", {prefix + "/share/applications/app.voltwren.Voltwren.desktop"},
                     &output),
                 0);
        QCOMPARE(run("appstreamcli",
                     {"validate", "--no-net", prefix + "/share/metainfo/app.voltwren.Voltwren.metainfo.xml"},
                     &output),
                 0);
        QVERIFY2(output.contains("Validation was successful"), qPrintable(output));

        firstPollFindsTheMouse(prefix + "/bin/voltwren");
    }

    void debianPackage() {
        QTemporaryDir work;
        QString output;
        QCOMPARE(run(VOLTWREN_CPACK, {"--config", VOLTWREN_BUILD_DIR "/CPackConfig.cmake", "-B", work.path()},
                     &output),
                 0);
        const QStringList packages = QDir(work.path()).entryList({"voltwren_*.deb"}, QDir::Files);
        QVERIFY2(packages.size() == 1, qPrintable(output));
        const QString package = work.filePath(packages.constFirst());
        QVERIFY(package.endsWith("voltwren_" VOLTWREN_VERSION "_amd64.deb"));

        QCOMPARE(run("dpkg-deb", {"--info", package}, &output), 0);
        const QString depends = output.section("Depends:", 1).section('\n', 0, 0);
        QVERIFY2(depends.contains("libqt6core6") && depends.contains("libqt6widgets6") &&
                     depends.contains("libqt6dbus6") && depends.contains("libsqlite3-0") &&
                     !depends.contains("libqt6charts6"),
                 qPrintable(output));
        QVERIFY2(output.contains("Recommends: bluez"), qPrintable(output));
        QVERIFY2(output.contains("Version: " VOLTWREN_VERSION), qPrintable(output));

        const QString root = work.path() + "/root";
        QCOMPARE(run("dpkg-deb", {"-x", package, root}, &output), 0);
        firstPollFindsTheMouse(root + "/usr/bin/voltwren");
    }
};

QTEST_GUILESS_MAIN(InstallTest)
#include "tst_install.moc"
