#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>

// A umockdev testbed (tests/support/testbed.py under umockdev-wrapper): a
// simulated /sys for the programs given its environment, with uevents that
// reach their libudev monitors. Every call is bounded; failures give false
// or an empty path, with the reason as a warning.
class Testbed {
public:
    Testbed();
    ~Testbed();
    Testbed(const Testbed&) = delete;
    Testbed& operator=(const Testbed&) = delete;

    bool isValid() const { return !m_root.isEmpty(); }
    // Preloads umockdev and points it at this testbed.
    void apply(QProcessEnvironment& environment) const;

    // One command of testbed.py ("do": "add", "set", "burst", "remove") or
    // an array of them, as JSON text.
    bool run(const QByteArray& json, int timeoutMs = 10000);

private:
    QProcess m_process;
    QString m_root;
};
