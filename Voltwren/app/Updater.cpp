#include "Updater.h"

#include "app/DiagnosticLog.h"
#include "app/UpdaterUserDriver.h"
#include "app/WhenFinished.h"
#include "platform/Bundle.h"
#include "platform/DefaultsStore.h"

#include <QCoreApplication>
#include <QFuture>
#include <QPointer>
#include <QProcess>
#include <QThread>
#include <QtConcurrent>

#include <cmath>

#ifndef VOLTWREN_UPDATE_FEED_URL
#define VOLTWREN_UPDATE_FEED_URL ""
#endif

namespace {

// How long past its own bound the helper may take to say so before it is killed.
constexpr std::chrono::milliseconds fetchGrace{2000};

QString seconds(std::chrono::milliseconds duration) {
    return QString::number(double(duration.count()) / 1000.0);
}

void log(const QString& message) {
    diagnosticLog(QStringLiteral("Updater: ") + message);
}

} // namespace

UpdaterController::Configuration UpdaterController::Configuration::system() {
    Configuration configuration;
    configuration.feedUrl = defaultFeedUrl();
    configuration.runningVersion =
        mainBundle().infoString(QStringLiteral("CFBundleShortVersionString")).value_or(QStringLiteral("0"));
    configuration.defaults = &userDefaults();
    configuration.fetchProgram =
        mainBundle().auxiliaryExecutable(QStringLiteral("update-fetch")).value_or(QString());
    return configuration;
}

QUrl UpdaterController::defaultFeedUrl() {
    // Set but empty turns checks off, as an empty build-time address does.
    const QString address = qEnvironmentVariableIsSet("VOLTWREN_UPDATE_FEED_URL")
                                ? qEnvironmentVariable("VOLTWREN_UPDATE_FEED_URL")
                                : QStringLiteral(VOLTWREN_UPDATE_FEED_URL);
    return QUrl(address.trimmed(), QUrl::StrictMode);
}

bool UpdaterController::isAllowedFeedUrl(const QUrl& url) {
    if (!url.isValid() || url.host().isEmpty())
        return false;
    return url.scheme() == QLatin1String("https") ||
           (url.scheme() == QLatin1String("http") && url.host() == QLatin1String("127.0.0.1"));
}

UpdaterController::UpdaterController(Configuration configuration, QObject* parent)
    : QObject(parent)
    , m_configuration(std::move(configuration))
    , m_scheduleTimer(this)
    , m_deadline(this) {
    m_scheduleTimer.setSingleShot(true);
    m_scheduleTimer.setTimerType(Qt::CoarseTimer);
    connect(&m_scheduleTimer, &QTimer::timeout, this, &UpdaterController::onScheduleTimer);
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this] {
        abortCheck(QStringLiteral("the server did not answer within %1 seconds")
                       .arg(seconds(m_configuration.networkTimeout)));
    });
}

UpdaterController::~UpdaterController() {
    if (m_fetch) {
        m_fetch->disconnect(this);
        m_fetch->kill();
    }
}

std::optional<QDateTime> UpdaterController::lastUpdateCheckDate() const {
    if (!m_configuration.defaults)
        return std::nullopt;
    const std::optional<DefaultsValue> value =
        m_configuration.defaults->get(QLatin1String(lastUpdateCheckKey));
    const std::optional<double> seconds = value ? value->toNumber() : std::nullopt;
    // Anything but a plausible time (a hand-edited file) reads as never.
    if (!seconds || !std::isfinite(*seconds) || std::abs(*seconds) > 1e11)
        return std::nullopt;
    return QDateTime::fromMSecsSinceEpoch(qint64(*seconds * 1000.0), Qt::UTC);
}

std::optional<QString> UpdaterController::skippedVersion() const {
    if (!m_configuration.defaults)
        return std::nullopt;
    const std::optional<DefaultsValue> value =
        m_configuration.defaults->get(QLatin1String(skippedVersionKey));
    return value ? value->toString() : std::nullopt;
}

void UpdaterController::startUpdater() {
    if (m_started || !isEnabled())
        return;
    m_started = true;
    armSchedule(m_configuration.firstCheckDelay);
}

void UpdaterController::checkForUpdates() {
    beginCheck(true);
}

void UpdaterController::checkForUpdatesInBackground() {
    beginCheck(false);
}

void UpdaterController::armSchedule(std::chrono::milliseconds delay) {
    m_scheduleTimer.start(std::max(delay, std::chrono::milliseconds(0)));
}

void UpdaterController::onScheduleTimer() {
    using std::chrono::milliseconds;
    if (m_checking) {
        armSchedule(m_configuration.scheduleGranularity);
        return;
    }
    const QDateTime now = m_configuration.now();
    const std::optional<QDateTime> last = lastUpdateCheckDate();
    const milliseconds interval = checkInterval;
    // A last check in the future means the clock was set back: check now
    // rather than wait for the clock to catch up.
    const milliseconds since = last ? milliseconds(last->msecsTo(now)) : interval;
    if (since >= interval || since < milliseconds(0)) {
        checkForUpdatesInBackground();
        return;
    }
    armSchedule(std::min(interval - since, m_configuration.scheduleGranularity));
}

void UpdaterController::beginCheck(bool userInitiated) {
    if (m_checking) {
        m_userInitiated = m_userInitiated || userInitiated;
        return;
    }
    m_checking = true;
    m_userInitiated = userInitiated;
    m_abortReason.reset();
    m_body.clear();

    if (!isEnabled()) {
        finishWithFailure(QStringLiteral("update checks are turned off in this build"));
        return;
    }
    if (m_configuration.defaults)
        m_configuration.defaults->setNumber(QLatin1String(lastUpdateCheckKey),
                                            double(m_configuration.now().toMSecsSinceEpoch()) / 1000.0);
    const QUrl url = m_configuration.feedUrl;
    if (!isAllowedFeedUrl(url)) {
        finishWithFailure(
            QStringLiteral("the update feed address is not an https address: %1").arg(url.toDisplayString()));
        return;
    }

    if (m_configuration.fetchProgram.isEmpty()) {
        finishWithFailure(QStringLiteral("the update helper is missing from this installation"));
        return;
    }
    // The network is another process's business: this one, left running all
    // day, carries no network or TLS stack. Its own bound is the check's; a
    // helper that overruns it is killed.
    m_fetch = new QProcess(this);
    m_fetch->setProcessChannelMode(QProcess::SeparateChannels);
    QProcess* fetch = m_fetch;
    connect(fetch, &QProcess::readyReadStandardOutput, this, [this, fetch] {
        m_body += fetch->readAllStandardOutput();
        if (m_body.size() > maximumFeedSize)
            abortCheck(QStringLiteral("the update feed is larger than 1 MiB"));
    });
    connect(fetch, &QProcess::finished, this, &UpdaterController::onFetchFinished);
    connect(fetch, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            abortCheck(QStringLiteral("the update helper could not be started: ") + m_fetch->errorString());
    });
    m_deadline.start(m_configuration.networkTimeout + fetchGrace);
    fetch->start(m_configuration.fetchProgram, {url.toString(QUrl::FullyEncoded),
                                                QStringLiteral("Voltwren/") + m_configuration.runningVersion,
                                                QString::number(m_configuration.networkTimeout.count())});
}

void UpdaterController::abortCheck(const QString& reason) {
    if (!m_fetch || m_abortReason)
        return;
    m_abortReason = reason;
    if (m_fetch->state() == QProcess::NotRunning) {
        onFetchFinished();
        return;
    }
    m_fetch->kill(); // finished follows
}

void UpdaterController::onFetchFinished() {
    QProcess* fetch = std::exchange(m_fetch, nullptr);
    if (!fetch)
        return;
    fetch->disconnect(this);
    fetch->deleteLater();
    m_deadline.stop();

    if (const std::optional<QString> reason = std::exchange(m_abortReason, std::nullopt)) {
        finishWithFailure(*reason);
        return;
    }
    if (fetch->exitStatus() != QProcess::NormalExit || fetch->exitCode() != 0) {
        // The helper's one line says why; keep it to one readable line.
        QString reason =
            QString::fromUtf8(fetch->readAllStandardError()).section(QLatin1Char('\n'), 0, 0).trimmed();
        if (reason.isEmpty())
            reason = QStringLiteral("the update helper failed");
        finishWithFailure(reason.left(500));
        return;
    }
    m_body += fetch->readAllStandardOutput();
    if (m_body.size() > maximumFeedSize) {
        finishWithFailure(QStringLiteral("the update feed is larger than 1 MiB"));
        return;
    }

    // Parsing up to a mebibyte of XML is work for the thread pool.
    whenFinished(this, QtConcurrent::run([body = std::exchange(m_body, QByteArray())] {
                     return AppcastFeed::parse(body);
                 }),
                 [this](const AppcastFeed::Parsed& parsed) { evaluate(parsed); });
}

void UpdaterController::evaluate(const AppcastFeed::Parsed& parsed) {
    if (parsed.error) {
        finishWithFailure(*parsed.error);
        return;
    }
    const std::optional<AppcastItem> newest = AppcastFeed::newest(parsed.items);
    if (!newest) {
        finishUpToDate(std::nullopt);
        return;
    }
    const std::optional<int> order =
        AppcastFeed::compareVersions(newest->version, m_configuration.runningVersion);
    if (!order) {
        finishWithFailure(QStringLiteral("the running version %1 cannot be compared with the feed's")
                              .arg(m_configuration.runningVersion));
        return;
    }
    if (*order <= 0) {
        finishUpToDate(newest);
        return;
    }
    // A skipped version, and anything not newer than it, is not offered again
    // unasked; a later release is.
    const std::optional<QString> skipped = skippedVersion();
    if (!m_userInitiated && skipped &&
        AppcastFeed::compareVersions(newest->version, *skipped).value_or(1) <= 0) {
        log(QStringLiteral("version %1 is available but was skipped (running %2)")
                .arg(newest->displayVersion, m_configuration.runningVersion));
        endCheck();
        return;
    }
    finishWithUpdate(*newest);
}

void UpdaterController::finishUpToDate(const std::optional<AppcastItem>& newest) {
    log(newest ? QStringLiteral("up to date (running %1, newest %2)")
                     .arg(m_configuration.runningVersion, newest->displayVersion)
               : QStringLiteral("up to date (running %1, the feed lists no release)")
                     .arg(m_configuration.runningVersion));
    if (m_userInitiated && m_userDriver)
        m_userDriver->showUpToDate(m_configuration.runningVersion);
    endCheck();
}

void UpdaterController::finishWithUpdate(const AppcastItem& update) {
    log(QStringLiteral("version %1 is available (running %2)")
            .arg(update.displayVersion, m_configuration.runningVersion));
    // One dialog at a time: a later check while it is open finds it there.
    if (m_userDriver && !m_showingUpdate) {
        m_showingUpdate = true;
        const QPointer<UpdaterController> self(this);
        const QString version = update.version;
        m_userDriver->showUpdateFound(
            update, m_configuration.runningVersion, [self, version](UpdaterUserDriver::Choice choice) {
                if (!self)
                    return;
                self->m_showingUpdate = false;
                if (choice == UpdaterUserDriver::Choice::skipThisVersion && self->m_configuration.defaults)
                    self->m_configuration.defaults->setString(QLatin1String(skippedVersionKey), version);
            });
    }
    endCheck();
}

void UpdaterController::finishWithFailure(const QString& reason) {
    log(QStringLiteral("update check failed: ") + reason);
    if (m_userInitiated && m_userDriver)
        m_userDriver->showUpdateError(UpdaterTexts::checkFailed(reason));
    endCheck();
}

void UpdaterController::endCheck() {
    m_checking = false;
    m_userInitiated = false;
    if (m_started)
        armSchedule(std::min<std::chrono::milliseconds>(checkInterval, m_configuration.scheduleGranularity));
    Q_EMIT checkFinished();
}

UpdaterController& updaterController() {
    // A function-local static is initialised once, safely from any thread.
    static UpdaterController* const controller = [] {
        // Never deleted: it lives as long as the process.
        auto* created = new UpdaterController(UpdaterController::Configuration::system());
        QCoreApplication* application = QCoreApplication::instance();
        if (application && created->thread() != application->thread()) {
            created->moveToThread(application->thread());
            QMetaObject::invokeMethod(created, &UpdaterController::startUpdater, Qt::QueuedConnection);
        } else {
            created->startUpdater();
        }
        return created;
    }();
    return *controller;
}
