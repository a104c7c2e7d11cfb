#pragma once

#include "platform/Bundle.h"

// The install prefix is the package: bin/voltwren with its helpers in
// libexec/voltwren/, found relative to the running executable.
class LinuxBundle final : public Bundle {
public:
    // libexecDir: where auxiliary executables live.
    explicit LinuxBundle(QString libexecDir);
    // The layout around the running executable (<bin>/../libexec/voltwren).
    static LinuxBundle forRunningExecutable();

    std::optional<QString> infoString(const QString& key) const override;
    std::optional<QString> auxiliaryExecutable(const QString& name) const override;

    const QString& libexecDir() const { return m_libexecDir; }

private:
    QString m_libexecDir;
};
