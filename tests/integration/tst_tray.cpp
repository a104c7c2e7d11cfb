#include "BluezMock.h"
#include "PrivateBus.h"
#include "ProgramRun.h"
#include "TrayWatcherMock.h"
#include "Xvfb.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Reads a(iiay) into one blob, to tell two icons apart.
QByteArray readPixmaps(const QDBusArgument& argument) {
    QByteArray all;
    argument.beginArray();
    while (!argument.atEnd()) {
        int width = 0;
        int height = 0;
        QByteArray bytes;
        argument.beginStructure();
        argument >> width >> height >> bytes;
        argument.endStructure();
        all += QByteArray::number(width) + 'x' + QByteArray::number(height) + bytes;
    }
    argument.endArray();
    return all;
}

QByteArray pixmaps(const QVariant& value) {
    return readPixmaps(value.value<QDBusArgument>());
}

// The tooltip's title and text, from (s a(iiay) s s).
QString toolTipText(const QVariant& value) {
    const QDBusArgument argument = value.value<QDBusArgument>();
    QString iconName;
    QString title;
    QString text;
    argument.beginStructure();
    argument >> iconName;
    readPixmaps(argument);
    argument >> title >> text;
    argument.endStructure();
    return title + QLatin1Char('\n') + text;
}

// The desktop portal's settings, played by dbusmock: its color-scheme is
// dark, wrapped as Read wraps it, and Change(value) emits SettingChanged.
bool startPortal(const PrivateBus& session, std::unique_ptr<DbusMock>& portal) {
    const QString service = QStringLiteral("org.freedesktop.portal.Desktop");
    const QString path = QStringLiteral("/org/freedesktop/portal/desktop");
    const QString settings = QStringLiteral("org.freedesktop.portal.Settings");
    portal = std::make_unique<DbusMock>(session, false, QStringList{service, path, settings}, service);
    for (const QVariantList& method :
         {QVariantList{settings, "Read", "ss", "v", "ret = dbus.UInt32(1, variant_level=2)"},
          QVariantList{settings, "Change", "u", "",
                       "self.EmitSignal('" + settings +
                           "', 'SettingChanged', 'ssv', "
                           "['org.freedesktop.appearance', 'color-scheme', dbus.UInt32(args[0])])"}}) {
        QDBusMessage add =
            QDBusMessage::createMethodCall(service, path, "org.freedesktop.DBus.Mock", "AddMethod");
        add.setArguments(method);
        if (!portal->isValid() || session.connection().call(add).type() != QDBusMessage::ReplyMessage)
            return false;
    }
    return true;
}

} // namespace

// The whole program under Xvfb, with a panel played by the test: a tray
// watcher that records the item that registers and clicks it over D-Bus.
class TrayTest : public QObject {
    Q_OBJECT

    BluezMock m_bluez;
    QString m_mouse;

    // xprop's account of the window titled TITLE.
    static QString windowProperties(const Xvfb& x, const QString& title) {
        QProcess xprop;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DISPLAY"), x.display());
        xprop.setProcessEnvironment(environment);
        xprop.start(QStringLiteral("xprop"), {QStringLiteral("-name"), title, QStringLiteral("WM_CLASS"),
                                              QStringLiteral("_NET_WM_ICON")});
        if (!xprop.waitForFinished(10000))
            return {};
        return QString::fromUtf8(xprop.readAllStandardOutput());
    }

    void screenshot(const Xvfb& x, const QString& name) {
        QProcess grab;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DISPLAY"), x.display());
        grab.setProcessEnvironment(environment);
        grab.start(QStringLiteral(VOLTWREN_SCREEN_GRAB),
                   {QStringLiteral(VOLTWREN_SCREENSHOT_DIR "/") + name});
        QVERIFY(grab.waitForFinished(20000));
        QCOMPARE(grab.exitCode(), 0);
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_bluez.isValid());
        QVERIFY(!m_bluez.addAdapter().isEmpty());
        m_mouse = m_bluez.addConnectedDevice("AA:BB:CC:DD:EE:01", "Desk Mouse", "input-mouse", 50);
        QVERIFY(!m_mouse.isEmpty());
    }

    void init() {
        QVERIFY(m_bluez.setProperty(m_mouse, "org.bluez.Battery1", "Percentage",
                                    QVariant::fromValue(static_cast<uchar>(50))));
    }

    // Click, tooltip, alert icon and a second launch, with a panel already
    // there, on a desktop that prefers dark colours.
    void userStory() {
        Xvfb x;
        QVERIFY(x.isValid());
        PrivateBus session(QStringLiteral("session"));
        QVERIFY(session.isValid());
        // Listing items as GNOME's extension does.
        TrayWatcherMock tray(session, true, 0, QStringLiteral("%1@/StatusNotifierItem"));
        QVERIFY(tray.isValid());
        std::unique_ptr<DbusMock> portal;
        QVERIFY(startPortal(session, portal));
        ProgramRun voltwren(&m_bluez.bus(), &session, x.display());
        voltwren.writeDefaults(R"({"voltwren.threshold": 20})");
        QVERIFY(voltwren.start());
        QVERIFY2(voltwren.waitForOutput("dark colours, as the desktop prefers"),
                 qPrintable(voltwren.output()));

        QTRY_COMPARE_WITH_TIMEOUT(tray.registeredItems().size(), 1, 20000);
        const QString item = tray.registeredItems().constFirst();
        QTRY_VERIFY_WITH_TIMEOUT(toolTipText(tray.itemProperty(item, "ToolTip")).contains("Desk Mouse: 50%"),
                                 20000);
        const QByteArray normalIcon = pixmaps(tray.itemProperty(item, "IconPixmap"));

        // The mouse drains; a click opens the panel, which polls anew.
        QVERIFY(m_bluez.setProperty(m_mouse, "org.bluez.Battery1", "Percentage",
                                    QVariant::fromValue(static_cast<uchar>(10))));
        QVERIFY(tray.callItem(item, "Activate", {0, 0}));
        QVERIFY2(voltwren.waitForOutput("Voltwren [debug]: device panel shown: Desk Mouse 50%"),
                 qPrintable(voltwren.output()));
        QTRY_VERIFY_WITH_TIMEOUT(toolTipText(tray.itemProperty(item, "ToolTip")).contains("Desk Mouse: 10%"),
                                 20000);
        QTRY_VERIFY_WITH_TIMEOUT(pixmaps(tray.itemProperty(item, "IconPixmap")) != normalIcon, 10000);
        QTest::qWait(500); // let the panel redraw with the new list
        screenshot(x, QStringLiteral("tray-panel-xvfb.png"));

        // A second launch opens the first one's panel and leaves.
        const qsizetype shown = voltwren.output().count("device panel shown:");
        QVERIFY(tray.callItem(item, "Activate", {0, 0})); // closes it first
        QString second;
        QCOMPARE(voltwren.runToEnd({}, &second), 0);
        QVERIFY2(second.contains("already running"), qPrintable(second));
        QTRY_VERIFY_WITH_TIMEOUT(voltwren.output().count("device panel shown:") > shown, 10000);

        // The watcher lists the icon: it is not registered twice.
        QVERIFY2(voltwren.waitForOutput("the tray lists the icon"), qPrintable(voltwren.output()));
        QCOMPARE(tray.registeredItems().size(), 1);

        // The settings window tells the desktop whose it is: the entry's
        // StartupWMClass is its class, and it has the application's icon.
        QDBusMessage show = QDBusMessage::createMethodCall("app.voltwren.Voltwren", "/app/voltwren/Voltwren",
                                                           "app.voltwren.Voltwren1", "ShowSettings");
        QCOMPARE(session.connection().call(show).type(), QDBusMessage::ReplyMessage);
        QFile entry(QStringLiteral(VOLTWREN_STAGE_DIR "/share/applications/app.voltwren.Voltwren.desktop"));
        QVERIFY(entry.open(QIODevice::ReadOnly));
        const QString wmClass =
            QString::fromUtf8(entry.readAll()).section("StartupWMClass=", 1).section('\n', 0, 0);
        QString window;
        QTRY_VERIFY_WITH_TIMEOUT((window = windowProperties(x, "Voltwren Settings")).contains("WM_CLASS"),
                                 10000);
        QVERIFY2(
            window.section("WM_CLASS(STRING) = ", 1).section('\n', 0, 0).endsWith(", \"" + wmClass + '"'),
            qPrintable(window.left(200)));
        QVERIFY(window.contains("_NET_WM_ICON(CARDINAL) = "));

        // The desktop turns light again while it runs.
        QDBusMessage light = QDBusMessage::createMethodCall("org.freedesktop.portal.Desktop",
                                                            "/org/freedesktop/portal/desktop",
                                                            "org.freedesktop.portal.Settings", "Change");
        light << uint(2);
        QCOMPARE(session.connection().call(light).type(), QDBusMessage::ReplyMessage);
        QVERIFY2(voltwren.waitForOutput("the platform theme's colours"), qPrintable(voltwren.output()));
        QCOMPARE(voltwren.stop(), 0);
    }

    // A panel that starts after the program still gets the icon.
    void lateTrayHost() {
        Xvfb x;
        QVERIFY(x.isValid());
        PrivateBus session(QStringLiteral("session"));
        QVERIFY(session.isValid());
        ProgramRun voltwren(&m_bluez.bus(), &session, x.display());
        QVERIFY(voltwren.start());
        QVERIFY2(voltwren.waitForOutput("waiting for a system tray"), qPrintable(voltwren.output()));
        QVERIFY(voltwren.waitForOutput("Refreshed battery states")); // monitoring goes on meanwhile

        TrayWatcherMock tray(session, false);
        QVERIFY(tray.isValid());
        QTest::qWait(300);
        QVERIFY(tray.registeredItems().isEmpty()); // a watcher without a host is no tray yet
        QVERIFY(tray.registerHost());
        QTRY_VERIFY2_WITH_TIMEOUT(tray.registeredItems().size() == 1, qPrintable(voltwren.output()), 20000);
        QCOMPARE(voltwren.output().count("waiting for a system tray"), 1);
        QCOMPARE(voltwren.stop(), 0);
    }

    // No poll is due all along (the interval stays at its default): every
    // change reaches the user because BlueZ, logind or a client announced it.
    // The watcher loses the item once, as seen in a login race.
    void liveReadings() {
        Xvfb x;
        QVERIFY(x.isValid());
        PrivateBus session(QStringLiteral("session"));
        QVERIFY(session.isValid());
        TrayWatcherMock tray(session, true, 1);
        QVERIFY(tray.isValid());
        QTemporaryDir dir;
        const QString notifyLog = dir.path() + "/notify.log";
        DbusMock notifications(session, false, {"-t", "notification_daemon"}, "org.freedesktop.Notifications",
                               notifyLog);
        DbusMock logind(m_bluez.bus(), true, {"-t", "logind"}, "org.freedesktop.login1");
        QVERIFY(notifications.isValid() && logind.isValid());
        ProgramRun voltwren(&m_bluez.bus(), &session, x.display());
        voltwren.writeDefaults(R"({"voltwren.threshold": 20, "voltwren.sendNotifications": true})");
        QVERIFY(voltwren.start());
        QTRY_COMPARE_WITH_TIMEOUT(tray.registeredItems().size(), 1, 20000);
        // Not listed, it registers again.
        QVERIFY2(voltwren.waitForOutput("registering it again", 20000), qPrintable(voltwren.output()));
        QTRY_COMPARE_WITH_TIMEOUT(tray.registeredItems().size(), 2, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(voltwren.log().contains("registered it again"), 5000);
        const QString item = tray.registeredItems().constLast();
        const auto toolTip = [&] { return toolTipText(tray.itemProperty(item, "ToolTip")); };
        const auto notified = [&] {
            QFile log(notifyLog);
            return log.open(QIODevice::ReadOnly)
                       ? QString::fromUtf8(log.readAll()).split('\n').filter(" Notify ")
                       : QStringList();
        };
        QTRY_VERIFY_WITH_TIMEOUT(toolTip().contains("Desk Mouse: 50%"), 20000);
        const QByteArray normalIcon = pixmaps(tray.itemProperty(item, "IconPixmap"));
        const std::unique_ptr<QProcess> watch = voltwren.startSeparately({"status", "--waybar", "--watch"});
        QString watched;
        const auto watchedLine = [&](const QString& text) {
            while (watch->canReadLine())
                watched = QString::fromUtf8(watch->readLine());
            return watched.contains(text);
        };
        QTRY_VERIFY_WITH_TIMEOUT(watchedLine("Desk Mouse 50%"), 10000);

        // BlueZ announces the mouse at 10 %.
        QVERIFY(m_bluez.setProperty(m_mouse, "org.bluez.Battery1", "Percentage",
                                    QVariant::fromValue(static_cast<uchar>(10))));
        QTRY_VERIFY_WITH_TIMEOUT(watchedLine("\"class\":\"low\""), 10000);
        QVERIFY2(watched.contains("Desk Mouse 10%"), qPrintable(watched));
        QTRY_VERIFY_WITH_TIMEOUT(toolTip().contains("Desk Mouse: 10%"), 10000);
        QVERIFY(pixmaps(tray.itemProperty(item, "IconPixmap")) != normalIcon);
        QTRY_COMPARE_WITH_TIMEOUT(notified().size(), 1, 10000);

        // A keyboard connects.
        QVERIFY(!m_bluez.addConnectedDevice("AA:BB:CC:DD:EE:02", "Keys", "input-keyboard", 70).isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(watchedLine("Keys: 70%"), 10000);

        // The laptop wakes up: a full poll, with a Bluetooth scan.
        const qsizetype scans = voltwren.log().count("via BlueZ");
        QVERIFY(m_bluez.connection()
                    .call(QDBusMessage::createMethodCall("org.freedesktop.login1", "/org/freedesktop/login1",
                                                         "org.freedesktop.DBus.Mock", "EmitSignal")
                          << "org.freedesktop.login1.Manager"
                          << "PrepareForSleep"
                          << "b" << QVariantList{false})
                    .type() == QDBusMessage::ReplyMessage);
        QTRY_VERIFY_WITH_TIMEOUT(voltwren.log().count("via BlueZ") > scans, 10000);
        QVERIFY(voltwren.log().contains("Refreshing after waking from sleep"));

        // A flood of Refresh() calls: a poll or two.
        QTest::qWait(1000);
        const qsizetype polls = voltwren.output().count("Refreshed battery states");
        const QDBusMessage refresh = QDBusMessage::createMethodCall(
            "app.voltwren.Voltwren", "/app/voltwren/Voltwren", "app.voltwren.Voltwren1", "Refresh");
        for (int i = 0; i < 300; ++i)
            session.connection().send(refresh);
        QTRY_VERIFY_WITH_TIMEOUT(voltwren.output().count("Refreshed battery states") > polls, 10000);
        QTest::qWait(1500);
        QVERIFY2(voltwren.output().count("Refreshed battery states") - polls <= 2,
                 qPrintable(voltwren.log()));

        // Told once, though the mouse stayed low through every poll.
        QCOMPARE(notified().size(), 1);
        QVERIFY(notified()[0].contains("\"Desk Mouse is at 10%.\""));
        watch->kill();
        watch->waitForFinished(5000);
        QCOMPARE(voltwren.stop(), 0);
    }
};

QTEST_GUILESS_MAIN(TrayTest)
#include "tst_tray.moc"
