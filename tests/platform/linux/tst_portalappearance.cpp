#include "platform/linux/PortalAppearance.h"

#include "PortalMock.h"
#include "PrivateBus.h"

#include <QTest>

Q_DECLARE_METATYPE(ColorScheme)

class PortalAppearanceTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // What the first answer makes of the portal's reply; never a hang.
    void firstAnswer_data() {
        QTest::addColumn<QString>("read"); // empty: no portal at all
        QTest::addColumn<ColorScheme>("expected");
        QTest::newRow("dark, inside two variants as Read answers")
            << "ret = dbus.UInt32(1, variant_level=2)" << ColorScheme::preferDark;
        QTest::newRow("light, inside one variant")
            << "ret = dbus.UInt32(2, variant_level=1)" << ColorScheme::preferLight;
        QTest::newRow("no preference")
            << "ret = dbus.UInt32(0, variant_level=2)" << ColorScheme::noPreference;
        QTest::newRow("a value out of range")
            << "ret = dbus.UInt32(7, variant_level=2)" << ColorScheme::noPreference;
        QTest::newRow("a text instead of a number")
            << "ret = dbus.String('dark', variant_level=2)" << ColorScheme::noPreference;
        QTest::newRow("the setting is unknown")
            << "raise dbus.exceptions.DBusException('Requested setting not found', "
               "name='org.freedesktop.portal.Error.NotFound')"
            << ColorScheme::noPreference;
        QTest::newRow("a portal that does not answer") << "time.sleep(5)" << ColorScheme::noPreference;
        QTest::newRow("no portal") << QString() << ColorScheme::noPreference;
    }
    void firstAnswer() {
        QFETCH(QString, read);
        QFETCH(ColorScheme, expected);
        PrivateBus session(QStringLiteral("session"));
        QVERIFY(session.isValid());
        std::unique_ptr<PortalMock> portal;
        if (!read.isEmpty()) {
            portal = std::make_unique<PortalMock>(session, read);
            QVERIFY(portal->isValid());
        }
        PortalAppearance appearance(session.connection(), 1000);
        QList<ColorScheme> heard;
        appearance.observeColorScheme([&heard](ColorScheme scheme) { heard << scheme; });
        QVERIFY(heard.isEmpty()); // never inside the call
        QTRY_COMPARE_WITH_TIMEOUT(heard.size(), 1, 5000);
        QCOMPARE(heard.constFirst(), expected);
    }

    // A change in the desktop's settings arrives while running; other
    // settings do not disturb it.
    void followsChanges() {
        PrivateBus session(QStringLiteral("session"));
        QVERIFY(session.isValid());
        PortalMock portal(session, QStringLiteral("ret = dbus.UInt32(2, variant_level=2)"));
        QVERIFY(portal.isValid());
        PortalAppearance appearance(session.connection(), 5000);
        QList<ColorScheme> heard;
        appearance.observeColorScheme([&heard](ColorScheme scheme) { heard << scheme; });
        QTRY_COMPARE(heard, QList<ColorScheme>{ColorScheme::preferLight});

        QVERIFY(
            portal.change(QStringLiteral("org.freedesktop.appearance"), QStringLiteral("color-scheme"), 1));
        QVERIFY(
            portal.change(QStringLiteral("org.freedesktop.appearance"), QStringLiteral("accent-color"), 2));
        QVERIFY(
            portal.change(QStringLiteral("org.gnome.desktop.interface"), QStringLiteral("color-scheme"), 2));
        QVERIFY(
            portal.change(QStringLiteral("org.freedesktop.appearance"), QStringLiteral("color-scheme"), 0));
        QTRY_COMPARE(heard, (QList<ColorScheme>{ColorScheme::preferLight, ColorScheme::preferDark,
                                                ColorScheme::noPreference}));
    }
};

QTEST_GUILESS_MAIN(PortalAppearanceTest)
#include "tst_portalappearance.moc"
