#pragma once

#include <QString>
#include <QStringList>

// What the user asked for on the command line. Parsed without an
// application object, so a bad command line never needs a display.
struct CommandLine {
    enum class Mode { run, status, history, help, version, usageError };
    enum class Format { text, json, waybar };

    Mode mode = Mode::run;
    Format format = Format::text;
    bool watch = false;
    // history: how many days back, and the one device (id or name) or all.
    int days = 7;
    QString device;
    // For a usage error: what was wrong, one line.
    QString error;

    static CommandLine parse(const QStringList& arguments);
    // The whole --help text.
    static QString helpText();
    // What a usage error prints after its own line.
    static QString usageLine();
};
