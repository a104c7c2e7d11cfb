// bin/voltwren: the command line. `voltwren status` and the rest are
// answered here with Qt Core and D-Bus alone; without a command it becomes
// the tray program (libexec/voltwren/voltwren-tray), and `history` becomes
// the reader of the charge record (libexec/voltwren/voltwren-history), the
// one that loads Qt SQL.
#include "app/TerminationSignals.h"
#include "cli/CommandLine.h"
#include "cli/StatusCommand.h"
#include "platform/Bundle.h"
#include "platform/linux/Translations.h"

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

// Becomes the helper NAME (WHAT it is, for a message), in this same
// process, with the same arguments; returns only on failure.
int runHelper(const QString& name, const QString& what, char* argv[]) {
    const std::optional<QString> helper = mainBundle().auxiliaryExecutable(name);
    if (!helper) {
        write(stderr, QStringLiteral("voltwren: %1 is missing from this installation\n").arg(what));
        return 1;
    }
    const QByteArray path = QFile::encodeName(*helper);
    ::execv(path.constData(), argv);
    write(stderr, QStringLiteral("voltwren: cannot start %1: %2\n")
                      .arg(*helper, QString::fromLocal8Bit(std::strerror(errno))));
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
        return runHelper(QStringLiteral("voltwren-tray"), QStringLiteral("the tray program"), argv);
    case CommandLine::Mode::history:
        return runHelper(QStringLiteral("voltwren-history"), QStringLiteral("the history reader"), argv);
    case CommandLine::Mode::help: {
        QCoreApplication application(argc, argv);
        installTranslations(application);
        write(stdout, CommandLine::helpText());
        return 0;
    }
    case CommandLine::Mode::version:
        write(stdout,
              QStringLiteral("voltwren ") +
                  mainBundle().infoString(QStringLiteral("CFBundleShortVersionString")).value_or(QString()) +
                  QLatin1Char('\n'));
        return 0;
    case CommandLine::Mode::usageError: {
        // Parsed again once the user's language is loaded, for the message.
        QCoreApplication application(argc, argv);
        installTranslations(application);
        write(stderr, QStringLiteral("voltwren: ") + CommandLine::parse(arguments).error + QLatin1Char('\n') +
                          CommandLine::usageLine() +
                          QCoreApplication::translate("main", "\nTry 'voltwren --help' for more.\n"));
        return 2;
    }
    case CommandLine::Mode::status:
        break;
    }

    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Voltwren"));
    installTranslations(application);
    exitOnTerminationSignals(application);
    StatusCommand status(commandLine, QDBusConnection::sessionBus());
    status.start();
    return QCoreApplication::exec();
}
