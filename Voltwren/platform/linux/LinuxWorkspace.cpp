#include "LinuxWorkspace.h"

#include <QDesktopServices>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>

#include <cstdio>

namespace {

bool isDesktop(const QString& currentDesktop, QLatin1String name) {
    return currentDesktop.contains(name, Qt::CaseInsensitive);
}

// QDesktopServices needs the platform integration of a GUI application.
bool canOpen() {
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
}

} // namespace

QList<LinuxWorkspace::Command> LinuxWorkspace::settingsCommands(Page page, const QString& currentDesktop) {
    QList<Command> commands;
    const bool bluetooth = page == Page::bluetooth;
    if (isDesktop(currentDesktop, QLatin1String("GNOME"))) {
        commands.append({QStringLiteral("gnome-control-center"),
                         {bluetooth ? QStringLiteral("bluetooth") : QStringLiteral("notifications")}});
    } else if (isDesktop(currentDesktop, QLatin1String("KDE"))) {
        commands.append(
            {QStringLiteral("systemsettings"),
             {bluetooth ? QStringLiteral("kcm_bluetooth") : QStringLiteral("kcm_notifications")}});
    }
    // Blueman serves any desktop, and one whose own settings program is missing.
    if (bluetooth)
        commands.append({QStringLiteral("blueman-manager"), {}});
    return commands;
}

bool LinuxWorkspace::openUrl(const QUrl& url) {
    if (!url.isValid() || url.isEmpty() || !canOpen())
        return false;
    return QDesktopServices::openUrl(url);
}

bool LinuxWorkspace::openFolder(const QString& path) {
    if (path.isEmpty() || !canOpen())
        return false;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

bool LinuxWorkspace::openSystemSettings(Page page) {
    const QString desktop = qEnvironmentVariable("XDG_CURRENT_DESKTOP");
    for (const Command& command : settingsCommands(page, desktop)) {
        const QString program = QStandardPaths::findExecutable(command.program);
        if (program.isEmpty())
            continue;
        // Detached: the settings program outlives us and is never waited for.
        if (QProcess::startDetached(program, command.arguments))
            return true;
        const QByteArray line = "Voltwren [debug]: could not start " + program.toLocal8Bit() + '\n';
        std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
        std::fflush(stdout);
    }
    return false;
}

Workspace& workspace() {
    static LinuxWorkspace instance;
    return instance;
}
