#include "Xvfb.h"

#include <QDeadlineTimer>

Xvfb::Xvfb()
    : m_process(std::make_unique<QProcess>()) {
    // The server picks a free display and writes its number on standard output.
    m_process->start(QStringLiteral("Xvfb"),
                     {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                      QStringLiteral("0"), QStringLiteral("1280x800x24"), QStringLiteral("-nolisten"),
                      QStringLiteral("tcp")});
    if (!m_process->waitForStarted(10000))
        return;
    const QDeadlineTimer deadline(20000);
    QByteArray output;
    while (!output.contains('\n') && !deadline.hasExpired() && m_process->state() == QProcess::Running) {
        m_process->waitForReadyRead(200);
        output += m_process->readAllStandardOutput();
    }
    const QByteArray number = output.trimmed();
    if (!number.isEmpty())
        m_display = QLatin1Char(':') + QString::fromLatin1(number);
}

Xvfb::~Xvfb() {
    if (m_process->state() != QProcess::NotRunning) {
        m_process->terminate();
        if (!m_process->waitForFinished(5000)) {
            m_process->kill();
            m_process->waitForFinished(3000);
        }
    }
}
