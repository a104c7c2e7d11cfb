#pragma once

#include "app/AppcastFeed.h"

#include <QString>

#include <functional>

// What the user sees of update checks. The updater decides what to show;
// an implementation only shows it (and opens the download link itself).
class UpdaterUserDriver {
public:
    enum class Choice { download, skipThisVersion, remindMeLater };

    virtual ~UpdaterUserDriver() = default;

    // A newer version. REPLY is called once, on the main thread, when the
    // user has chosen; closing the window counts as remindMeLater.
    virtual void showUpdateFound(const AppcastItem& update, const QString& runningVersion,
                                 std::function<void(Choice)> reply) = 0;
    // Only for checks the user asked for.
    virtual void showUpToDate(const QString& runningVersion) = 0;
    // MESSAGE is the whole sentence: "Couldn't check for updates: …".
    virtual void showUpdateError(const QString& message) = 0;
};

namespace UpdaterTexts {
inline QString upToDate() {
    return QStringLiteral("You're up to date.");
}
inline QString upToDateDetail(const QString& runningVersion) {
    return QStringLiteral("Voltwren %1 is currently the newest version available.").arg(runningVersion);
}
inline QString checkFailed(const QString& reason) {
    return QStringLiteral("Couldn't check for updates: ") + reason;
}
} // namespace UpdaterTexts
