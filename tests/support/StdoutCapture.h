#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Redirects this process's standard output (or error) into a temporary file
// for the lifetime of the object, so tests can read what the code printed.
class StdoutCapture {
public:
    explicit StdoutCapture(int fd = 1);
    ~StdoutCapture();
    StdoutCapture(const StdoutCapture&) = delete;
    StdoutCapture& operator=(const StdoutCapture&) = delete;

    // Everything written so far.
    QByteArray contents() const;
    QStringList lines() const;

private:
    int m_fd;
    int m_savedFd = -1;
    QString m_path;
};
