#include "CommandLine.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>

namespace {

struct Parser {
    QCommandLineParser parser;
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")},
                            QCoreApplication::translate("CommandLine", "Show this help and exit.")};
    QCommandLineOption version{{QStringLiteral("v"), QStringLiteral("version")},
                               QCoreApplication::translate("CommandLine", "Show the version and exit.")};
    QCommandLineOption json{
        QStringLiteral("json"),
        QCoreApplication::translate("CommandLine", "status, history: print a JSON array.")};
    QCommandLineOption waybar{
        QStringLiteral("waybar"),
        QCoreApplication::translate("CommandLine",
                                    "status: print one JSON object for a waybar custom module.")};
    QCommandLineOption watch{
        QStringLiteral("watch"),
        QCoreApplication::translate("CommandLine",
                                    "status: with --json or --waybar, print a new line on every change "
                                    "until ended.")};
    QCommandLineOption days{
        QStringLiteral("days"),
        QCoreApplication::translate("CommandLine",
                                    "history: how many days back to print, 1 to 90 (7 by default)."),
        QCoreApplication::translate("CommandLine", "N")};

    Parser() {
        parser.setApplicationDescription(QCoreApplication::translate(
            "CommandLine", "Voltwren watches the charge of this computer's battery and of its Bluetooth "
                           "accessories from the tray.\n\nWithout a command it starts the tray program (or, "
                           "when it already runs, opens its panel)."));
        parser.addOptions({help, version, json, waybar, watch, days});
        parser.addPositionalArgument(
            QCoreApplication::translate("CommandLine", "command"),
            QCoreApplication::translate(
                "CommandLine",
                "status: print each device's charge and leave. It asks the running program, or, "
                "when none runs, reads the sources once itself.\n"
                "history [DEVICE]: print the recorded charges of every device, or of the one "
                "with that name or id."),
            QCoreApplication::translate("CommandLine", "[status | history [DEVICE]]"));
        parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    }
};

} // namespace

CommandLine CommandLine::parse(const QStringList& arguments) {
    Parser p;
    CommandLine result;
    const auto fail = [&result](const QString& error) {
        result.mode = Mode::usageError;
        result.error = error;
        return result;
    };
    if (!p.parser.parse(arguments))
        return fail(p.parser.errorText());
    if (p.parser.isSet(p.help)) {
        result.mode = Mode::help;
        return result;
    }
    if (p.parser.isSet(p.version)) {
        result.mode = Mode::version;
        return result;
    }
    const QStringList positional = p.parser.positionalArguments();
    const bool history = positional.value(0) == QLatin1String("history");
    if (positional.size() > (history ? 2 : 1))
        return fail(QCoreApplication::translate("CommandLine", "Unexpected argument '%1'.")
                        .arg(positional.at(history ? 2 : 1)));
    if (!positional.isEmpty() && positional.constFirst() != QLatin1String("status") && !history)
        return fail(
            QCoreApplication::translate("CommandLine", "Unknown command '%1'.").arg(positional.constFirst()));
    const bool status = !positional.isEmpty() && !history;
    const bool json = p.parser.isSet(p.json);
    const bool waybar = p.parser.isSet(p.waybar);
    result.watch = p.parser.isSet(p.watch);
    if (history) {
        if (waybar || result.watch)
            return fail(QCoreApplication::translate("CommandLine",
                                                    "--waybar and --watch go with the status command."));
        if (p.parser.isSet(p.days)) {
            bool number = false;
            result.days = p.parser.value(p.days).toInt(&number);
            if (!number || result.days < 1 || result.days > 90)
                return fail(QCoreApplication::translate("CommandLine",
                                                        "--days takes a whole number of days from 1 to 90."));
        }
        result.mode = Mode::history;
        result.format = json ? Format::json : Format::text;
        result.device = positional.value(1);
        return result;
    }
    if (p.parser.isSet(p.days))
        return fail(QCoreApplication::translate("CommandLine", "--days goes with the history command."));
    if (!status && (json || waybar || result.watch))
        return fail(QCoreApplication::translate("CommandLine",
                                                "--json, --waybar and --watch go with the status command."));
    if (json && waybar)
        return fail(QCoreApplication::translate("CommandLine", "Choose one of --json and --waybar."));
    if (result.watch && !json && !waybar)
        return fail(QCoreApplication::translate(
            "CommandLine", "--watch needs --json or --waybar: it prints one line per change."));
    if (status) {
        result.mode = Mode::status;
        result.format = json ? Format::json : waybar ? Format::waybar : Format::text;
    }
    return result;
}

QString CommandLine::helpText() {
    Parser p;
    return p.parser.helpText();
}

QString CommandLine::usageLine() {
    return QCoreApplication::translate(
        "CommandLine", "Usage: voltwren [status [--json | --waybar] [--watch] | history [--json] [--days N] "
                       "[DEVICE]] | --help | --version");
}
