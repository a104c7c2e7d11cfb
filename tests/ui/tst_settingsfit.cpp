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
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

namespace {

class IgnoringWorkspace final : public Workspace {
public:
    bool openUrl(const QUrl&) override { return true; }
    bool openFolder(const QString&) override { return true; }
    bool openSystemSettings(Page) override { return true; }
};

// Sets or removes _NET_WORKAREA on the root window, as a panel's window
// manager would.
void setWorkArea(std::optional<QRect> area) {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* connection = x11->connection();
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    const QByteArray name = "_NET_WORKAREA";
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, uint16_t(name.size()), name.constData()), nullptr);
    if (area) {
        const uint32_t value[4] = {uint32_t(area->x()), uint32_t(area->y()), uint32_t(area->width()),
                                   uint32_t(area->height())};
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, root, atom->atom, XCB_ATOM_CARDINAL, 32, 4,
                            value);
    } else {
        xcb_delete_property(connection, root, atom->atom);
    }
    free(atom);
    xcb_flush(connection);
}

} // namespace

// The settings window on a 1280 × 800 X server, as on a small laptop.
class SettingsFitTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_home;

private Q_SLOTS:
    void initTestCase() { qputenv("XDG_STATE_HOME", QFile::encodeName(m_home.path())); }

    void fitsAndScrolls_data() {
        QTest::addColumn<std::optional<QRect>>("workArea");
        QTest::addColumn<QString>("name");
        QTest::newRow("no work area") << std::optional<QRect>() << "settings-1280x800";
        QTest::newRow("a 48-pixel bottom panel")
            << std::optional<QRect>(QRect(0, 0, 1280, 752)) << "settings-1280x800-panel";
    }
    void fitsAndScrolls() {
        QFETCH(std::optional<QRect>, workArea);
        QFETCH(QString, name);
        QScreen* screen = QGuiApplication::primaryScreen();
        QCOMPARE(screen->geometry(), QRect(0, 0, 1280, 800));
        setWorkArea(workArea);
        QTRY_COMPARE(screen->availableGeometry(), workArea.value_or(screen->geometry()));

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
        QVERIFY(screen->grabWindow(0).save(QStringLiteral(VOLTWREN_SCREENSHOT_DIR "/") + name + "-top.png"));

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
        QVERIFY(screen->grabWindow(0).save(QStringLiteral(VOLTWREN_SCREENSHOT_DIR "/") + name + "-end.png"));
        setWorkArea(std::nullopt);
    }

    void keysClose_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::newRow("Escape") << int(Qt::Key_Escape) << int(Qt::NoModifier);
        QTest::newRow("Ctrl+W") << int(Qt::Key_W) << int(Qt::ControlModifier);
    }
    void keysClose() {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        StateFixture fixture;
        std::unique_ptr<AppState> state = fixture.makeState();
        IgnoringWorkspace workspace;
        TestBundle bundle;
        SettingsWindowController controller({&workspace, nullptr, &bundle});
        controller.show(*state);
        QVERIFY(QTest::qWaitForWindowExposed(controller.window()));
        QTest::keyClick(controller.window(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QTRY_VERIFY(!controller.window()->isVisible());
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
