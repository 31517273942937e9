#include "support/portholder.h"

namespace {

QString claimWord(PortHolderProcess::Claim claim)
{
    return claim == PortHolderProcess::Flock ? QStringLiteral("flock")
                                             : QStringLiteral("exclusive");
}

} // namespace

PortHolderProcess::PortHolderProcess(Claim claim, const QString &devicePath)
{
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_live = claim == Live;
    if (m_live)
        m_process.start("sleep", {"300"});
    else
        m_process.start(TAVREL_PORTHOLD, {claimWord(claim), devicePath});
    if (!m_process.waitForStarted(5000))
        return;
    m_ready = m_live || (m_process.waitForReadyRead(5000) &&
                         m_process.readAllStandardOutput().startsWith("ready"));
}

PortHolderProcess::~PortHolderProcess()
{
    end();
}

void PortHolderProcess::end()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.closeWriteChannel();
    if (m_live || !m_process.waitForFinished(3000)) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
}

qint64 deadPid()
{
    QProcess process;
    process.start("true", {});
    process.waitForStarted();
    const qint64 pid = process.processId();
    process.waitForFinished();
    return pid;
}
