#pragma once

#include <QString>

#include <optional>

// The application package: its fixed identity, its information values and
// the auxiliary executables shipped inside it.
class Bundle {
public:
    virtual ~Bundle() = default;

    // Also the desktop-file, autostart, icon and settings folder name.
    static constexpr const char* identifier = "app.voltwren.Voltwren";

    // "CFBundleName", "CFBundleShortVersionString"; nullopt when unknown.
    virtual std::optional<QString> infoString(const QString& key) const = 0;
    // The path of the auxiliary executable NAME, or nullopt when the package
    // does not contain it (or it is not a file).
    virtual std::optional<QString> auxiliaryExecutable(const QString& name) const = 0;
    // The same for a module the program opens while it runs (a plugin
    // file, NAME with its suffix), kept beside the auxiliary executables.
    virtual std::optional<QString> auxiliaryModule(const QString& name) const = 0;
    // The command that starts this package's program (bin/voltwren), also
    // when asked from one of its auxiliary executables.
    virtual QString launcherPath() const = 0;
};

// The running program's package. Safe to call from any thread.
const Bundle& mainBundle();
