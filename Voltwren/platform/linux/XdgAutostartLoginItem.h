#pragma once

#include "platform/LoginItemService.h"

// Start at login through an XDG autostart entry. The entry counts as ours
// only while its Exec starts this very program, so a copy elsewhere (an
// installed one, a build tree) never mistakes another copy's entry for its own.
// Main thread only.
class XdgAutostartLoginItem final : public LoginItemService {
public:
    // entryPath: the .desktop file; executablePath: the absolute path written
    // to Exec and recognised in it.
    XdgAutostartLoginItem(QString entryPath, QString executablePath);

    // $XDG_CONFIG_HOME (or ~/.config)/autostart/app.voltwren.Voltwren.desktop
    static QString defaultEntryPath();
    // The command that starts the running program (its package's
    // bin/voltwren), canonical; empty when it cannot be told.
    static QString runningExecutablePath();

    // The Exec value starting PROGRAM, quoted and escaped as desktop entries
    // require; and the program an Exec value starts (nullopt when malformed).
    static QString execValue(const QString& program);
    static std::optional<QString> programOfExec(const QString& value);

    Status status() const override;
    std::optional<QString> registerItem() override;
    std::optional<QString> unregisterItem() override;

    const QString& entryPath() const { return m_entryPath; }

private:
    bool startsThisProgram(const QString& program) const;

    QString m_entryPath;
    QString m_executablePath;
};
