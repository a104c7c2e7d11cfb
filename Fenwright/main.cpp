#include "BluezDevice.h"
#include "Probe.h"

#include <QCoreApplication>
#include <QDBusConnection>

#include <cstdio>

namespace {

// Standard error carries the usage line and nothing else, so Qt's own
// warnings (a missing bus, say) are silenced.
void discardMessage(QtMsgType, const QMessageLogContext&, const QString&) {}

void writeAll(std::FILE* stream, const QByteArray& bytes) {
    if (bytes.isEmpty())
        return;
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

int main(int argc, char* argv[]) {
    qInstallMessageHandler(discardMessage);
    // Taken from argv before Qt sees it: the address is passed on unchanged.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));

    const QCoreApplication application(argc, argv);
    const Probe::Outcome outcome =
        Probe::run(arguments, [](const QString& address) -> std::unique_ptr<ProbeDevice> {
            return BluezDevice::find(address, QDBusConnection::systemBus());
        });

    writeAll(stdout, outcome.standardOutput);
    writeAll(stderr, outcome.standardError);
    return outcome.status;
}
