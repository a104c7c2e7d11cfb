#pragma once

#include <QString>
#include <QUrl>

// The desktop's handlers: the browser for links, the file manager for
// folders, and the desktop's own settings pages.
class Workspace {
public:
    enum class Page { bluetooth, notifications };

    virtual ~Workspace() = default;

    // Each returns whether the request was handed on to something that will
    // show it; none of them waits for it to appear.
    virtual bool openUrl(const QUrl& url) = 0;
    // PATH is shown by the file manager; it is not created.
    virtual bool openFolder(const QString& path) = 0;
    // False where the desktop has no such page (nothing is started then).
    virtual bool openSystemSettings(Page page) = 0;
};

// The running desktop's. Main thread only.
Workspace& workspace();
