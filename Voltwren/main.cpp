// bin/voltwren: the command line. `voltwren status` and the rest are
// answered here with Qt Core and D-Bus alone; without a command it becomes
// the tray program (libexec/voltwren/voltwren-tray).
#include "app/TerminationSignals.h"
#include "cli/CommandLine.h"
#include "cli/StatusCommand.h"
#include "platform/Bundle.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

void write(std::FILE* stream, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
}

// Becomes the tray program, in this same process; returns only on failure.
int runTrayProgram(char* argv[]) {
    const std::optional<QString> tray = mainBundle().auxiliaryExecutable(QStringLiteral("voltwren-tray"));
    if (!tray) {
        write(stderr, QStringLiteral("voltwren: the tray program is missing from this installation\n"));
        return 1;
    }
    const QByteArray path = QFile::encodeName(*tray);
    ::execv(path.constData(), argv);
    write(stderr, QStringLiteral("voltwren: cannot start %1: %2\n")
                      .arg(*tray, QString::fromLocal8Bit(std::strerror(errno))));
    return 1;
}

} // namespace

int main(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLine commandLine = CommandLine::parse(arguments);

    switch (commandLine.mode) {
    case CommandLine::Mode::run:
        return runTrayProgram(argv);
    case CommandLine::Mode::help: {
        QCoreApplication application(argc, argv);
        write(stdout, CommandLine::helpText());
        return 0;
    }
    case CommandLine::Mode::version:
        write(stdout,
              QStringLiteral("voltwren ") +
                  mainBundle().infoString(QStringLiteral("CFBundleShortVersionString")).value_or(QString()) +
                  QLatin1Char('\n'));
        return 0;
    case CommandLine::Mode::usageError:
        write(stderr, QStringLiteral("voltwren: ") + commandLine.error + QLatin1Char('\n') +
                          CommandLine::usageLine() + QStringLiteral("\nTry 'voltwren --help' for more.\n"));
        return 2;
    case CommandLine::Mode::status:
        break;
    }

    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Voltwren"));
    exitOnTerminationSignals(application);
    StatusCommand status(commandLine, QDBusConnection::sessionBus());
    status.start();
    return QCoreApplication::exec();
}
