#include "PrivateBus.h"

#include <QDBusConnectionInterface>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <QUuid>

#include <signal.h>

namespace {

// Alive and not a zombie waiting for its (foreign) parent to reap it.
bool isRunning(pid_t pid) {
    if (::kill(pid, 0) != 0)
        return false;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    const qsizetype close = line.lastIndexOf(')');
    return close < 0 || line.mid(close + 2, 1) != "Z";
}

} // namespace

PrivateBus::PrivateBus(const QString& role) {
    if (!m_dir.isValid())
        return;
    const QString socket = m_dir.path() + QStringLiteral("/bus.sock");
    const QString config = m_dir.path() + QStringLiteral("/bus.conf");
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly))
        return;
    // No <servicedir>: nothing is ever activated behind a test's back.
    file.write(
        QStringLiteral("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                       " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                       "<busconfig>\n"
                       "  <type>%1</type>\n"
                       "  <listen>unix:path=%2</listen>\n"
                       "  <auth>EXTERNAL</auth>\n"
                       "  <policy context=\"default\">\n"
                       "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                       "    <allow eavesdrop=\"true\"/>\n"
                       "    <allow own=\"*\"/>\n"
                       "  </policy>\n"
                       "</busconfig>\n")
            .arg(role, socket)
            .toUtf8());
    file.close();

    QProcess daemon;
    daemon.start(QStringLiteral("dbus-daemon"),
                 {QStringLiteral("--config-file=") + config, QStringLiteral("--fork"),
                  QStringLiteral("--print-address=1"), QStringLiteral("--print-pid=1")});
    if (!daemon.waitForFinished(10000) || daemon.exitCode() != 0)
        return;
    const QStringList lines =
        QString::fromUtf8(daemon.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    if (lines.size() < 2)
        return;
    m_pid = lines.at(1).trimmed().toLongLong();
    m_address = lines.at(0).trimmed();
    m_connectionName = QStringLiteral("voltwren-test-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
}

PrivateBus::~PrivateBus() {
    if (!m_connectionName.isEmpty())
        QDBusConnection::disconnectFromBus(m_connectionName);
    if (m_pid > 0) {
        // The daemon is not our child: wait (bounded) until it is gone, so it
        // has removed its socket before the temporary folder is deleted.
        const pid_t pid = static_cast<pid_t>(m_pid);
        ::kill(pid, SIGTERM);
        const QDeadlineTimer deadline(3000);
        while (isRunning(pid) && !deadline.hasExpired())
            QThread::msleep(5);
    }
}

QDBusConnection PrivateBus::connection() const {
    return QDBusConnection::connectToBus(m_address, m_connectionName);
}

bool PrivateBus::waitForName(const QString& name, int timeoutMs) const {
    const QDeadlineTimer deadline(timeoutMs);
    QDBusConnection bus = connection();
    while (!deadline.hasExpired()) {
        if (bus.isConnected() && bus.interface()->isServiceRegistered(name).value())
            return true;
        QThread::msleep(20);
    }
    return false;
}

DbusMock::DbusMock(const PrivateBus& bus, bool systemBus, const QStringList& arguments,
                   const QString& busName, const QString& logFile)
    : m_process(std::make_unique<QProcess>()) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(systemBus ? QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS")
                                 : QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                       bus.address());
    m_process->setProcessEnvironment(environment);
    m_process->setProcessChannelMode(QProcess::SeparateChannels);
    m_process->setStandardOutputFile(QProcess::nullDevice());
    QStringList all{QStringLiteral("-m"), QStringLiteral("dbusmock")};
    all << (systemBus ? QStringLiteral("--system") : QStringLiteral("--session"));
    if (!logFile.isEmpty())
        all << QStringLiteral("-l") << logFile;
    all << arguments;
    m_process->start(QStringLiteral("/usr/bin/python3"), all);
    if (!m_process->waitForStarted(10000))
        return;
    m_valid = bus.waitForName(busName, 20000);
}

DbusMock::~DbusMock() {
    if (m_process->state() != QProcess::NotRunning) {
        m_process->terminate();
        if (!m_process->waitForFinished(3000)) {
            m_process->kill();
            m_process->waitForFinished(3000);
        }
    }
}

QString DbusMock::standardError() const {
    return QString::fromUtf8(m_process->readAllStandardError());
}

QProcessEnvironment environmentWithBuses(const PrivateBus* systemBus, const PrivateBus* sessionBus) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (systemBus)
        environment.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), systemBus->address());
    if (sessionBus)
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), sessionBus->address());
    return environment;
}

qint64 DbusMock::processId() const {
    return m_process->processId();
}
