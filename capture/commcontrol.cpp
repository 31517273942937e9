#include "capture/commcontrol.h"
#include "posix/pathname.h"

CommControl::CommControl(QObject *parent)
    : QObject(parent), m_reader([this] {
          // From the reader's thread: the window thread handles it in its own time.
          QMetaObject::invokeMethod(this, &CommControl::deliver, Qt::QueuedConnection);
      })
{
    m_waitCheck.setInterval(kWaitCheckMs);
    connect(&m_waitCheck, &QTimer::timeout, this, &CommControl::checkWaitedDevice);
}

CommControl::~CommControl()
{
    m_reader.stop();
}

QString CommControl::devicePath(qint16 port)
{
    const QByteArray name = "TAVREL_PORT" + QByteArray::number(port);
    const QByteArray fromEnvironment = qgetenv(name.constData());
    if (!fromEnvironment.isEmpty())
        return PathName::decodePath(fromEnvironment);
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
        return fail(tr("No port %1: port numbers start at 1").arg(port));
    if (portOpen())
        return fail(tr("Port is already open"));
    m_commPort = port;
    return true;
}

bool CommControl::setPortOpen(bool open)
{
    if (!open) {
        m_waitCheck.stop();
        m_reader.stop();
        m_device.close();
        ++m_session;
        return true;
    }
    if (portOpen())
        return fail(tr("Port is already open"));
    m_waitCheck.stop();
    m_path = devicePath(m_commPort);
    // What the last capture left untaken is not this one's.
    m_reader.take();
    return openDevice(SerialDevice::Waiting::Discard);
}

bool CommControl::openDevice(SerialDevice::Waiting waiting)
{
    QString cause;
    if (!m_device.open(m_path, m_settings, &cause, waiting))
        return fail(cause);
    ++m_session;
    if (!m_reader.start(m_device.descriptor())) {
        m_device.close();
        return fail(tr("No thread to read the port with"));
    }
    return true;
}

bool CommControl::portOpen() const
{
    return m_device.isOpen();
}

QByteArray CommControl::input()
{
    return m_reader.take();
}

void CommControl::deliver()
{
    // A port closed since the announcement has nothing more to say.
    if (!portOpen())
        return;
    const PortReader::Announced announced = m_reader.acknowledge();
    // The receive handler may stop the capture, or stop and start it again.
    const quint64 session = m_session;
    if (announced.hasData)
        Q_EMIT onComm();
    if (announced.lost && session == m_session)
        takeDeviceDown(announced.reason);
}

void CommControl::takeDeviceDown(const QString &reason)
{
    m_lostIdentity = m_device.identity();
    m_reader.stop();
    m_device.close();
    ++m_session;
    if (m_reader.waiting() > 0)
        Q_EMIT onComm();
    Q_EMIT deviceLost(reason);
}

void CommControl::followDevice()
{
    if (portOpen() || m_path.isEmpty())
        return;
    m_waitCause.clear();
    m_refusedIdentity = {};
    m_waitCheck.start();
}

void CommControl::checkWaitedDevice()
{
    const DeviceIdentity now = DeviceIdentity::of(m_path);
    // The node that hung up stays hung up; only a new one (or one seen gone) is a return.
    if (!now.exists())
        m_lostIdentity = {};
    if (!now.exists() || now == m_lostIdentity) {
        showWaitCause({});
        return;
    }
    // Finding out who holds a device reads much of /proc: a refused device is retried less often.
    if (now == m_refusedIdentity && ++m_ticksSinceRefusal < kRetryRefusedEvery)
        return;
    if (openDevice(SerialDevice::Waiting::Keep)) {
        m_waitCheck.stop();
        m_waitCause.clear();
        m_refusedIdentity = {};
        Q_EMIT deviceBack();
        return;
    }
    m_refusedIdentity = now;
    m_ticksSinceRefusal = 0;
    showWaitCause(m_errorString);
}

void CommControl::showWaitCause(const QString &cause)
{
    if (cause == m_waitCause)
        return;
    m_waitCause = cause;
    Q_EMIT waitChanged();
}
