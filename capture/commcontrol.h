#pragma once

#include "capture/portreader.h"
#include "capture/portsettings.h"
#include "capture/serialdevice.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>

// The window's serial control: receive only. Port n is /dev/ttyS<n-1>, or the device that the
// environment variable TAVREL_PORT<n> names.
class CommControl : public QObject
{
    Q_OBJECT
public:
    explicit CommControl(QObject *parent = nullptr);
    ~CommControl() override;

    static QString devicePath(qint16 port);

    // Each returns false, with errorString() set, when the value or the port cannot be used.
    bool setCommPort(qint16 port);
    bool setPortOpen(bool open);
    // Takes effect at the next open.
    void setSettings(const LineSettings &settings) { m_settings = settings; }

    bool portOpen() const;
    // The cause of the last failure, for the user: "Permission denied: add yourself ...".
    QString errorString() const { return m_errorString; }

    // Everything waiting, in arrival order, one byte per character; taken out of the buffer.
    QByteArray input();

    // After deviceLost: waits for a device at the same path and opens it with the same settings.
    // Closing the port ends the wait.
    void followDevice();
    bool isWaiting() const { return m_waitCheck.isActive(); }
    QString path() const { return m_path; }
    // Why the device that is there cannot be opened; empty while it is absent.
    QString waitCause() const { return m_waitCause; }

    static constexpr int kWaitCheckMs = 250;
    static constexpr int kRetryRefusedEvery = 4;

Q_SIGNALS:
    // Something may be waiting.
    void onComm();
    // The device went away while open (a USB adapter pulled out); the port is closed by now,
    // and what it had received was announced with onComm first.
    void deviceLost(const QString &reason);
    // While waiting: waitCause() changed.
    void waitChanged();
    // The wait is over: the device is open again.
    void deviceBack();

private:
    bool fail(const QString &text);
    bool openDevice(SerialDevice::Waiting waiting);
    void deliver();
    void takeDeviceDown(const QString &reason);
    void checkWaitedDevice();
    void showWaitCause(const QString &cause);

    SerialDevice m_device;
    PortReader m_reader;
    QTimer m_waitCheck;
    qint16 m_commPort = 1;
    LineSettings m_settings;
    QString m_path;
    QString m_errorString;
    QString m_waitCause;
    DeviceIdentity m_lostIdentity;
    DeviceIdentity m_refusedIdentity;
    int m_ticksSinceRefusal = 0;
    quint64 m_session = 0;
};
