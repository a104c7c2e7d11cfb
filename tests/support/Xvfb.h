#pragma once

#include <QProcess>
#include <QString>

#include <memory>

// A private X server with no screen of its own, for whole-program runs under
// the xcb platform. Killed when the object goes.
class Xvfb {
public:
    Xvfb();
    ~Xvfb();
    Xvfb(const Xvfb&) = delete;
    Xvfb& operator=(const Xvfb&) = delete;

    bool isValid() const { return !m_display.isEmpty(); }
    // ":N", for DISPLAY.
    const QString& display() const { return m_display; }

private:
    std::unique_ptr<QProcess> m_process;
    QString m_display;
};
