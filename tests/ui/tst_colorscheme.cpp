#include "AppState.h"
#include "StateDoubles.h"
#include "model/DeviceKind.h"
#include "ui/ColorSchemeFollower.h"
#include "ui/KindIcons.h"
#include "ui/MenuBarLabel.h"
#include "ui/Style.h"

#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(ColorScheme)

namespace {

// The desktop's preference as a test states it.
class StatedAppearance final : public Appearance {
public:
    std::function<void(ColorScheme)> observer;
    void observeColorScheme(std::function<void(ColorScheme)> o) override { observer = std::move(o); }
};

double luminance(const QColor& color) {
    const auto channel = [](double c) {
        return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(color.redF()) + 0.7152 * channel(color.greenF()) +
           0.0722 * channel(color.blueF());
}

// The best contrast any pixel of IMAGE has with BACKGROUND (WCAG ratio).
double strongestContrast(const QImage& image, const QColor& background) {
    const double back = luminance(background);
    double best = 1;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const double pixel = luminance(image.pixelColor(x, y));
            best = std::max(best, (std::max(pixel, back) + 0.05) / (std::min(pixel, back) + 0.05));
        }
    return best;
}

// ICON drawn at SIDE pixels over BACKGROUND.
QImage drawnOn(const QIcon& icon, int side, const QColor& background) {
    QImage image(side, side, QImage::Format_RGB32);
    image.fill(background);
    QPainter painter(&image);
    icon.paint(&painter, image.rect());
    return image;
}

} // namespace

class ColorSchemeTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_home;
    QPalette m_light;

private Q_SLOTS:
    void initTestCase() {
        qputenv("XDG_STATE_HOME", QFile::encodeName(m_home.path()));
        // A theme whose mouse icons are white, as a dark desktop's are.
        const QString theme = m_home.filePath("icons/white");
        QVERIFY(QDir().mkpath(theme + "/scalable/devices"));
        const QByteArray shape = R"(<svg xmlns="http://www.w3.org/2000/svg" width="16" height="16">)"
                                 R"(<rect x="4" y="1" width="8" height="14" rx="4" fill="#ffffff"/></svg>)";
        for (const char* name : {"input-mouse.svg", "input-mouse-symbolic.svg"}) {
            QFile icon(theme + "/scalable/devices/" + name);
            QVERIFY(icon.open(QIODevice::WriteOnly) && icon.write(shape) == shape.size());
        }
        QFile index(theme + "/index.theme");
        QVERIFY(index.open(QIODevice::WriteOnly));
        index.write("[Icon Theme]\nName=White\nDirectories=scalable/devices\n\n"
                    "[scalable/devices]\nSize=16\nMinSize=8\nMaxSize=512\nType=Scalable\n");
        QIcon::setThemeSearchPaths({m_home.filePath("icons")});
        QApplication::setStyle("Fusion");
        m_light = QApplication::style()->standardPalette();
    }
    void init() { QApplication::setPalette(m_light); }

    // What the application's palette is after each preference in turn.
    void followsThePreference_data() {
        QTest::addColumn<bool>("platformDark");
        QTest::addColumn<QList<ColorScheme>>("preferences");
        QTest::addColumn<QString>("palettes"); // after each: "platform", "ours" (dark), "light"
        QTest::newRow("dark, then back to none")
            << false << QList<ColorScheme>{ColorScheme::preferDark, ColorScheme::noPreference}
            << "ours platform";
        QTest::newRow("light, dark, light")
            << false
            << QList<ColorScheme>{ColorScheme::preferLight, ColorScheme::preferDark, ColorScheme::preferLight}
            << "platform ours platform";
        // A theme that is dark already keeps its own colours, until light is preferred.
        QTest::newRow("a dark platform theme")
            << true
            << QList<ColorScheme>{ColorScheme::preferDark, ColorScheme::preferLight,
                                  ColorScheme::noPreference}
            << "platform light platform";
    }
    void followsThePreference() {
        QFETCH(bool, platformDark);
        QFETCH(QList<ColorScheme>, preferences);
        QFETCH(QString, palettes);
        QPalette platform = m_light;
        if (platformDark) {
            platform.setColor(QPalette::Window, QColor(0x31, 0x36, 0x3b));
            platform.setColor(QPalette::WindowText, QColor(0xfc, 0xfc, 0xfc));
            QApplication::setPalette(platform);
        }
        StatedAppearance appearance;
        ColorSchemeFollower follower(appearance);
        QVERIFY(appearance.observer);
        QStringList seen;
        for (const ColorScheme preference : preferences) {
            appearance.observer(preference);
            const QPalette now = QApplication::palette();
            const QColor window = now.color(QPalette::Window);
            if (window == platform.color(QPalette::Window))
                seen << "platform";
            else if (window == Style::darkPalette().color(QPalette::Window))
                seen << "ours";
            else
                seen << (Style::isDark(now) ? "other dark" : "light");
        }
        QCOMPARE(seen.join(' '), palettes);
    }

    // The normal glyph reads on a bar of the preferred scheme, and still
    // names the installed symbolic icon for hosts that recolour it.
    void trayGlyph_data() {
        QTest::addColumn<ColorScheme>("preference");
        QTest::addColumn<QColor>("bar"); // Breeze's panel colours
        QTest::addColumn<QString>("file");
        QTest::newRow("light") << ColorScheme::preferLight << QColor(0xef, 0xf0, 0xf1)
                               << "tray-glyph-light.png";
        QTest::newRow("dark") << ColorScheme::preferDark << QColor(0x31, 0x36, 0x3b) << "tray-glyph-dark.png";
    }
    void trayGlyph() {
        QFETCH(ColorScheme, preference);
        QFETCH(QColor, bar);
        QFETCH(QString, file);
        StateFixture fixture;
        std::unique_ptr<AppState> state = fixture.makeState();
        StatedAppearance appearance;
        ColorSchemeFollower follower(appearance);
        appearance.observer(preference);

        const QIcon glyph = MenuBarLabel::image(*state, MenuBarLabel::foreground());
        QCOMPARE(glyph.name(), QString::fromLatin1(MenuBarLabel::symbolicIconName));
        const QImage drawn = drawnOn(glyph, 22, bar);
        QVERIFY2(strongestContrast(drawn, bar) >= 7,
                 qPrintable(QString::number(strongestContrast(drawn, bar))));
        QVERIFY(drawn.scaled(drawn.size() * 4).save(QStringLiteral(VOLTWREN_SCREENSHOT_DIR "/") + file));
    }

    // Every kind's icon stands out from the background it is drawn for.
    void kindIconsRead_data() {
        QTest::addColumn<bool>("dark");
        QTest::addColumn<QString>("theme");
        QTest::newRow("light, our glyphs") << false << QString();
        QTest::newRow("dark, our glyphs") << true << QString();
        QTest::newRow("light, a theme with white icons") << false << "white";
        QTest::newRow("dark, a theme with white icons") << true << "white";
    }
    void kindIconsRead() {
        QFETCH(bool, dark);
        QFETCH(QString, theme);
        QIcon::setThemeName(theme);
        const QPalette palette = dark ? Style::darkPalette() : m_light;
        const QColor window = palette.color(QPalette::Window);
        for (const DeviceKind kind :
             {DeviceKind::mac, DeviceKind::airpods, DeviceKind::airpodsPro, DeviceKind::airpodsMax,
              DeviceKind::headphones, DeviceKind::mouse, DeviceKind::trackpad, DeviceKind::keyboard,
              DeviceKind::gameController, DeviceKind::iphone, DeviceKind::otherAccessory}) {
            const QIcon icon = KindIcons::icon(kind, palette.color(QPalette::WindowText));
            QVERIFY2(strongestContrast(drawnOn(icon, 16, window), window) >= 7,
                     qPrintable(KindIcons::themeName(kind)));
        }
        QIcon::setThemeName(QString());
    }
};

QTEST_MAIN(ColorSchemeTest)
#include "tst_colorscheme.moc"
