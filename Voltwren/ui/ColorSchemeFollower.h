#pragma once

#include "platform/Appearance.h"

#include <QObject>
#include <QPalette>

// Keeps the application's palette in step with the desktop's light or
// dark preference: dark colours while dark is preferred, unless the
// platform theme's own are dark already; the platform theme's otherwise.
// The views and the tray glyph follow the application palette.
class ColorSchemeFollower final : public QObject {
    Q_OBJECT

public:
    // Starts following at once; the palette changes when the desktop answers.
    explicit ColorSchemeFollower(Appearance& appearance, QObject* parent = nullptr);

    void apply(ColorScheme scheme);

private:
    QPalette m_platformPalette;
    // The platform palette is in use until the desktop asks for dark.
    bool m_dark = false;
};
