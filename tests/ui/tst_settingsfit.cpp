#include "StateDoubles.h"
#include "TestBundle.h"
#include "Xvfb.h"
#include "platform/Workspace.h"
#include "ui/SettingsWindowController.h"

#include <QApplication>
#include <QLabel>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

namespace {

class IgnoringWorkspace final : public Workspace {
public:
    bool openUrl(const QUrl&) override { return true; }
    bool openFolder(const QString&) override { return true; }
    bool openSystemSettings(Page) override { return true; }
};

} // namespace

// The settings window on a 1280 × 800 X server with no work area, as on a
// small laptop.
class SettingsFitTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_home;

private Q_SLOTS:
    void initTestCase() { qputenv("XDG_STATE_HOME", QFile::encodeName(m_home.path())); }

    void fitsAndScrolls() {
        QScreen* screen = QGuiApplication::primaryScreen();
        QCOMPARE(screen->geometry(), QRect(0, 0, 1280, 800));

        StateFixture fixture;
        std::unique_ptr<AppState> state = fixture.makeState();
        IgnoringWorkspace workspace;
        TestBundle bundle;
        bundle.info = {{"CFBundleName", "Voltwren"}, {"CFBundleShortVersionString", "1.4.2"}};
        SettingsWindowController controller({&workspace, nullptr, &bundle});
        controller.show(*state);
        SettingsView* window = controller.window();
        QVERIFY(QTest::qWaitForWindowExposed(window));

        // Its whole frame on the free part of the screen, and room to resize.
        QVERIFY2(screen->availableGeometry().height() >= window->frameGeometry().height(),
                 qPrintable(QString::number(window->frameGeometry().height())));
        QCOMPARE(window->width(), 480);
        QCOMPARE(window->minimumWidth(), window->maximumWidth());
        QVERIFY(window->minimumHeight() < window->height());
        QCOMPARE(window->maximumHeight(), 840);
        QVERIFY(
            screen->grabWindow(0).save(QStringLiteral(VOLTWREN_SCREENSHOT_DIR "/settings-1280x800-top.png")));

        // Made shorter still, the form scrolls to its last section.
        window->windowHandle()->resize(480, 420);
        QTRY_COMPARE(window->height(), 420);
        auto* scroll = window->findChild<QScrollArea*>();
        QVERIFY(scroll);
        scroll->verticalScrollBar()->triggerAction(QAbstractSlider::SliderToMaximum);
        const QLabel* version = window->findChild<QLabel*>("versionLine");
        QVERIFY(version);
        const QRect shown(version->mapTo(scroll->viewport(), QPoint()), version->size());
        QVERIFY2(scroll->viewport()->rect().contains(shown), qPrintable(QString::number(shown.y())));
        QTest::qWait(200);
        QVERIFY(
            screen->grabWindow(0).save(QStringLiteral(VOLTWREN_SCREENSHOT_DIR "/settings-1280x800-end.png")));

        // Escape and Ctrl+W close it.
        for (const QKeyCombination key : {QKeyCombination(Qt::Key_Escape), Qt::ControlModifier | Qt::Key_W}) {
            controller.show(*state);
            QVERIFY(QTest::qWaitForWindowExposed(window));
            QTest::keyClick(window, key.key(), key.keyboardModifiers());
            QTRY_VERIFY(!window->isVisible());
        }
    }
};

int main(int argc, char** argv) {
    Xvfb x;
    if (!x.isValid()) {
        qWarning("Xvfb did not start");
        return 1;
    }
    qputenv("DISPLAY", x.display().toLocal8Bit());
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication application(argc, argv);
    SettingsFitTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_settingsfit.moc"
