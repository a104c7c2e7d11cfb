#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// What the launch location check needs of the system: where the package
// runs from, alerts shown before any window exists, the file operations of
// a move into the Applications folder, child processes and the exit.
class LaunchLocationPlatform {
public:
    enum class AlertStyle { informational, warning };
    struct Alert {
        AlertStyle style = AlertStyle::informational;
        QString messageText;
        QString informativeText;
        QStringList buttons; // first is the default; empty: the platform's own acknowledgement
    };

    virtual ~LaunchLocationPlatform() = default;

    // False where packages are not moved into an Applications folder; the
    // check then never asks.
    virtual bool supportsRelocation() const = 0;
    // The running application package.
    virtual QString bundlePath() const = 0;
    // nullopt when the query fails or gives no answer.
    virtual std::optional<bool> isOnReadOnlyVolume(const QString& path) const = 0;
    // Shows ALERT modally: the index of the button that closed it, or -1.
    virtual int runModalAlert(const Alert& alert) = 0;

    virtual bool exists(const QString& path) const = 0;
    // Each returns the failure's localised description, or nullopt.
    virtual std::optional<QString> moveToTrash(const QString& path) = 0;
    virtual std::optional<QString> copyRecursively(const QString& source, const QString& destination) = 0;

    // Both inherit standard output and error; false when PROGRAM cannot be
    // started. runAndWait waits for it to end, within a bound.
    virtual bool runAndWait(const QString& program, const QStringList& arguments) = 0;
    virtual bool startDetached(const QString& program, const QStringList& arguments) = 0;

    // Ends the process with STATUS; only a simulated platform returns.
    virtual void exit(int status) = 0;
};

// The running system's. Main thread only.
LaunchLocationPlatform& launchLocationPlatform();
