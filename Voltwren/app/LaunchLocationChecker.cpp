#include "LaunchLocationChecker.h"

#include "app/DiagnosticLog.h"
#include "platform/LaunchLocationPlatform.h"

#include <QDir>
#include <QFileInfo>

namespace {

using Alert = LaunchLocationPlatform::Alert;
using AlertStyle = LaunchLocationPlatform::AlertStyle;

const QString applicationsFolder = QStringLiteral("/Applications");

void failMove(LaunchLocationPlatform& platform, const QString& error) {
    diagnosticLog(QStringLiteral("LaunchLocationChecker: move to /Applications failed: ") + error);
    platform.runModalAlert(Alert{AlertStyle::warning,
                                 QStringLiteral("Couldn't Move Voltwren"),
                                 QStringLiteral("Please move Voltwren.app to your Applications folder "
                                                "manually, then relaunch it.\n\n") +
                                     error,
                                 {}});
    platform.exit(0);
}

} // namespace

bool LaunchLocationChecker::needsMove(const LaunchLocationPlatform& platform) {
    if (!platform.supportsRelocation())
        return false;
    const QString source = platform.bundlePath();
    if (source.contains(QLatin1String("/AppTranslocation/")))
        return true;
    // A failed query is no reason to stop the program.
    return platform.isOnReadOnlyVolume(source).value_or(false);
}

void LaunchLocationChecker::checkLocationAtLaunch(LaunchLocationPlatform& platform) {
    if (!needsMove(platform))
        return;
    const int response = platform.runModalAlert(
        Alert{AlertStyle::informational,
              QStringLiteral("Move to Applications Folder?"),
              QStringLiteral("Voltwren needs to run from your Applications folder to check for and install "
                             "updates. Move it there now?"),
              {QStringLiteral("Move to Applications"), QStringLiteral("Quit")}});
    if (response != 0) {
        diagnosticLog(QStringLiteral("LaunchLocationChecker: user declined to move \u2014 quitting"));
        platform.exit(0);
        return;
    }
    moveToApplicationsAndRelaunch(platform);
}

void LaunchLocationChecker::moveToApplicationsAndRelaunch(LaunchLocationPlatform& platform) {
    const QString source = QDir::cleanPath(platform.bundlePath());
    const QString destination = applicationsFolder + QLatin1Char('/') + QFileInfo(source).fileName();

    if (platform.exists(destination)) {
        if (const std::optional<QString> error = platform.moveToTrash(destination)) {
            failMove(platform, *error);
            return;
        }
    }
    if (const std::optional<QString> error = platform.copyRecursively(source, destination)) {
        failMove(platform, *error);
        return;
    }
    // Neither outcome is examined: a copy that still carries the mark only
    // asks the user once more, and a failed relaunch still has to quit.
    platform.runAndWait(QStringLiteral("/usr/bin/xattr"),
                        {QStringLiteral("-dr"), QStringLiteral("com.apple.quarantine"), destination});
    platform.startDetached(QStringLiteral("/usr/bin/open"), {destination});
    diagnosticLog(QStringLiteral("LaunchLocationChecker: moved to ") + destination +
                  QStringLiteral(", relaunching"));
    platform.exit(0);
}

void LaunchLocationChecker::checkLocationAtLaunch() {
    checkLocationAtLaunch(launchLocationPlatform());
}

bool LaunchLocationChecker::needsMove() {
    return needsMove(launchLocationPlatform());
}

void LaunchLocationChecker::moveToApplicationsAndRelaunch() {
    moveToApplicationsAndRelaunch(launchLocationPlatform());
}
