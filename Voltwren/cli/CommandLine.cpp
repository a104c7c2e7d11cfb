#include "CommandLine.h"

#include <QCommandLineOption>
#include <QCommandLineParser>

namespace {

struct Parser {
    QCommandLineParser parser;
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")},
                            QStringLiteral("Show this help and exit.")};
    QCommandLineOption version{{QStringLiteral("v"), QStringLiteral("version")},
                               QStringLiteral("Show the version and exit.")};
    QCommandLineOption json{QStringLiteral("json"), QStringLiteral("status, history: print a JSON array.")};
    QCommandLineOption waybar{QStringLiteral("waybar"),
                              QStringLiteral("status: print one JSON object for a waybar custom module.")};
    QCommandLineOption watch{
        QStringLiteral("watch"),
        QStringLiteral("status: with --json or --waybar, print a new line on every change "
                       "until ended.")};
    QCommandLineOption days{QStringLiteral("days"),
                            QStringLiteral("history: how many days back to print, 1 to 90 (7 by default)."),
                            QStringLiteral("N")};

    Parser() {
        parser.setApplicationDescription(
            QStringLiteral("Voltwren watches the charge of this computer's battery and of its Bluetooth "
                           "accessories from the tray.\n\nWithout a command it starts the tray program (or, "
                           "when it already runs, opens its panel)."));
        parser.addOptions({help, version, json, waybar, watch, days});
        parser.addPositionalArgument(
            QStringLiteral("command"),
            QStringLiteral("status: print each device's charge and leave. It asks the running program, or, "
                           "when none runs, reads the sources once itself.\n"
                           "history [DEVICE]: print the recorded charges of every device, or of the one "
                           "with that name or id."),
            QStringLiteral("[status | history [DEVICE]]"));
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
        return fail(QStringLiteral("Unexpected argument '%1'.").arg(positional.at(history ? 2 : 1)));
    if (!positional.isEmpty() && positional.constFirst() != QLatin1String("status") && !history)
        return fail(QStringLiteral("Unknown command '%1'.").arg(positional.constFirst()));
    const bool status = !positional.isEmpty() && !history;
    const bool json = p.parser.isSet(p.json);
    const bool waybar = p.parser.isSet(p.waybar);
    result.watch = p.parser.isSet(p.watch);
    if (history) {
        if (waybar || result.watch)
            return fail(QStringLiteral("--waybar and --watch go with the status command."));
        if (p.parser.isSet(p.days)) {
            bool number = false;
            result.days = p.parser.value(p.days).toInt(&number);
            if (!number || result.days < 1 || result.days > 90)
                return fail(QStringLiteral("--days takes a whole number of days from 1 to 90."));
        }
        result.mode = Mode::history;
        result.format = json ? Format::json : Format::text;
        result.device = positional.value(1);
        return result;
    }
    if (p.parser.isSet(p.days))
        return fail(QStringLiteral("--days goes with the history command."));
    if (!status && (json || waybar || result.watch))
        return fail(QStringLiteral("--json, --waybar and --watch go with the status command."));
    if (json && waybar)
        return fail(QStringLiteral("Choose one of --json and --waybar."));
    if (result.watch && !json && !waybar)
        return fail(QStringLiteral("--watch needs --json or --waybar: it prints one line per change."));
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
    return QStringLiteral(
        "Usage: voltwren [status [--json | --waybar] [--watch] | history [--json] [--days N] "
        "[DEVICE]] | --help | --version");
}
