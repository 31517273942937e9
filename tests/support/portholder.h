#pragma once

#include <QMetaType>
#include <QProcess>
#include <QString>

// Another program that holds a device (tests/support/porthold), or that only lives (sleep):
// started by the constructor, ended by the destructor.
class PortHolderProcess
{
public:
    // How the other program claims the device; Live holds nothing and only lives; OtherEnd
    // holds both ends of a pseudo-terminal of its own, whose device side is devicePath().
    enum Claim { Flock, Exclusive, Live, OtherEnd };

    PortHolderProcess(Claim claim, const QString &devicePath);
    ~PortHolderProcess();

    bool isReady() const { return m_ready; }
    qint64 pid() const { return m_process.processId(); }
    QString devicePath() const { return m_devicePath; }
    void end();

private:
    QProcess m_process;
    QString m_devicePath;
    bool m_ready = false;
    bool m_live = false;
};

Q_DECLARE_METATYPE(PortHolderProcess::Claim)

// The pid of a process that has ended and been reaped.
qint64 deadPid();
