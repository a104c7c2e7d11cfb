// The tray program: libexec/voltwren/voltwren-tray, started by bin/voltwren
// when no command is given. It is the one that links the widgets, so that
// `voltwren status` and the like start fast without them.
#include "VoltwrenApp.h"
#include "app/Console.h"
#include "platform/Bundle.h"

#include <QApplication>
#include <QSocketNotifier>

#include <csignal>
#include <malloc.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onTerminationSignal(int) {
    const char byte = 1;
    // Only async-signal-safe work here; the event loop does the rest.
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

// SIGINT and SIGTERM end the event loop with status 0.
void exitOnTerminationSignals(QCoreApplication& application) {
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &application);
    QObject::connect(notifier, &QSocketNotifier::activated, &application, [] {
        char byte;
        [[maybe_unused]] const ssize_t got = ::read(signalPipe[0], &byte, 1);
        QCoreApplication::exit(0);
    });
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool hasDisplay() {
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

int runTrayProgram(int argc, char* argv[]) {
    const bool headless = !hasDisplay();
    if (headless)
        qputenv("QT_QPA_PLATFORM", "offscreen");

    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Voltwren"));
    QApplication::setDesktopFileName(QLatin1String(Bundle::identifier));
    QApplication::setQuitOnLastWindowClosed(false);
    exitOnTerminationSignals(application);

    if (headless || QGuiApplication::platformName() == QLatin1String("offscreen") ||
        QGuiApplication::platformName() == QLatin1String("minimal"))
        Console::printLine(QStringLiteral("Voltwren: no display; running without a tray icon"));

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
