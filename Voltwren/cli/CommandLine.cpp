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
    QCommandLineOption json{QStringLiteral("json"),
                            QStringLiteral("status: print the devices as a JSON array.")};
    QCommandLineOption waybar{QStringLiteral("waybar"),
                              QStringLiteral("status: print one JSON object for a waybar custom module.")};
    QCommandLineOption watch{
        QStringLiteral("watch"),
        QStringLiteral("status: with --json or --waybar, print a new line on every change "
                       "until ended.")};

    Parser() {
        parser.setApplicationDescription(
            QStringLiteral("Voltwren watches the charge of this computer's battery and of its Bluetooth "
                           "accessories from the tray.\n\nWithout a command it starts the tray program (or, "
                           "when it already runs, opens its panel)."));
        parser.addOptions({help, version, json, waybar, watch});
        parser.addPositionalArgument(
            QStringLiteral("command"),
            QStringLiteral("status: print each device's charge and leave. It asks the running program, or, "
                           "when none runs, reads the sources once itself."),
            QStringLiteral("[status]"));
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
    if (positional.size() > 1)
        return fail(QStringLiteral("Unexpected argument '%1'.").arg(positional.at(1)));
    if (!positional.isEmpty() && positional.constFirst() != QLatin1String("status"))
        return fail(QStringLiteral("Unknown command '%1'.").arg(positional.constFirst()));
    const bool status = !positional.isEmpty();
    const bool json = p.parser.isSet(p.json);
    const bool waybar = p.parser.isSet(p.waybar);
    result.watch = p.parser.isSet(p.watch);
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
    return QStringLiteral("Usage: voltwren [status [--json | --waybar] [--watch]] | --help | --version");
}
