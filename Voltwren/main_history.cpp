// `voltwren history`: libexec/voltwren/voltwren-history, started by
// bin/voltwren with its own arguments. It reads the charge record itself,
// read-only, so it answers whether or not the tray program runs, and it is
// the one program of the command line that loads Qt SQL.
#include "cli/CommandLine.h"
#include "cli/HistoryCommand.h"
#include "history/ChargeHistory.h"
#include "platform/linux/Translations.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Voltwren"));
    installTranslations(application);
    const CommandLine commandLine = CommandLine::parse(QCoreApplication::arguments());
    if (commandLine.mode != CommandLine::Mode::history) {
        std::fputs("voltwren-history: run it as `voltwren history`\n", stderr);
        return 2;
    }
    return HistoryCommand::run(commandLine, ChargeHistory::databasePath());
}
