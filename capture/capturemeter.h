#pragma once

#include <QtGlobal>
#include <deque>

// The bytes received in one capture and the rate over the last second, from arrivals stamped
// with a monotonic clock in milliseconds.
class CaptureMeter
{
public:
    static constexpr qint64 WindowMs = 1000;

    void start(qint64 nowMs);
    void add(qint64 bytes, qint64 nowMs);

    qint64 total() const { return m_total; }
    // Bytes a second over the last second, or over the capture while it is younger.
    qint64 bytesPerSecond(qint64 nowMs);

private:
    struct Arrival
    {
        qint64 ms = 0;
        qint64 bytes = 0;
    };

    void forgetBefore(qint64 ms);

    qint64 m_startMs = 0;
    qint64 m_total = 0;
    qint64 m_inWindow = 0;
    std::deque<Arrival> m_arrivals;
};
