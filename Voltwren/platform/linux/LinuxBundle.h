#pragma once

#include "platform/Bundle.h"

// The install prefix is the package: bin/voltwren with its helpers (the
// tray program among them) in libexec/voltwren/, found relative to the
// running executable.
class LinuxBundle final : public Bundle {
public:
    // libexecDir: where auxiliary executables live; launcher: bin/voltwren.
    LinuxBundle(QString libexecDir, QString launcher);
    // The layout around the running executable, whether that is bin/voltwren
    // or one of the programs in libexec/voltwren.
    static LinuxBundle forExecutable(const QString& executable);
    static LinuxBundle forRunningExecutable();

    std::optional<QString> infoString(const QString& key) const override;
    std::optional<QString> auxiliaryExecutable(const QString& name) const override;
    std::optional<QString> auxiliaryModule(const QString& name) const override;
    QString launcherPath() const override { return m_launcher; }
    // The absolute path of RELATIVE under the package's data folder
    // (share/, beside bin/), or nullopt when it is not a file there.
    std::optional<QString> dataFile(const QString& relative) const;

    const QString& libexecDir() const { return m_libexecDir; }

private:
    QString m_libexecDir;
    QString m_launcher;
};
