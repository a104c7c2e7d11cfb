#pragma once

#include <QString>

// A device's name comes from the device itself (its owner, or whoever set it
// up) and may carry anything. Where a name is shown or logged, it goes
// through here; ids and stored overrides keep the name as it came.
namespace DeviceName {

// Far above the 248 bytes a Bluetooth name can have: only junk is cut.
inline constexpr qsizetype maximumShownLength = 300;

// The name without control characters (a line break or tab becomes a space)
// and without the directional embeddings, overrides and isolates it carries;
// isolated as a whole when it holds right-to-left letters, so it cannot
// reorder the sentence around it; cut with "…" past maximumShownLength
// characters. A plain name comes back exactly as it is.
QString forDisplay(const QString& name);

} // namespace DeviceName
