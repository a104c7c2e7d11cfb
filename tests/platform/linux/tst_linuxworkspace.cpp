#include "FakeExecutable.h"
#include "platform/linux/LinuxWorkspace.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using Page = Workspace::Page;

namespace {

QString readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace

// The settings pages are started from PATH: fake programs there record how
// they were called.
class LinuxWorkspaceTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() {
        m_savedPath = qgetenv("PATH");
        m_savedDesktop = qgetenv("XDG_CURRENT_DESKTOP");
    }
    void cleanup() {
        qputenv("PATH", m_savedPath);
        qputenv("XDG_CURRENT_DESKTOP", m_savedDesktop);
    }

    void opensTheDesktopsOwnPage_data() {
        QTest::addColumn<QString>("desktop");
        QTest::addColumn<QStringList>("installed");
        QTest::addColumn<Page>("page");
        QTest::addColumn<QString>("expected"); // the program and its arguments; empty: nothing starts

        const QStringList all{"gnome-control-center", "systemsettings", "blueman-manager"};
        QTest::newRow("GNOME Bluetooth")
            << "GNOME" << all << Page::bluetooth << "gnome-control-center bluetooth";
        QTest::newRow("Ubuntu's GNOME notifications")
            << "ubuntu:GNOME" << all << Page::notifications << "gnome-control-center notifications";
        QTest::newRow("KDE Bluetooth") << "KDE" << all << Page::bluetooth << "systemsettings kcm_bluetooth";
        QTest::newRow("KDE notifications")
            << "KDE" << all << Page::notifications << "systemsettings kcm_notifications";
        QTest::newRow("Xfce Bluetooth: Blueman") << "XFCE" << all << Page::bluetooth << "blueman-manager";
        QTest::newRow("Xfce notifications: nothing") << "XFCE" << all << Page::notifications << "";
        QTest::newRow("GNOME without its settings: Blueman")
            << "GNOME" << QStringList{"blueman-manager"} << Page::bluetooth << "blueman-manager";
        QTest::newRow("KDE without its settings: no notifications page")
            << "KDE" << QStringList{"blueman-manager"} << Page::notifications << "";
        QTest::newRow("nothing installed") << "" << QStringList{} << Page::bluetooth << "";
    }
    void opensTheDesktopsOwnPage() {
        QFETCH(QString, desktop);
        QFETCH(QStringList, installed);
        QFETCH(Page, page);
        QFETCH(QString, expected);

        QTemporaryDir bin;
        QVERIFY(bin.isValid());
        const QString record = bin.filePath("record");
        for (const QString& name : installed)
            FakeExecutable::write(
                bin.path(), name,
                QStringLiteral("printf '%s' \"${0##*/}\" \"${1:+ $1}\" > '%1'").arg(record));
        // A file without its run bit is not a program.
        if (!installed.contains("systemsettings"))
            FakeExecutable::write(bin.path(), "systemsettings", "exit 0", false);
        qputenv("PATH", bin.path().toLocal8Bit());
        qputenv("XDG_CURRENT_DESKTOP", desktop.toLocal8Bit());

        LinuxWorkspace workspace;
        QCOMPARE(workspace.openSystemSettings(page), !expected.isEmpty());
        if (!expected.isEmpty())
            QTRY_COMPARE_WITH_TIMEOUT(readAll(record), expected, 10000);
        else
            QVERIFY(!QFile::exists(record));
    }

private:
    QByteArray m_savedPath;
    QByteArray m_savedDesktop;
};

QTEST_GUILESS_MAIN(LinuxWorkspaceTest)
#include "tst_linuxworkspace.moc"
