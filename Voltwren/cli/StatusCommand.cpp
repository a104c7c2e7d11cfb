#include "StatusCommand.h"

#include "OneOffReading.h"
#include "SessionNames.h"
#include "StatusFormat.h"
#include "app/Console.h"
#include "app/DiagnosticLog.h"
#include "app/WhenAnswered.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QSocketNotifier>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// How long a running program has to answer: long for a bus call, short
// for a person waiting at a prompt.
constexpr int ownerCheckTimeout = 2000;
// How often a watch asks again a program that did not answer.
constexpr std::chrono::milliseconds askRetryInterval{5000};

void writeError(const QString& line) {
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stderr);
    std::fflush(stderr);
}

// Whole, flushed at once (a bar reads line by line); false, with errno set,
// when the text could not be written.
bool writeOut(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    errno = 0;
    const std::size_t written =
        std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stdout);
    return std::fflush(stdout) == 0 && written == static_cast<std::size_t>(bytes.size());
}

} // namespace

StatusCommand::StatusCommand(const CommandLine& commandLine, const QDBusConnection& session, QObject* parent)
    : QObject(parent)
    , m_commandLine(commandLine)
    , m_session(session) {}

StatusCommand::~StatusCommand() = default;

void StatusCommand::start() {
    // What the program's parts print or log is not this command's answer.
    Console::setQuiet(true);
    DiagnosticLog::setEnabled(false);

    if (!m_session.isConnected()) {
        if (m_commandLine.watch) {
            writeError(QCoreApplication::translate(
                "StatusCommand", "voltwren: --watch follows the program on the session bus, and there "
                                 "is none"));
            done(1);
            return;
        }
        readOnce(Absence::notRunning);
        return;
    }
    m_askRetry.setSingleShot(true);
    m_askRetry.setInterval(askRetryInterval);
    connect(&m_askRetry, &QTimer::timeout, this, &StatusCommand::askProgram);
    if (m_commandLine.watch) {
        // Follow the program as it comes and goes: a bar often starts first.
        m_watcher = new QDBusServiceWatcher(QLatin1String(SessionNames::service), m_session,
                                            QDBusServiceWatcher::WatchForOwnerChange, this);
        connect(m_watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
                [this](const QString&, const QString&, const QString& newOwner) {
                    m_ownerIsVoltwren = false;
                    m_askRetry.stop();
                    if (newOwner.isEmpty())
                        show(std::nullopt);
                    else
                        askProgram();
                });
        m_session.connect(QLatin1String(SessionNames::service), QLatin1String(SessionNames::objectPath),
                          QStringLiteral("org.freedesktop.DBus.Properties"),
                          QStringLiteral("PropertiesChanged"), this, SLOT(onPropertiesChanged(QDBusMessage)));
        // Said by the connection itself when the bus goes away.
        m_session.connect(QString(), QStringLiteral("/org/freedesktop/DBus/Local"),
                          QStringLiteral("org.freedesktop.DBus.Local"), QStringLiteral("Disconnected"), this,
                          SLOT(onDisconnected()));
        endWhenReaderGoes();
    }
    askProgram();
}

void StatusCommand::askProgram() {
    // All of the interface at once: the list, and what tells a Voltwren
    // from another program that holds its name. A program that hangs gets
    // a short wait, not the usual one.
    QDBusMessage getAll = QDBusMessage::createMethodCall(
        QLatin1String(SessionNames::service), QLatin1String(SessionNames::objectPath),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("GetAll"));
    getAll << QLatin1String(SessionNames::interface);
    m_askRetry.stop();
    whenAnswered(m_session.asyncCall(getAll, ownerCheckTimeout), this, [this](const QDBusMessage& reply) {
        const QVariantMap properties =
            reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()
                ? qdbus_cast<QVariantMap>(reply.arguments().constFirst())
                : QVariantMap();
        m_ownerIsVoltwren = SessionNames::answersAsVoltwren(properties);
        if (m_ownerIsVoltwren) {
            show(StatusFormat::fromDBus(properties.value(QStringLiteral("Devices"))).toArray());
            return;
        }
        const bool noAnswer =
            reply.type() == QDBusMessage::ErrorMessage && SessionNames::isNoAnswer(reply.errorName());
        const bool noOwner =
            reply.type() == QDBusMessage::ErrorMessage && !noAnswer &&
            (reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
             reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner"));
        if (!m_commandLine.watch) {
            // Read for ourselves, saying why.
            readOnce(noOwner ? Absence::notRunning : noAnswer ? Absence::notAnswering : Absence::otherOwner);
        } else if (noAnswer) {
            showNotAnswering();
            m_askRetry.start(); // it may come back to life without announcing it
        } else {
            show(std::nullopt); // a program just starting announces its list once it has one
        }
    });
}

void StatusCommand::readOnce(Absence why) {
    if (m_reading)
        return; // one at a time
    switch (why) {
    case Absence::notRunning:
        writeError(QCoreApplication::translate(
            "StatusCommand", "voltwren: Voltwren is not running; this is a one-off reading of the sources"));
        break;
    case Absence::notAnswering:
        writeError(QCoreApplication::translate(
            "StatusCommand",
            "voltwren: Voltwren is running but does not answer; this is a one-off reading of the sources"));
        break;
    case Absence::otherOwner:
        writeError(QCoreApplication::translate("StatusCommand",
                                               "voltwren: another program holds Voltwren's name on the "
                                               "session bus; this is a one-off reading of the sources"));
        break;
    }
    m_reading = std::make_unique<OneOffReading>();
    connect(m_reading.get(), &OneOffReading::finished, this, [this](const QList<QVariantMap>& devices) {
        m_reading.release()->deleteLater();
        show(StatusFormat::fromMaps(devices));
    });
    m_reading->start();
}

void StatusCommand::onPropertiesChanged(const QDBusMessage& message) {
    const QVariantList arguments = message.arguments();
    if (arguments.size() < 2 || arguments.constFirst().toString() != QLatin1String(SessionNames::interface))
        return;
    // Only the program itself is followed, not whatever holds its name: an
    // owner not yet known as a Voltwren (one just starting) is asked first.
    if (!m_ownerIsVoltwren) {
        askProgram();
        return;
    }
    const QJsonObject changed = StatusFormat::fromDBus(arguments.at(1)).toObject();
    if (changed.contains(QStringLiteral("Devices")))
        show(changed.value(QStringLiteral("Devices")).toArray());
    else if (!m_devices)
        askProgram(); // a poll of a program whose list we missed
}

void StatusCommand::onDisconnected() {
    writeError(QCoreApplication::translate("StatusCommand", "voltwren: the session bus went away"));
    done(1);
}

void StatusCommand::endWhenReaderGoes() {
    // Bars start their modules with SIGPIPE ignored, so only a failed write
    // would tell that the bar closed the pipe, and a list that does not
    // change writes nothing. The write end of a pipe whose reader is gone
    // polls as an error, which a read notifier hears.
    struct stat info {};
    if (::fstat(STDOUT_FILENO, &info) != 0 || !S_ISFIFO(info.st_mode))
        return;
    auto* notifier = new QSocketNotifier(STDOUT_FILENO, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this, notifier] {
        pollfd out{STDOUT_FILENO, 0, 0};
        if (::poll(&out, 1, 0) == 1 && (out.revents & (POLLERR | POLLHUP))) {
            done(1);
            return;
        }
        // Readable for some other reason (a FIFO opened both ways): leave it to the writes.
        notifier->setEnabled(false);
    });
}

QString StatusCommand::format(const std::optional<QJsonArray>& devices) const {
    switch (m_commandLine.format) {
    case CommandLine::Format::text:
        return StatusFormat::text(devices.value_or(QJsonArray()));
    case CommandLine::Format::json:
        return StatusFormat::json(devices.value_or(QJsonArray())) + QLatin1Char('\n');
    case CommandLine::Format::waybar:
        return (devices ? StatusFormat::waybar(*devices) : StatusFormat::waybarStopped()) + QLatin1Char('\n');
    }
    return {};
}

void StatusCommand::showNotAnswering() {
    m_devices.reset();
    printLine(m_commandLine.format == CommandLine::Format::waybar
                  ? StatusFormat::waybarNotAnswering() + QLatin1Char('\n')
                  : format(std::nullopt));
}

void StatusCommand::show(const std::optional<QJsonArray>& devices) {
    m_devices = devices;
    printLine(format(devices));
}

void StatusCommand::printLine(const QString& text) {
    if (m_done)
        return;
    // A poll that changed nothing, or one change announced twice, is not a new line.
    if (m_commandLine.watch && text == m_lastPrinted)
        return;
    m_lastPrinted = text;
    if (!writeOut(text)) {
        // A reader that went away needs no word; anything else does.
        if (errno != EPIPE)
            writeError(QCoreApplication::translate("StatusCommand", "voltwren: cannot write the status: ") +
                       QString::fromLocal8Bit(std::strerror(errno)));
        done(1);
        return;
    }
    if (!m_commandLine.watch)
        done(0);
}

void StatusCommand::done(int status) {
    if (m_done)
        return;
    // Nothing more is printed, whatever is still on its way; queued, as the
    // event loop may not run yet.
    m_done = true;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [status] { QCoreApplication::exit(status); }, Qt::QueuedConnection);
}
