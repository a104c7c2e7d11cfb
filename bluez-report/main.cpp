#include "BluezReport.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>

#include <cstdio>
#include <cstring>

namespace {

constexpr int usageStatus = 1;
constexpr int failureStatus = 3;
// The bound on BlueZ's answer.
constexpr int replyTimeoutMs = 5000;

// Standard error carries our own lines and nothing else, so Qt's own
// warnings (a missing bus, say) are silenced.
void discardMessage(QtMsgType, const QMessageLogContext&, const QString&) {}

bool writeAll(std::FILE* stream, const QByteArray& bytes) {
    if (!bytes.isEmpty() && std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream) !=
                                static_cast<size_t>(bytes.size()))
        return false;
    return std::fflush(stream) == 0;
}

int fail(const QString& line) {
    writeAll(stderr, line.toUtf8());
    return failureStatus;
}

} // namespace

int main(int argc, char* argv[]) {
    qInstallMessageHandler(discardMessage);
    if (argc != 2 || std::strcmp(argv[1], BluezReport::argument) != 0) {
        writeAll(stderr, BluezReport::usageLine);
        return usageStatus;
    }

    const QCoreApplication application(argc, argv);
    const QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return fail(QStringLiteral("bluez-report: cannot connect to the system bus: ") +
                    bus.lastError().message() + QLatin1Char('\n'));

    const QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.bluez"), QStringLiteral("/"),
        QStringLiteral("org.freedesktop.DBus.ObjectManager"), QStringLiteral("GetManagedObjects"));
    const QDBusMessage reply = bus.call(call, QDBus::Block, replyTimeoutMs);
    BluezReport::ManagedObjects objects;
    if (reply.type() == QDBusMessage::ErrorMessage) {
        // Without BlueZ nothing is connected: that is a report, not a failure.
        if (!BluezReport::meansNoBluez(reply.errorName()))
            return fail(BluezReport::failureLine(reply.errorName(), reply.errorMessage()));
        writeAll(stderr, BluezReport::failureLine(reply.errorName(), reply.errorMessage()).toUtf8());
    } else if (reply.type() != QDBusMessage::ReplyMessage ||
               reply.signature() != QLatin1String("a{oa{sa{sv}}}") || reply.arguments().size() != 1) {
        return fail(QStringLiteral("bluez-report: BlueZ sent an unexpected reply (signature \"") +
                    reply.signature() + QStringLiteral("\")\n"));
    } else {
        objects = qdbus_cast<BluezReport::ManagedObjects>(reply.arguments().constFirst());
    }

    QStringList notes;
    const QByteArray report = BluezReport::build(objects, &notes).toUtf8();
    for (const QString& note : std::as_const(notes))
        writeAll(stderr, note.toUtf8() + '\n');
    if (!writeAll(stdout, report))
        return fail(QStringLiteral("bluez-report: cannot write the report\n"));
    return 0;
}
