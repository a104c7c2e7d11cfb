#include "AppState.h"
#include "StateDoubles.h"
#include "ui/ColorSchemeFollower.h"
#include "ui/KindIcons.h"
#include "ui/MenuBarLabel.h"
#include "ui/Style.h"

#include <QApplication>
#include <QDir>
#include <QMetaEnum>
#include <QPainter>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>
#include <private/qguiapplication_p.h>
#include <qpa/qplatformtheme.h>
#include <qpa/qwindowsysteminterface.h>

Q_DECLARE_METATYPE(ColorScheme)

namespace {

// The desktop's preference as a test states it.
class StatedAppearance final : public Appearance {
public:
    std::function<void(ColorScheme)> observer;
    void observeColorScheme(std::function<void(ColorScheme)> o) override { observer = std::move(o); }
};

// A platform theme whose colours the test changes, as a desktop's theme
// does when the user picks another colour scheme.
class ChangingTheme final : public QPlatformTheme {
public:
    QPalette colors;
    const QPalette* palette(Palette type) const override { return type == SystemPalette ? &colors : nullptr; }
    void change(const QPalette& to) {
        colors = to;
        QWindowSystemInterface::handleThemeChange<QWindowSystemInterface::SynchronousDelivery>();
    }
};

// The best contrast (WCAG ratio) of any pixel of ICON drawn over BACKGROUND.
double strongestContrast(const QIcon& icon, const QColor& background, const QString& screenshot = {}) {
    QImage image(22, 22, QImage::Format_RGB32);
    image.fill(background);
    QPainter(&image).drawPixmap(0, 0, icon.pixmap(22));
    if (!screenshot.isEmpty())
        image.scaled(88, 88).save(QStringLiteral(VOLTWREN_SCREENSHOT_DIR "/") + screenshot);
    const auto luminance = [](const QColor& c) {
        const auto channel = [](double v) {
            return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
    };
    double best = 1;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const double a = luminance(image.pixelColor(x, y)), b = luminance(background);
            best = std::max(best, (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05));
        }
    return best;
}

} // namespace

class ColorSchemeTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_home;
    QPalette m_light;

private Q_SLOTS:
    void initTestCase() {
        qputenv("XDG_STATE_HOME", QFile::encodeName(m_home.path()));
        QApplication::setStyle("Fusion");
        m_light = QApplication::style()->standardPalette();
        // An icon theme whose mouse icons are white, as a dark desktop's are.
        const QString theme = m_home.filePath("icons/white/");
        QVERIFY(QDir().mkpath(theme + "devices"));
        for (const char* name :
             {"devices/input-mouse.svg", "devices/input-mouse-symbolic.svg", "index.theme"}) {
            QFile file(theme + name);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(
                QByteArray(name) == "index.theme"
                    ? "[Icon Theme]\nName=White\nDirectories=devices\n\n[devices]\nSize=16\nType=Scalable\n"
                    : "<svg xmlns='http://www.w3.org/2000/svg' width='16' height='16'>"
                      "<rect x='4' y='1' width='8' height='14' fill='#fff'/></svg>");
        }
        QIcon::setThemeSearchPaths({m_home.filePath("icons")});
        QIcon::setThemeName("white");
    }
    void init() { QApplication::setPalette(m_light); }

    // Where a panel draws the glyph as it is, it reads on a light bar, a
    // dark one and one in between: ours in either scheme, the installed icon, and the alert,
    // which is also another shape.
    void glyphsReadOnBarsThatDoNotRecolour_data() {
        QTest::addColumn<QString>("glyph");
        QTest::addColumn<QColor>("bar");
        for (const char* glyph : {"light-scheme", "dark-scheme", "installed", "alert"}) {
            QTest::addRow("%s on a light panel", glyph) << glyph << QColor(0xeb, 0xeb, 0xeb);
            QTest::addRow("%s on a dark bar", glyph) << glyph << QColor(0x16, 0x18, 0x1d);
            // waybar's default tray module: too dark for white, too light for grey.
            QTest::addRow("%s on a mid-tone bar", glyph) << glyph << QColor(0x29, 0x80, 0xb9);
        }
    }
    void glyphsReadOnBarsThatDoNotRecolour() {
        QFETCH(QString, glyph);
        QFETCH(QColor, bar);
        StateFixture fixture;
        std::unique_ptr<AppState> state = fixture.makeState();
        QIcon icon;
        if (glyph == "alert")
            icon = KindIcons::artwork(QStringLiteral("MenuBarIconAlert"));
        else if (glyph == "installed")
            icon = QIcon(QStringLiteral(VOLTWREN_ICONS_DIR "/MenuBarIcon-symbolic.svg"));
        else
            icon = MenuBarLabel::image(*state, glyph == "dark-scheme" ? QColor(0xee, 0xee, 0xef) : Qt::black);
        const double contrast = strongestContrast(
            icon, bar, "tray-" + QString(QTest::currentDataTag()).replace(' ', '-') + ".png");
        qInfo("%s: %.1f:1", QTest::currentDataTag(), contrast);
        QVERIFY(contrast >= 4.5);
        if (glyph == "alert") {
            // Not by colour alone: the bodies (outlines aside) differ in a third of the normal's pixels.
            const QImage alert = icon.pixmap(22).toImage(),
                         normal =
                             KindIcons::symbol(QStringLiteral("MenuBarIcon"), Qt::black).pixmap(22).toImage();
            int differ = 0, covered = 0;
            for (int y = 0; y < 22; ++y)
                for (int x = 0; x < 22; ++x) {
                    const QRgb p = alert.pixel(x, y);
                    const bool a = qAlpha(p) > 128 && qGray(p)<200, n = qAlpha(normal.pixel(x, y))> 128;
                    covered += n;
                    differ += a != n;
                }
            QVERIFY(differ * 3 >= covered);
        }
    }

    // Light, dark, light again through the desktop's themes, with the
    // theme's colours changing before or after its preference arrives, or
    // not at all: the windows show the scheme the desktop prefers, and
    // with the theme's own colours when they fit it.
    void followsAThemeThatChanges_data() {
        QTest::addColumn<QString>("steps");   // T: theme's scheme, P: preference; L, D, N(o preference)
        QTest::addColumn<QString>("schemes"); // the window's after each step
        QTest::newRow("theme first") << "TL PN TD PD TL PL"
                                     << "LLDDDL";
        QTest::newRow("preference first") << "TL PN PD TD PL TL"
                                          << "LLDDLL";
        QTest::newRow("theme lags") << "TL PN TD PD PL TL PN"
                                    << "LLDDLLL";
        QTest::newRow("no preference") << "TL PN TD PD TL PN TD"
                                       << "LLDDDLD";
        QTest::newRow("started dark") << "TD PN PL TL PD TD"
                                      << "DDLLDD";
    }
    void followsAThemeThatChanges() {
        QFETCH(QString, steps);
        QFETCH(QString, schemes);
        const QPalette breezeLight(QColor(0x23, 0x26, 0x29), QColor(0xef, 0xf0, 0xf1));
        const QPalette breezeDark(QColor(0xfc, 0xfc, 0xfc), QColor(0x2a, 0x2e, 0x32));
        ChangingTheme theme;
        QPlatformTheme* const platformTheme = std::exchange(QGuiApplicationPrivate::platform_theme, &theme);
        const auto restore = qScopeGuard([&] {
            QGuiApplicationPrivate::platform_theme = platformTheme;
            QApplication::setPalette(m_light);
        });
        theme.change(steps.startsWith("TL") ? breezeLight : breezeDark);
        QApplication::setPalette(QPalette());

        StatedAppearance appearance;
        ColorSchemeFollower follower(appearance);
        QString seen;
        for (const QString& step : steps.split(' ')) {
            const QChar what = step.at(1);
            if (step.at(0) == 'T')
                theme.change(what == 'L' ? breezeLight : breezeDark);
            else
                appearance.observer(what == 'L'   ? ColorScheme::preferLight
                                    : what == 'D' ? ColorScheme::preferDark
                                                  : ColorScheme::noPreference);
            const QColor window = QApplication::palette().color(QPalette::Window);
            seen += Style::isDark(QApplication::palette()) ? 'D' : 'L';
            // Where the theme's scheme is the one preferred, its colours are shown.
            if (step.at(0) == 'P' && Style::isDark(theme.colors) == (seen.back() == 'D'))
                QCOMPARE(window.name(), theme.colors.color(QPalette::Window).name());
        }
        QCOMPARE(seen, schemes);
    }

    // In either scheme the normal tray glyph reads on a bar of that scheme
    // (and still names the installed symbolic icon), and so does every kind
    // icon on the panel, a theme's white ones included.
    void glyphsRead_data() {
        QTest::addColumn<ColorScheme>("preference");
        QTest::addColumn<QColor>("bar"); // Breeze's panel colours
        QTest::newRow("light") << ColorScheme::preferLight << QColor(0xef, 0xf0, 0xf1);
        QTest::newRow("dark") << ColorScheme::preferDark << QColor(0x31, 0x36, 0x3b);
    }
    void glyphsRead() {
        QFETCH(ColorScheme, preference);
        QFETCH(QColor, bar);
        StateFixture fixture;
        std::unique_ptr<AppState> state = fixture.makeState();
        StatedAppearance appearance;
        ColorSchemeFollower follower(appearance);
        appearance.observer(preference);

        const QIcon glyph = MenuBarLabel::image(*state, MenuBarLabel::foreground());
        QCOMPARE(glyph.name(), QString::fromLatin1(MenuBarLabel::symbolicIconName));
        QVERIFY(strongestContrast(glyph, bar, "tray-glyph-" + QString(QTest::currentDataTag()) + ".png") >=
                7);

        const QPalette palette = QApplication::palette();
        for (int kind = 0; kind <= int(DeviceKind::otherAccessory); ++kind)
            QVERIFY2(strongestContrast(KindIcons::icon(DeviceKind(kind), palette.color(QPalette::WindowText)),
                                       palette.color(QPalette::Window)) >= 7,
                     qPrintable(KindIcons::themeName(DeviceKind(kind))));
    }
};

QTEST_MAIN(ColorSchemeTest)
#include "tst_colorscheme.moc"
