#include "support/portholder.h"

namespace {

QStringList argumentsFor(PortHolderProcess::Claim claim, const QString &devicePath)
{
    switch (claim) {
    case PortHolderProcess::Flock:
        return {QStringLiteral("flock"), devicePath};
    case PortHolderProcess::OtherEnd:
        return {QStringLiteral("pty")};
    default:
        return {QStringLiteral("exclusive"), devicePath};
    }
}

} // namespace

PortHolderProcess::PortHolderProcess(Claim claim, const QString &devicePath)
{
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_live = claim == Live;
    if (m_live)
        m_process.start("sleep", {"300"});
    else
        m_process.start(TAVREL_PORTHOLD, argumentsFor(claim, devicePath));
    if (!m_process.waitForStarted(5000))
        return;
    if (m_live) {
        m_ready = true;
        return;
    }
    if (!m_process.waitForReadyRead(5000))
        return;
    const QByteArray said = m_process.readLine().trimmed();
    m_ready = said.startsWith("ready");
    m_devicePath = QString::fromLocal8Bit(said.mid(6));
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
