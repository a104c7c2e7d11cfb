#pragma once

#include "platform/LaunchLocationPlatform.h"

// Programs on Linux are installed by a package manager or built from source;
// there is no Applications folder to move into, so relocation is never
// offered. The operations below are real but small, for completeness.
class LinuxLaunchLocationPlatform final : public LaunchLocationPlatform {
public:
    bool supportsRelocation() const override { return false; }
    // The install prefix around the running executable (<prefix>/bin/voltwren).
    QString bundlePath() const override;
    std::optional<bool> isOnReadOnlyVolume(const QString& path) const override;
    // No widgets exist this early: the alert goes to standard error and
    // counts as closed without a choice.
    int runModalAlert(const Alert& alert) override;
    bool exists(const QString& path) const override;
    std::optional<QString> moveToTrash(const QString& path) override;
    std::optional<QString> copyRecursively(const QString& source, const QString& destination) override;
    bool runAndWait(const QString& program, const QStringList& arguments) override;
    bool startDetached(const QString& program, const QStringList& arguments) override;
    void exit(int status) override;
};
