#pragma once

#include "posix/fdguard.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <mutex>
#include <thread>

// Reads an open device in a thread of its own and keeps what arrives until it is taken. It
// announces arrivals at most every 20 ms (at once after a quiet spell), so a steady stream wakes
// the window thread some 50 times a second, and a hang-up at once; 64 KB waiting are announced
// at once. A slow stream is read once per announcement; a fast one as fast as it comes.
class PortReader
{
public:
    // announce runs in the reader's thread; it must only post to the window thread.
    explicit PortReader(std::function<void()> announce);
    ~PortReader();
    PortReader(const PortReader &) = delete;
    PortReader &operator=(const PortReader &) = delete;

    bool start(int fd);
    // Joins the thread; what was read stays until taken.
    void stop();

    struct Announced
    {
        bool hasData = false;
        bool lost = false;
        QString reason;
    };
    // Called for each announcement: what there is, and from now on new arrivals announce again.
    Announced acknowledge();
    // Everything read so far, in arrival order.
    QByteArray take();
    qint64 waiting() const;

    static constexpr int kAnnounceEveryMs = 20;
    // Past this, reading pauses and the driver holds what comes until the window catches up.
    static constexpr qsizetype kMaxWaiting = qsizetype(1024) * 1024;
    // A read smaller than this is a stream the driver's buffer holds for 20 ms with room to spare.
    static constexpr qsizetype kGatherBelow = 1024;
    static constexpr qsizetype kAnnounceAtOnce = qsizetype(64) * 1024;

private:
    void run(int fd);
    // The bytes read, 0 when nothing waited, -1 when the device is gone.
    qsizetype readOnce(int fd, short events);
    void announce(bool lost, const QString &reason);
    bool isFull() const;

    std::function<void()> m_announce;
    std::thread m_thread;
    FdGuard m_wake;
    mutable std::mutex m_mutex;
    QByteArray m_buffer;
    bool m_announced = false;
    bool m_stopping = false;
    bool m_lost = false;
    QString m_lostReason;
};
