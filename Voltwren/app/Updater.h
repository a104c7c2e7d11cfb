#pragma once

#include "app/AppcastFeed.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <functional>
#include <optional>

class DefaultsStore;
class QProcess;
class UpdaterUserDriver;

// Checks the update feed: automatically at most once a day, and when the
// user asks. Everything runs on the main thread's event loop without ever
// waiting on it; the network is asynchronous and every wait is bounded.
class UpdaterController final : public QObject {
    Q_OBJECT

public:
    struct Configuration {
        QUrl feedUrl; // empty: update checks are off
        QString runningVersion;
        DefaultsStore* defaults = nullptr;
        std::chrono::milliseconds firstCheckDelay{std::chrono::minutes(1)};
        std::chrono::milliseconds networkTimeout{std::chrono::seconds(15)};
        // The program that fetches the feed (libexec/voltwren/update-fetch).
        QString fetchProgram;
        // How often the schedule is looked at again. Timers stop while the
        // computer sleeps and the wall clock does not, so a day-long timer
        // would run late.
        std::chrono::milliseconds scheduleGranularity{std::chrono::hours(1)};
        std::function<QDateTime()> now = [] { return QDateTime::currentDateTimeUtc(); };

        // The compiled-in feed (or $VOLTWREN_UPDATE_FEED_URL), the package
        // version and the user's defaults.
        static Configuration system();
    };

    static constexpr std::chrono::hours checkInterval{24};
    static constexpr qint64 maximumFeedSize = 1024 * 1024;
    static constexpr const char* lastUpdateCheckKey = "voltwren.lastUpdateCheck";
    static constexpr const char* skippedVersionKey = "voltwren.skippedUpdateVersion";

    // VOLTWREN_UPDATE_FEED_URL from the environment when set (even empty),
    // else the address given at build time.
    static QUrl defaultFeedUrl();
    // https, or plain http to 127.0.0.1 (for tests).
    static bool isAllowedFeedUrl(const QUrl& url);

    explicit UpdaterController(Configuration configuration, QObject* parent = nullptr);
    ~UpdaterController() override;

    // False when built or run without a feed address: there is nothing to
    // check and no "Updates" section to offer.
    bool isEnabled() const { return !m_configuration.feedUrl.isEmpty(); }
    const QString& runningVersion() const { return m_configuration.runningVersion; }
    bool isChecking() const { return m_checking; }
    std::optional<QDateTime> lastUpdateCheckDate() const;

    // Not owned: it must outlive the controller or be unset. Without one,
    // results only reach the log.
    void setUserDriver(UpdaterUserDriver* driver) { m_userDriver = driver; }

    // Arms the automatic checks: the first after firstCheckDelay, then once
    // a day. Only the first call counts.
    void startUpdater();
    // A check the user asked for: every outcome is shown. Joins a check
    // already running.
    void checkForUpdates();
    // An automatic check: only a newer version that was not skipped is
    // shown; everything else is one log line.
    void checkForUpdatesInBackground();

Q_SIGNALS:
    // After each check, once its outcome has been shown or logged.
    void checkFinished();

private:
    void beginCheck(bool userInitiated);
    void onScheduleTimer();
    void armSchedule(std::chrono::milliseconds delay);
    void abortCheck(const QString& reason);
    void onFetchFinished();
    void evaluate(const AppcastFeed::Parsed& parsed);
    void finishUpToDate(const std::optional<AppcastItem>& newest);
    void finishWithUpdate(const AppcastItem& update);
    void finishWithFailure(const QString& reason);
    void endCheck();
    std::optional<QString> skippedVersion() const;

    Configuration m_configuration;
    UpdaterUserDriver* m_userDriver = nullptr;
    QTimer m_scheduleTimer;
    QTimer m_deadline;
    QProcess* m_fetch = nullptr;
    QByteArray m_body;
    std::optional<QString> m_abortReason;
    bool m_started = false;
    bool m_checking = false;
    bool m_userInitiated = false;
    bool m_showingUpdate = false;
};

// The one controller of the process, created on first use (from any thread)
// and started at once. It lives on the main thread until the process ends.
// Needs the application object to exist.
UpdaterController& updaterController();
