#pragma once

#include <QProcess>
#include <QString>

// Another program that holds a device (tests/support/porthold), or that only lives (sleep):
// started by the constructor, ended by the destructor.
class PortHolderProcess
{
public:
    // how: "flock", "exclusive", "open"; or "live" for a process that holds nothing.
    PortHolderProcess(const QString &how, const QString &devicePath);
    ~PortHolderProcess();

    bool isReady() const { return m_ready; }
    qint64 pid() const { return m_process.processId(); }
    void end();

private:
    QProcess m_process;
    bool m_ready = false;
    bool m_live = false;
};

// The pid of a process that has ended and been reaped.
qint64 deadPid();
