#include "commcontrol.h"

#include <QFileInfo>
#include <QScopeGuard>
#include <poll.h>

namespace {
// Newer Qt ignores a hung-up descriptor and says nothing, so look at it now and then.
constexpr int kHangUpCheckMs = 250;
} // namespace

CommControl::CommControl(QObject *parent) : QObject(parent)
{
    m_hangUpCheck.setInterval(kHangUpCheckMs);
    connect(&m_hangUpCheck, &QTimer::timeout, this, &CommControl::checkForHangUp);
    connect(&m_port, &QSerialPort::readyRead, this, &CommControl::onComm);
    connect(&m_port, &QSerialPort::errorOccurred, this, &CommControl::handleError);
}

CommControl::~CommControl() = default;

QString CommControl::devicePath(qint16 port)
{
    const QByteArray name = "TAVREL_PORT" + QByteArray::number(port);
    const QByteArray fromEnvironment = qgetenv(name.constData());
    if (!fromEnvironment.isEmpty())
        return QString::fromLocal8Bit(fromEnvironment);
    return QStringLiteral("/dev/ttyS%1").arg(port - 1);
}

bool CommControl::fail(const QString &text)
{
    m_errorString = text;
    return false;
}

bool CommControl::setCommPort(qint16 port)
{
    if (port < 1)
        return fail(tr("Invalid port number %1").arg(port));
    if (m_port.isOpen())
        return fail(tr("Port is already open"));
    m_commPort = port;
    return true;
}

bool CommControl::setSettings(const QString &settings)
{
    m_settings = parseSettingsString(settings);
    if (!m_settings)
        return fail(tr("Invalid settings \"%1\"").arg(settings));
    return true;
}

bool CommControl::setPortOpen(bool open)
{
    if (!open) {
        m_hangUpCheck.stop();
        if (m_port.isOpen())
            m_port.close();
        return true;
    }
    if (m_port.isOpen())
        return fail(tr("Port is already open"));
    if (!m_settings)
        return fail(tr("Invalid settings"));
    return openPort();
}

bool CommControl::openPort()
{
    const QString path = devicePath(m_commPort);
    if (!QFileInfo::exists(path))
        return fail(tr("%1: No such device").arg(path));
    m_port.setPortName(path);
    m_pending.clear();
    m_settingUp = true;
    const auto settingUpDone = qScopeGuard([this] { m_settingUp = false; });
    if (!m_port.open(QIODevice::ReadOnly))
        return fail(path + QStringLiteral(": ") + m_port.errorString());
    const bool applied =
        m_port.setBaudRate(m_settings->baudRate) && m_port.setDataBits(m_settings->dataBits) &&
        m_port.setParity(m_settings->parity) && m_port.setStopBits(m_settings->stopBits) &&
        m_port.setFlowControl(QSerialPort::NoFlowControl);
    if (!applied) {
        const QString reason = m_port.errorString();
        m_port.close();
        return fail(path + QStringLiteral(": ") + reason);
    }
    ++m_session;
    m_takingDown = false;
    m_downQueued = false;
    m_hangUpCheck.start();
    return true;
}

bool CommControl::portOpen() const
{
    return m_port.isOpen();
}

QByteArray CommControl::input()
{
    QByteArray data = std::exchange(m_pending, {});
    if (m_port.isOpen())
        data += m_port.readAll();
    return data;
}

qint64 CommControl::inBufferCount() const
{
    return m_pending.size() + (m_port.isOpen() ? m_port.bytesAvailable() : 0);
}

void CommControl::checkForHangUp()
{
    if (!m_port.isOpen())
        return;
    pollfd descriptor{static_cast<int>(m_port.handle()), 0, 0};
    if (::poll(&descriptor, 1, 0) > 0 && (descriptor.revents & (POLLHUP | POLLERR | POLLNVAL)))
        takeDeviceDown(tr("The device hung up"));
}

void CommControl::handleError(QSerialPort::SerialPortError error)
{
    if (m_settingUp || m_downQueued || !m_port.isOpen() || error == QSerialPort::NoError ||
        error == QSerialPort::TimeoutError)
        return;
    m_downQueued = true;
    // Qt reports a hang-up from inside its own read handler, over and over: close it later.
    QMetaObject::invokeMethod(
        this,
        [this, session = m_session, reason = m_port.errorString()] {
            // A port reopened in the meantime is another session; leave it alone.
            if (session == m_session)
                takeDeviceDown(reason);
        },
        Qt::QueuedConnection);
}

void CommControl::takeDeviceDown(const QString &reason)
{
    if (m_takingDown || !m_port.isOpen())
        return;
    m_takingDown = true;
    m_pending += m_port.readAll();
    m_hangUpCheck.stop();
    m_port.close();
    if (!m_pending.isEmpty())
        Q_EMIT onComm();
    Q_EMIT deviceLost(reason);
}
