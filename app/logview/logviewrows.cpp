#include "app/logview/logviewrows.h"

#include "app/logview/logviewlayout.h"
#include "logfile/logtext.h"

#include <algorithm>

namespace {
constexpr qint64 MaxCachedBytes = qint64(4) * 1024 * 1024;
constexpr size_t MaxCachedSegments = 4096;
constexpr qint64 WindowBytes = 4096;
constexpr qint64 FirstScanBytes = 256;
constexpr qint64 MaxScanBytes = 8192;
} // namespace

LogViewRows::LogViewRows(const LogText &text, const LogViewLayout &layout)
    : m_text(&text), m_layout(&layout)
{
}

void LogViewRows::reset(const LogText &text)
{
    m_text = &text;
    m_segments.clear();
    m_cachedBytes = 0;
    m_window.clear();
}

void LogViewRows::appended(qint64 oldSize)
{
    // Only the last line changes; a CR at the old end may now pair with an LF.
    while (!m_segments.empty()) {
        auto last = std::prev(m_segments.end());
        if (last->second.next < oldSize)
            break;
        m_cachedBytes -= last->second.text.size();
        m_segments.erase(last);
    }
    if (m_windowStart + m_window.size() >= oldSize - 1)
        m_window.clear();
}

QByteArray LogViewRows::fetch(qint64 position, qint64 count) const
{
    QByteArray bytes(qsizetype(std::max<qint64>(0, count)), '\0');
    m_text->read(position, bytes.data(), bytes.size());
    return bytes;
}

char LogViewRows::at(qint64 position) const
{
    if (position < 0 || position >= m_text->size())
        return '\0';
    if (position < m_windowStart || position >= m_windowStart + m_window.size()) {
        m_windowStart = std::max<qint64>(0, position - WindowBytes / 2);
        m_window = fetch(m_windowStart, std::min(WindowBytes, m_text->size() - m_windowStart));
    }
    return m_window.at(qsizetype(position - m_windowStart));
}

qint64 LogViewRows::nextPosition(qint64 position) const
{
    const qint64 size = m_text->size();
    if (position >= size)
        return size;
    if (position + 1 < size && at(position) == '\r' && at(position + 1) == '\n')
        return position + 2;
    return position + 1;
}

qint64 LogViewRows::previousPosition(qint64 position) const
{
    if (position <= 0)
        return 0;
    if (position >= 2 && at(position - 1) == '\n' && at(position - 2) == '\r')
        return position - 2;
    return position - 1;
}

// Start of the line holding the position if it begins at most reach bytes before it, else -1.
qint64 LogViewRows::lineStartWithin(qint64 position, qint64 reach) const
{
    const qint64 size = m_text->size();
    const qint64 low = std::max<qint64>(0, position - reach);
    qint64 high = position;
    for (qint64 chunk = FirstScanBytes; high > low; chunk = std::min(chunk * 2, MaxScanBytes)) {
        const qint64 from = std::max(low, high - chunk);
        // One byte more, to tell a lone CR from the first half of CR LF.
        const QByteArray bytes = fetch(from, std::min(size, high + 1) - from);
        for (qint64 i = high - 1; i >= from; --i) {
            const char c = bytes[qsizetype(i - from)];
            if (c == '\n')
                return i + 1;
            if (c == '\r' && (i + 1 >= size || bytes[qsizetype(i + 1 - from)] != '\n'))
                return i + 1;
        }
        high = from;
    }
    return low == 0 ? 0 : -1;
}

// Where the first line break in [from, to) begins, or -1.
qint64 LogViewRows::lineEndWithin(qint64 from, qint64 to, int *breakLength) const
{
    const qint64 size = m_text->size();
    to = std::min(to, size);
    for (qint64 chunk = FirstScanBytes; from < to; chunk = std::min(chunk * 2, MaxScanBytes)) {
        const qint64 until = std::min(to, from + chunk);
        const QByteArray bytes = fetch(from, std::min(size, until + 1) - from);
        for (qint64 i = from; i < until; ++i) {
            const char c = bytes[qsizetype(i - from)];
            if (c == '\n' || c == '\r') {
                const bool pair =
                    c == '\r' && i + 1 < size && bytes[qsizetype(i + 1 - from)] == '\n';
                *breakLength = pair ? 2 : 1;
                return i;
            }
        }
        from = until;
    }
    return -1;
}

LogViewRows::Segment LogViewRows::layOut(qint64 position) const
{
    constexpr qint64 S = SegmentBytes;
    const qint64 size = m_text->size();
    Segment segment;
    int breakLength = 0;
    const qint64 lineStart = lineStartWithin(position, S + 2);
    bool shortLine = false;
    if (lineStart >= 0 && position - lineStart <= S) {
        const qint64 lineEnd = lineEndWithin(lineStart, lineStart + S + 1, &breakLength);
        if (lineEnd >= 0) {
            segment = Segment{lineStart, lineEnd, lineEnd + breakLength, {}, {}};
            shortLine = true;
        } else if (size - lineStart <= S) {
            segment = Segment{lineStart, size, size, {}, {}};
            shortLine = true;
        }
    }
    if (!shortLine) {
        // Fixed cuts find each piece alike from anywhere; an end on a cut is in the piece before.
        const qint64 inside = position == size ? position - 1 : position;
        const qint64 start = std::max(inside / S * S, lineStart);
        const qint64 gridEnd = std::min(size, (start / S + 1) * S);
        const qint64 lineEnd = lineEndWithin(start, gridEnd, &breakLength);
        segment = lineEnd >= 0 ? Segment{start, lineEnd, lineEnd + breakLength, {}, {}}
                               : Segment{start, gridEnd, gridEnd, {}, {}};
    }
    segment.text = fetch(segment.start, segment.end - segment.start);
    segment.rows = m_layout->wrap(segment.text);
    return segment;
}

bool LogViewRows::contains(const Segment &segment, qint64 position) const
{
    return segment.start <= position &&
           (position < segment.next || (segment.end == m_text->size() && position == segment.end));
}

const LogViewRows::Segment &LogViewRows::segmentAt(qint64 position) const
{
    const qint64 size = m_text->size();
    position = std::clamp<qint64>(position, 0, size);
    // Between CR and LF is still the end of the line before them.
    if (position > 0 && position < size && at(position - 1) == '\r' && at(position) == '\n')
        --position;
    auto found = m_segments.upper_bound(position);
    if (found != m_segments.begin() && contains(std::prev(found)->second, position))
        return std::prev(found)->second;
    if (m_cachedBytes > MaxCachedBytes || m_segments.size() >= MaxCachedSegments) {
        m_segments.clear();
        m_cachedBytes = 0;
    }
    Segment segment = layOut(position);
    m_cachedBytes += segment.text.size();
    return m_segments.insert_or_assign(segment.start, std::move(segment)).first->second;
}

LogViewRows::Row LogViewRows::rowOf(const Segment &segment, size_t index)
{
    const qint64 start = segment.start + segment.rows[index];
    if (index + 1 < segment.rows.size()) {
        const qint64 end = segment.start + segment.rows[index + 1];
        return Row{start, end, end};
    }
    return Row{start, segment.end, segment.next};
}

LogViewRows::Row LogViewRows::rowAt(qint64 position) const
{
    const Segment &segment = segmentAt(position);
    const qint64 offset = std::clamp<qint64>(position - segment.start, 0, segment.text.size());
    const auto it = std::upper_bound(segment.rows.begin(), segment.rows.end(), quint32(offset));
    return rowOf(segment, size_t(it - segment.rows.begin()) - 1);
}

bool LogViewRows::isLast(const Row &row) const
{
    return row.end >= m_text->size() && row.next >= m_text->size();
}

bool LogViewRows::nextRow(Row &row) const
{
    if (isLast(row))
        return false;
    // Pieces read before and after a file changed underneath may disagree: only go forward.
    const Row following = rowAt(row.next);
    if (following.start <= row.start)
        return false;
    row = following;
    return true;
}

bool LogViewRows::previousRow(Row &row) const
{
    if (row.start <= 0)
        return false;
    const Segment &segment = segmentAt(row.start);
    const auto it = std::lower_bound(segment.rows.begin(), segment.rows.end(),
                                     quint32(row.start - segment.start));
    if (it != segment.rows.begin()) {
        row = rowOf(segment, size_t(it - segment.rows.begin()) - 1);
        return true;
    }
    // The last row of what comes before: a line that ended in a break, or a cut piece.
    const Segment &before = segmentAt(segment.start - 1);
    const Row preceding = rowOf(before, before.rows.size() - 1);
    if (preceding.start >= row.start)
        return false;
    row = preceding;
    return true;
}

QByteArray LogViewRows::rowText(const Row &row) const
{
    const Segment &segment = segmentAt(row.start);
    const qint64 offset = row.start - segment.start;
    if (offset < 0 || row.end > segment.end)
        return fetch(row.start, row.end - row.start);
    return segment.text.mid(qsizetype(offset), qsizetype(row.end - row.start));
}

void LogViewRows::segmentBounds(qint64 position, qint64 *start, qint64 *next) const
{
    const Segment &segment = segmentAt(position);
    *start = segment.start;
    *next = segment.next;
}
