#include "StdoutCapture.h"

#include <QDir>
#include <QFile>
#include <QUuid>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

StdoutCapture::StdoutCapture(int fd)
    : m_fd(fd) {
    std::fflush(stdout);
    std::fflush(stderr);
    m_path = QDir::tempPath() + QStringLiteral("/voltwren-capture-") +
             QUuid::createUuid().toString(QUuid::WithoutBraces) + QStringLiteral(".txt");
    const int file = ::open(QFile::encodeName(m_path).constData(), O_CREAT | O_TRUNC | O_WRONLY, 0600);
    m_savedFd = ::dup(m_fd);
    ::dup2(file, m_fd);
    ::close(file);
}

StdoutCapture::~StdoutCapture() {
    std::fflush(stdout);
    std::fflush(stderr);
    ::dup2(m_savedFd, m_fd);
    ::close(m_savedFd);
    QFile::remove(m_path);
}

QByteArray StdoutCapture::contents() const {
    std::fflush(stdout);
    std::fflush(stderr);
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

QStringList StdoutCapture::lines() const {
    QStringList result = QString::fromUtf8(contents()).split(QLatin1Char('\n'));
    if (!result.isEmpty() && result.last().isEmpty())
        result.removeLast();
    return result;
}
