#pragma once

#include "model/DeviceKind.h"

#include <QColor>
#include <QIcon>
#include <QString>

#include <functional>

// Pixels for the image references of the model and for the views' symbols.
namespace KindIcons {

// KIND's shape drawn in COLOR, so it reads on the background that COLOR
// was chosen for: the theme's symbolic icon where it has one, else ours.
QIcon icon(DeviceKind kind, const QColor& color);

// The freedesktop icon name for KIND ("input-mouse").
QString themeName(DeviceKind kind);

// Our own monochrome symbol NAME (":/icons/NAME.svg"), drawn in COLOR at
// every size it is asked for, so it stays sharp and reads on the palette.
// THEME_NAME, when given, is what QIcon::name() answers: the installed
// icon a tray host may show, and recolour, instead.
// OUTLINE, when valid, rings the shape so it reads on any background.
QIcon symbol(const QString& name, const QColor& color, const QString& themeName = {},
             const QColor& outline = {});

// Our own artwork NAME in its own colours ("MenuBarIconAlert").
QIcon artwork(const QString& name);

// The icon MAKE answers, made when it is first drawn or asked about: an
// icon that may never be shown (the windows') costs nothing before.
QIcon deferred(std::function<QIcon()> make);

} // namespace KindIcons
