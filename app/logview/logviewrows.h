#pragma once

#include <QByteArray>
#include <map>
#include <vector>

class LogText;
class LogViewLayout;

// Rows found near a position with no index: long lines are cut at multiples of SegmentBytes.
class LogViewRows
{
public:
    static constexpr qint64 SegmentBytes = qint64(32) * 1024;

    struct Row
    {
        qint64 start = 0;
        qint64 end = 0;  // end of the row's text
        qint64 next = 0; // start of the following row, after the line break if one follows
        bool operator==(const Row &other) const { return start == other.start; }
    };

    LogViewRows(const LogText &text, const LogViewLayout &layout);

    // After the text was replaced, or the width or font changed.
    void reset(const LogText &text);
    // After text was appended to oldSize bytes.
    void appended(qint64 oldSize);

    Row rowAt(qint64 position) const;
    bool nextRow(Row &row) const;
    bool previousRow(Row &row) const;
    bool isLast(const Row &row) const;
    static bool breakFollows(const Row &row) { return row.next > row.end; }
    // The row's bytes; what cannot be read (a file cut short) reads as zero bytes.
    QByteArray rowText(const Row &row) const;
    // The line, or piece of a long line, around the position, to where the next one starts.
    void segmentBounds(qint64 position, qint64 *start, qint64 *next) const;

    char at(qint64 position) const;
    // Neighbouring caret positions; a CR LF pair is stepped over as one.
    qint64 nextPosition(qint64 position) const;
    qint64 previousPosition(qint64 position) const;
    QByteArray fetch(qint64 position, qint64 count) const;

private:
    struct Segment
    {
        qint64 start = 0;
        qint64 end = 0;
        qint64 next = 0;
        QByteArray text;
        std::vector<quint32> rows; // row starts within the text; the first is 0
    };

    const Segment &segmentAt(qint64 position) const;
    Segment layOut(qint64 position) const;
    bool contains(const Segment &segment, qint64 position) const;
    static Row rowOf(const Segment &segment, size_t index);
    qint64 lineStartWithin(qint64 position, qint64 reach) const;
    qint64 lineEndWithin(qint64 from, qint64 to, int *breakLength) const;

    const LogText *m_text = nullptr;
    const LogViewLayout *m_layout = nullptr;
    mutable std::map<qint64, Segment> m_segments;
    mutable qint64 m_cachedBytes = 0;
    mutable qint64 m_windowStart = 0;
    mutable QByteArray m_window;
};
