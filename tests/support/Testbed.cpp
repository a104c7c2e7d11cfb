#include "Testbed.h"

Testbed::Testbed() {
    m_process.setProgram(QStringLiteral("umockdev-wrapper"));
    m_process.setArguments({QStringLiteral("/usr/bin/python3"),
                            QStringLiteral(VOLTWREN_SOURCE_DIR "/tests/support/testbed.py")});
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start();
    if (!m_process.waitForStarted(10000))
        return;
    while (!m_process.canReadLine() && m_process.waitForReadyRead(15000)) {
    }
    if (m_process.canReadLine())
        m_root = QString::fromUtf8(m_process.readLine()).trimmed();
    if (m_root.isEmpty())
        qWarning("testbed.py did not start");
}

Testbed::~Testbed() {
    m_process.closeWriteChannel();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

void Testbed::apply(QProcessEnvironment& environment) const {
    environment.insert(QStringLiteral("UMOCKDEV_DIR"), m_root);
    environment.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral("libumockdev-preload.so.0"));
    // A sanitized build would refuse to start with another library first.
    const QString asan = environment.value(QStringLiteral("ASAN_OPTIONS"));
    environment.insert(QStringLiteral("ASAN_OPTIONS"),
                       (asan.isEmpty() ? QString() : asan + QLatin1Char(':')) +
                           QStringLiteral("verify_asan_link_order=0"));
}

bool Testbed::run(const QByteArray& json, int timeoutMs) {
    m_process.write(QByteArray(json).replace('\n', ' ') + '\n');
    while (!m_process.canReadLine() && m_process.waitForReadyRead(timeoutMs)) {
    }
    const QByteArray reply = m_process.readLine().trimmed();
    if (reply != "ok")
        qWarning("testbed command %s: %s", json.constData(),
                 reply.isEmpty() ? "no answer" : reply.constData());
    return reply == "ok";
}
