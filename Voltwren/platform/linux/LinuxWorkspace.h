#pragma once

#include "platform/Workspace.h"

#include <QList>
#include <QStringList>

// Links and folders go to the desktop's handlers (xdg-open and friends, by
// way of the Qt platform theme); settings pages to the running desktop's own
// settings program, found on PATH and started detached.
class LinuxWorkspace final : public Workspace {
public:
    struct Command {
        QString program; // a name looked up on PATH
        QStringList arguments;

        bool operator==(const Command&) const = default;
    };

    // The programs that show PAGE on the desktop named by CURRENTDESKTOP
    // (the colon-separated $XDG_CURRENT_DESKTOP), best first.
    static QList<Command> settingsCommands(Page page, const QString& currentDesktop);

    bool openUrl(const QUrl& url) override;
    bool openFolder(const QString& path) override;
    // Starts the first of settingsCommands() that is installed.
    bool openSystemSettings(Page page) override;
};
