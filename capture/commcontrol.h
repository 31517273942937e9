#pragma once

#include "portsettings.h"

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
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
    bool setSettings(const QString &settings);
    bool setPortOpen(bool open);

    bool portOpen() const;
    QString errorString() const { return m_errorString; }

    // Everything waiting, in arrival order, one byte per character; taken out of the buffer.
    QByteArray input();
    qint64 inBufferCount() const;

Q_SIGNALS:
    // Something may be waiting.
    void onComm();
    // The device went away while open (a USB adapter pulled out); the port is closed by now,
    // and what it had received was announced with onComm first.
    void deviceLost(const QString &reason);

private:
    bool fail(const QString &text);
    bool openPort();
    void checkForHangUp();
    void handleError(QSerialPort::SerialPortError error);
    void takeDeviceDown(const QString &reason);

    QSerialPort m_port;
    QTimer m_hangUpCheck;
    qint16 m_commPort = 1;
    std::optional<LineSettings> m_settings = LineSettings{};
    QByteArray m_pending;
    QString m_errorString;
    bool m_takingDown = false;
    bool m_downQueued = false;
    bool m_settingUp = false;
    quint64 m_session = 0;
};
