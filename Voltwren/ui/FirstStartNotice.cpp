#include "FirstStartNotice.h"

#include "TrayHostWatcher.h"
#include "app/Console.h"
#include "app/DiagnosticLog.h"
#include "platform/NotificationCenter.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

const QString FirstStartNotice::title =
    QStringLiteral(QT_TRANSLATE_NOOP("FirstStartNotice", "Voltwren is running"));
const QString FirstStartNotice::body = QStringLiteral(QT_TRANSLATE_NOOP(
    "FirstStartNotice",
    "Voltwren is watching your batteries, but this desktop shows no tray icons. On GNOME, the "
    "AppIndicator extension (gnome-shell-extension-appindicator) shows them. Open Voltwren "
    "again to see its panel."));

QString FirstStartNotice::defaultMarkerPath() {
    return logDirectoryURL() + QStringLiteral("/first-start");
}

FirstStartNotice::FirstStartNotice(TrayHostWatcher& watcher, NotificationCenter& notifications,
                                   QString markerPath, int delayMs, QObject* parent)
    : QObject(parent)
    , m_watcher(watcher)
    , m_notifications(notifications)
    , m_markerPath(std::move(markerPath)) {
    m_wait.setSingleShot(true);
    m_wait.setInterval(delayMs);
    connect(&m_wait, &QTimer::timeout, this, &FirstStartNotice::tell);
}

void FirstStartNotice::start() {
    if (QFileInfo::exists(m_markerPath))
        return;
    if (m_watcher.hasHost()) {
        remember(QStringLiteral("a tray was there"));
        return;
    }
    connect(&m_watcher, &TrayHostWatcher::hostAppeared, this, [this] {
        if (!m_wait.isActive())
            return;
        m_wait.stop();
        remember(QStringLiteral("a tray appeared"));
    });
    m_wait.start();
}

void FirstStartNotice::tell() {
    Notification notice;
    notice.title = QCoreApplication::translate("FirstStartNotice", title.toUtf8().constData());
    notice.body = QCoreApplication::translate("FirstStartNotice", body.toUtf8().constData());
    notice.requestIdentifier = QStringLiteral("first-start");
    notice.defaultSound = false;
    m_notifications.post(notice, [this](std::optional<NotificationError> error) {
        if (error) {
            // Left unmarked: the next start tries again.
            Console::printLine(QStringLiteral("Voltwren: could not say that no tray shows the icon: ") +
                               error->text);
            return;
        }
        diagnosticLog(
            QStringLiteral("FirstStartNotice: no tray appeared; told the user how to show the icon"));
        remember(QStringLiteral("no tray; the user was told"));
    });
}

void FirstStartNotice::remember(const QString& outcome) {
    QDir().mkpath(QFileInfo(m_markerPath).path());
    QSaveFile file(m_markerPath);
    const QByteArray line =
        (QDateTime::currentDateTimeUtc().toString(Qt::ISODate) + QLatin1Char(' ') + outcome).toUtf8() + '\n';
    if (!file.open(QIODevice::WriteOnly) || file.write(line) != line.size() || !file.commit())
        Console::printLine(QStringLiteral("Voltwren: cannot write ") + m_markerPath + QStringLiteral(": ") +
                           file.errorString());
}
