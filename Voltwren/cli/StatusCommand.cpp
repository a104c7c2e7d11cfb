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

#include <cstdio>

namespace {

constexpr int callTimeout = 5000;

void writeOut(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stdout);
    std::fflush(stdout); // a bar reads line by line
}

void writeError(const QString& line) {
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stderr);
    std::fflush(stderr);
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
        readOnce();
        return;
    }
    if (m_commandLine.watch) {
        // Follow the program as it comes and goes: a bar often starts first.
        m_watcher = new QDBusServiceWatcher(QLatin1String(SessionNames::service), m_session,
                                            QDBusServiceWatcher::WatchForOwnerChange, this);
        connect(m_watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
                [this](const QString&, const QString&, const QString& newOwner) {
                    if (newOwner.isEmpty())
                        readOnce();
                    else
                        askProgram();
                });
        m_session.connect(QLatin1String(SessionNames::service), QLatin1String(SessionNames::objectPath),
                          QStringLiteral("org.freedesktop.DBus.Properties"),
                          QStringLiteral("PropertiesChanged"), this, SLOT(onPropertiesChanged(QDBusMessage)));
    }
    askProgram();
}

void StatusCommand::askProgram() {
    QDBusMessage get = QDBusMessage::createMethodCall(
        QLatin1String(SessionNames::service), QLatin1String(SessionNames::objectPath),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << QLatin1String(SessionNames::interface) << QStringLiteral("Devices");
    whenAnswered(m_session.asyncCall(get, callTimeout), this, [this](const QDBusMessage& reply) {
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
            // No program (or one that does not answer): read for ourselves.
            readOnce();
            return;
        }
        print(StatusFormat::fromDBus(reply.arguments().constFirst()).toArray());
        done();
    });
}

void StatusCommand::readOnce() {
    if (m_reading)
        return; // one at a time
    writeError(QStringLiteral("voltwren: Voltwren is not running; this is a one-off reading of the sources"));
    m_reading = std::make_unique<OneOffReading>();
    connect(m_reading.get(), &OneOffReading::finished, this, [this](const QList<QVariantMap>& devices) {
        m_reading.release()->deleteLater();
        print(StatusFormat::fromMaps(devices));
        done();
    });
    m_reading->start();
}

void StatusCommand::onPropertiesChanged(const QDBusMessage& message) {
    const QVariantList arguments = message.arguments();
    if (arguments.size() < 2 || arguments.constFirst().toString() != QLatin1String(SessionNames::interface))
        return;
    const QJsonObject changed = StatusFormat::fromDBus(arguments.at(1)).toObject();
    // LastPolled alone still means a poll happened: say so with the same list.
    print(changed.contains(QStringLiteral("Devices")) ? changed.value(QStringLiteral("Devices")).toArray()
                                                      : m_devices);
}

void StatusCommand::print(const QJsonArray& devices) {
    m_devices = devices;
    switch (m_commandLine.format) {
    case CommandLine::Format::text:
        writeOut(StatusFormat::text(devices));
        break;
    case CommandLine::Format::json:
        writeOut(StatusFormat::json(devices) + QLatin1Char('\n'));
        break;
    case CommandLine::Format::waybar:
        writeOut(StatusFormat::waybar(devices) + QLatin1Char('\n'));
        break;
    }
}

void StatusCommand::done() {
    if (!m_commandLine.watch)
        QCoreApplication::exit(0);
}
