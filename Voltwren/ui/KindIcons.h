#pragma once

#include "model/DeviceKind.h"

#include <QColor>
#include <QIcon>
#include <QString>

// Pixels for the image references of the model and for the views' symbols.
namespace KindIcons {

// The desktop theme's icon for KIND where the theme has one, else our own
// glyph drawn in COLOR, so a row never shows a blank.
QIcon icon(DeviceKind kind, const QColor& color);

// The freedesktop icon name for KIND ("input-mouse").
QString themeName(DeviceKind kind);

// Our own monochrome symbol NAME (":/icons/NAME.svg"), drawn in COLOR at
// every size it is asked for, so it stays sharp and reads on the palette.
QIcon symbol(const QString& name, const QColor& color);

// Our own artwork NAME in its own colours ("MenuBarIconAlert").
QIcon artwork(const QString& name);

} // namespace KindIcons
