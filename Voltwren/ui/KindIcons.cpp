#include "KindIcons.h"

#include <QCache>
#include <QFile>
#include <QIconEngine>
#include <QMutex>
#include <QPainter>
#include <QSvgRenderer>

#include <optional>

// The artwork is compiled into this static library; a static library's
// resources are registered by hand, once, before the first lookup.
static void registerArtwork() {
    static const bool registered = [] {
        Q_INIT_RESOURCE(icons);
        return true;
    }();
    Q_UNUSED(registered);
}

namespace {

QString resourcePath(const QString& name) {
    registerArtwork();
    return QStringLiteral(":/icons/") + name + QStringLiteral(".svg");
}

// Renders a monochrome shape (our SVG, or a symbolic icon of the theme) at
// the requested size and fills it with one colour; dimmed when disabled.
// THEME_NAME, when given, is the name a tray host may look the icon up by.
class TintedSvgEngine final : public QIconEngine {
public:
    TintedSvgEngine(QString path, QColor color, QString themeName = {}, QIcon themeIcon = {},
                    QColor outline = {})
        : m_path(std::move(path))
        , m_color(color)
        , m_themeName(std::move(themeName))
        , m_themeIcon(std::move(themeIcon))
        , m_outline(outline) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        const QImage image = render(rect.size() * ratio, mode, state);
        painter->drawImage(rect, image);
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return QPixmap::fromImage(render(size, mode, state));
    }

    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override {
        QPixmap pixmap = QPixmap::fromImage(render(size * scale, mode, state));
        pixmap.setDevicePixelRatio(scale);
        return pixmap;
    }

    QIconEngine* clone() const override {
        return new TintedSvgEngine(m_path, m_color, m_themeName, m_themeIcon, m_outline);
    }
    QString key() const override { return QStringLiteral("voltwren-tinted-svg"); }
    QString iconName() override { return m_themeName; }

private:
    // Rows and the turning chevron repaint often at the same few sizes: each
    // glyph is parsed and drawn once per size, colour and mode.
    QImage render(const QSize& size, QIcon::Mode mode, QIcon::State state) const {
        static QMutex lock;
        static QCache<QString, QImage> drawn(2048); // cost in KiB
        const QString key = m_path + QLatin1Char('|') + QString::number(size.width()) + QLatin1Char('x') +
                            QString::number(size.height()) + QLatin1Char('|') +
                            QString::number(m_color.rgba(), 16) + QLatin1Char('|') +
                            QString::number(m_outline.rgba(), 16) + QLatin1Char('|') +
                            QString::number(int(mode));
        const QMutexLocker locker(&lock);
        if (const QImage* cached = drawn.object(key))
            return *cached;
        auto* image = new QImage(draw(size, mode, state));
        const QImage result = *image;
        drawn.insert(key, image, qMax<qsizetype>(1, image->sizeInBytes() / 1024));
        return result;
    }

    QImage draw(const QSize& size, QIcon::Mode mode, QIcon::State state) const {
        if (!m_outline.isValid())
            return drawTinted(size, mode, state, m_color);
        // The shape in the outline's colour, moved a pixel (per 16) each way,
        // under the shape itself.
        QImage image(size.expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        const QImage outline = drawTinted(size, mode, state, m_outline);
        const int step = qMax(1, size.height() / 16);
        for (int dy = -step; dy <= step; dy += step)
            for (int dx = -step; dx <= step; dx += step)
                painter.drawImage(QPoint(dx, dy), outline);
        painter.drawImage(QPoint(0, 0), drawTinted(size, mode, state, m_color));
        return image;
    }

    QImage drawTinted(const QSize& size, QIcon::Mode mode, QIcon::State, const QColor& tint) const {
        QImage image(size.expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        if (!m_themeIcon.isNull()) {
            m_themeIcon.paint(&painter, image.rect());
        } else {
            QSvgRenderer renderer(m_path);
            if (!renderer.isValid())
                return image;
            // Keep the artwork's aspect ratio, centred.
            QSizeF drawn = renderer.defaultSize().isEmpty() ? QSizeF(size) : QSizeF(renderer.defaultSize());
            drawn.scale(QSizeF(size), Qt::KeepAspectRatio);
            const QPointF origin((size.width() - drawn.width()) / 2, (size.height() - drawn.height()) / 2);
            renderer.render(&painter, QRectF(origin, drawn));
        }
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        QColor color = tint;
        if (mode == QIcon::Disabled)
            color.setAlphaF(color.alphaF() * 0.35);
        painter.fillRect(image.rect(), color);
        return image;
    }

    QString m_path;
    QColor m_color;
    QString m_themeName;
    QIcon m_themeIcon;
    QColor m_outline;
};

// Hands every question to the icon MAKE answers, made at the first one.
// Looking an icon up in the theme reads the theme's index and caches, and
// an SVG fallback loads the renderer: megabytes, for a program whose
// windows may never open.
class DeferredIconEngine final : public QIconEngine {
public:
    explicit DeferredIconEngine(std::function<QIcon()> make)
        : m_make(std::move(make)) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
        icon().paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return icon().actualSize(size, mode, state);
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return icon().pixmap(size, mode, state);
    }
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override {
        return icon().pixmap(size, scale, mode, state);
    }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override {
        return icon().availableSizes(mode, state);
    }
    QString iconName() override { return icon().name(); }
    bool isNull() override { return icon().isNull(); }
    QString key() const override { return QStringLiteral("voltwren-deferred"); }
    QIconEngine* clone() const override {
        auto* copy = new DeferredIconEngine(m_make);
        copy->m_icon = m_icon;
        return copy;
    }

private:
    const QIcon& icon() {
        if (!m_icon)
            m_icon = m_make();
        return *m_icon;
    }

    std::function<QIcon()> m_make;
    std::optional<QIcon> m_icon;
};

} // namespace

QIcon KindIcons::deferred(std::function<QIcon()> make) {
    return QIcon(new DeferredIconEngine(std::move(make)));
}

QString KindIcons::themeName(DeviceKind kind) {
    switch (kind) {
    case DeviceKind::mac:
        return QStringLiteral("computer-laptop");
    case DeviceKind::airpods:
    case DeviceKind::airpodsPro:
    case DeviceKind::airpodsMax:
    case DeviceKind::headphones:
        return QStringLiteral("audio-headphones");
    case DeviceKind::mouse:
        return QStringLiteral("input-mouse");
    case DeviceKind::trackpad:
        return QStringLiteral("input-touchpad");
    case DeviceKind::keyboard:
        return QStringLiteral("input-keyboard");
    case DeviceKind::gameController:
        return QStringLiteral("input-gaming");
    case DeviceKind::iphone:
        return QStringLiteral("phone");
    case DeviceKind::otherAccessory:
        break;
    }
    return QStringLiteral("bluetooth");
}

QIcon KindIcons::icon(DeviceKind kind, const QColor& color) {
    // Only a symbolic icon is one shape that takes our colour; a theme's
    // coloured icon may be drawn for a background other than ours.
    const QString name = themeName(kind) + QStringLiteral("-symbolic");
    if (QIcon::hasThemeIcon(name))
        return QIcon(new TintedSvgEngine(QStringLiteral("theme:") + name, color, {}, QIcon::fromTheme(name)));
    return symbol(::icon(kind).name, color);
}

QIcon KindIcons::symbol(const QString& name, const QColor& color, const QString& themeName,
                        const QColor& outline) {
    return QIcon(new TintedSvgEngine(resourcePath(name), color, themeName, {}, outline));
}

QIcon KindIcons::artwork(const QString& name) {
    return QIcon(resourcePath(name));
}
