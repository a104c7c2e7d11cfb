#include "FakeExecutable.h"
#include "platform/linux/LinuxBundle.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

// The package's layout seen from either of its programs: bin/voltwren and
// the tray program in libexec/voltwren find the same helpers and launcher.
class LinuxBundleTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void layoutFromEitherProgram_data() {
        QTest::addColumn<QString>("program");
        QTest::newRow("the command line") << "bin/voltwren";
        QTest::newRow("the tray program") << "libexec/voltwren/voltwren-tray";
    }
    void layoutFromEitherProgram() {
        QFETCH(QString, program);
        QTemporaryDir prefix;
        QVERIFY(QDir(prefix.path()).mkpath("bin") && QDir(prefix.path()).mkpath("libexec/voltwren"));
        FakeExecutable::write(prefix.path() + "/bin", "voltwren", "exit 0");
        FakeExecutable::write(prefix.path() + "/libexec/voltwren", "voltwren-tray", "exit 0");
        FakeExecutable::write(prefix.path() + "/libexec/voltwren", "bluez-report", "exit 0");

        const LinuxBundle bundle = LinuxBundle::forExecutable(prefix.path() + '/' + program);
        QCOMPARE(bundle.auxiliaryExecutable("bluez-report"),
                 std::optional<QString>(prefix.path() + "/libexec/voltwren/bluez-report"));
        QCOMPARE(bundle.launcherPath(), prefix.path() + "/bin/voltwren");
        QCOMPARE(bundle.auxiliaryExecutable("../../bin/voltwren"), std::nullopt);
    }
};

QTEST_GUILESS_MAIN(LinuxBundleTest)
#include "tst_linuxbundle.moc"
