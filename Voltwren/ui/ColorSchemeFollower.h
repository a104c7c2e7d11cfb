#pragma once

#include "platform/Appearance.h"

#include <QObject>
#include <QPalette>

// Keeps the application's palette in step with the desktop's light or
// dark preference: the platform theme's colours where they match it (or
// where there is none), else dark ones of ours or the style's light ones.
// The views and the tray glyph follow the application palette.
class ColorSchemeFollower final : public QObject {
    Q_OBJECT

public:
    // Starts following at once; the palette changes when the desktop answers.
    explicit ColorSchemeFollower(Appearance& appearance, QObject* parent = nullptr);

    void apply(ColorScheme scheme);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    enum class Colors { platform, dark, light };

    bool contradicts(const QPalette& palette) const;

    ColorScheme m_scheme = ColorScheme::noPreference;
    Colors m_colors = Colors::platform;
    bool m_applying = false;
};
