// The tray program: libexec/voltwren/voltwren-tray, started by bin/voltwren
// when no command is given. It is the one that links the widgets, so that
// `voltwren status` and the like start fast without them.
#include "VoltwrenApp.h"
#include "app/TerminationSignals.h"
#include "platform/Bundle.h"
#include "platform/linux/Translations.h"
#include "ui/KindIcons.h"

#include <QApplication>

#include <malloc.h>

namespace {

bool hasDisplay() {
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

int runTrayProgram(int argc, char* argv[]) {
    if (!hasDisplay())
        qputenv("QT_QPA_PLATFORM", "offscreen");

    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Voltwren"));
    installTranslations(application);
    // Window managers and docks match windows to the desktop entry by this
    // (Wayland's app id; on X11 the entry's StartupWMClass is the class,
    // the application name); the icon is for title bars and switchers.
    QApplication::setDesktopFileName(QLatin1String(Bundle::identifier));
    QApplication::setWindowIcon(KindIcons::deferred([] {
        return QIcon::fromTheme(QLatin1String(Bundle::identifier),
                                KindIcons::artwork(QLatin1String(Bundle::identifier)));
    }));
    QApplication::setQuitOnLastWindowClosed(false);
    exitOnTerminationSignals(application);

    VoltwrenApp app;
    app.start();
    return QApplication::exec();
}

} // namespace

int main(int argc, char* argv[]) {
    // Each thread-pool thread would otherwise get a malloc arena of its own,
    // and polls that move between threads leave every arena at its
    // high-water mark: megabytes, for a program meant to run all day. The
    // pool's work is light; one arena costs it nothing.
    mallopt(M_ARENA_MAX, 1);
    return runTrayProgram(argc, argv);
}
