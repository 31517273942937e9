#include "capture/capturemeter.h"

#include <algorithm>

void CaptureMeter::start(qint64 nowMs)
{
    m_startMs = nowMs;
    m_total = 0;
    m_inWindow = 0;
    m_arrivals.clear();
}

void CaptureMeter::add(qint64 bytes, qint64 nowMs)
{
    if (bytes <= 0)
        return;
    m_total += bytes;
    m_inWindow += bytes;
    if (!m_arrivals.empty() && m_arrivals.back().ms == nowMs)
        m_arrivals.back().bytes += bytes;
    else
        m_arrivals.push_back({nowMs, bytes});
    forgetBefore(nowMs - WindowMs);
}

qint64 CaptureMeter::bytesPerSecond(qint64 nowMs)
{
    forgetBefore(nowMs - WindowMs);
    const qint64 span = std::clamp<qint64>(nowMs - m_startMs, 1, WindowMs);
    return m_inWindow * 1000 / span;
}

void CaptureMeter::forgetBefore(qint64 ms)
{
    while (!m_arrivals.empty() && m_arrivals.front().ms <= ms) {
        m_inWindow -= m_arrivals.front().bytes;
        m_arrivals.pop_front();
    }
}
