#include "logfile/hexitemmatcher.h"

#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

constexpr int kNotDigit = -1;

// The value of each upper-case hex digit, kNotDigit for every other byte.
struct DigitTable
{
    int value[256] = {};
    constexpr DigitTable()
    {
        for (int &v : value)
            v = kNotDigit;
        for (int c = '0'; c <= '9'; ++c)
            value[c] = c - '0';
        for (int c = 'A'; c <= 'F'; ++c)
            value[c] = c - 'A' + 10;
    }
};

constexpr DigitTable kDigits;

int upperHexValue(char c)
{
    return kDigits.value[static_cast<unsigned char>(c)];
}

// The item a byte is written as, with its blank: "A " or "DE ".
QByteArray itemText(quint8 byte)
{
    QByteArray text = QByteArray::number(byte, 16).toUpper();
    text.append(' ');
    return text;
}

// Where text (two or three bytes) first lies wholly in data[from, end), or -1.
qint64 findText(const char *data, qint64 from, qint64 end, const QByteArray &text)
{
    const qint64 length = text.size();
    qint64 at = from;
#ifdef __SSE2__
    // Sixteen places at a time: each of the text's bytes compared at its distance from them.
    const __m128i first = _mm_set1_epi8(text[0]);
    const __m128i second = _mm_set1_epi8(text[1]);
    const __m128i last = _mm_set1_epi8(text[length - 1]);
    for (; at + 16 + length - 1 <= end; at += 16) {
        const char *p = data + at;
        __m128i hits = _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p)), first);
        hits = _mm_and_si128(
            hits,
            _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 1)), second));
        hits = _mm_and_si128(
            hits, _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p + length - 1)),
                                 last));
        if (const int mask = _mm_movemask_epi8(hits))
            return at + __builtin_ctz(unsigned(mask));
    }
#endif
    while (at + length <= end) {
        const void *hit = std::memchr(data + at, text[0], size_t(end - length + 1 - at));
        if (!hit)
            return -1;
        at = static_cast<const char *>(hit) - data;
        if (std::memcmp(data + at, text.constData(), size_t(length)) == 0)
            return at;
        ++at;
    }
    return -1;
}

bool endsLineOrItem(char c)
{
    return c == ' ' || c == '\r' || c == '\n';
}

} // namespace

HexItemMatcher::HexItemMatcher(QByteArray pattern, Scan scan)
    : m_pattern(std::move(pattern)), m_scan(scan),
      m_firstItemText(m_pattern.isEmpty() ? QByteArray() : itemText(quint8(m_pattern[0]))),
      m_secondItemText(m_pattern.size() < 2 ? QByteArray() : itemText(quint8(m_pattern[1]))),
      m_fallback(size_t(m_pattern.size()), 0),
      m_itemStarts(size_t(std::max<qsizetype>(1, m_pattern.size())), 0)
{
    int border = 0;
    for (qsizetype i = 1; i < m_pattern.size(); ++i) {
        while (border > 0 && m_pattern[i] != m_pattern[border])
            border = m_fallback[size_t(border - 1)];
        if (m_pattern[i] == m_pattern[border])
            ++border;
        m_fallback[size_t(i)] = border;
    }
}

void HexItemMatcher::feed(const char *data, qint64 count, qint64 offset,
                          std::vector<LogMatch> &found)
{
    if (m_pattern.isEmpty())
        return;
    qint64 i = 0;
    qint64 decodeTo = 0; // no skipping before here: a candidate lies ahead
    while (i < count) {
        const bool between = m_state == State::Boundary || m_state == State::NotItems;
        if (m_scan == Scan::SkipAhead && i >= decodeTo && m_matched == 0 && between)
            i = skipToCandidate(data, i, count, &decodeTo);
        else
            i = decode(data, i, count, offset, found);
    }
}

// With no match under way, jumps to where decoding must resume to take the next item that may
// begin one: the start of its line, or where the state before it is known.
qint64 HexItemMatcher::skipToCandidate(const char *data, qint64 from, qint64 count,
                                       qint64 *decodeTo)
{
    for (qint64 at = from;;) {
        const qint64 hit = findText(data, at, count, m_firstItemText);
        // The last line is decoded: an item cut by the block's end goes on in the next.
        if (hit < 0) {
            *decodeTo = count;
            return resumeBefore(data, from, count);
        }
        // A one-digit item may also be written with a leading zero.
        const qint64 start =
            hit > from && m_firstItemText.size() == 2 && data[hit - 1] == '0' ? hit - 1 : hit;
        // Only a blank or a line break ends what came before an item.
        const bool itemStart = start == from || endsLineOrItem(data[start - 1]);
        if (itemStart && mayGoOn(data, hit + m_firstItemText.size(), count)) {
            *decodeTo = start + 1;
            return resumeBefore(data, from, start);
        }
        at = hit + 1;
    }
}

// Whether the text after the first item may go on with the second, seen without decoding.
bool HexItemMatcher::mayGoOn(const char *data, qint64 at, qint64 count) const
{
    const char *next = data + at;
    if (m_secondItemText.isEmpty() || at + 3 > count || next[0] == '\r' || next[0] == '\n')
        return true;
    const size_t length = size_t(m_secondItemText.size());
    return std::memcmp(next, m_secondItemText.constData(), length) == 0 ||
           (length == 2 && next[0] == '0' &&
            std::memcmp(next + 1, m_secondItemText.constData(), 2) == 0);
}

// Where decoding from the state at from must begin to know the state at to: after the last
// line break before it, which every line starts afresh from.
qint64 HexItemMatcher::resumeBefore(const char *data, qint64 from, qint64 to)
{
    if (const void *lineEnd = ::memrchr(data + from, '\n', size_t(to - from))) {
        m_state = State::Boundary;
        return static_cast<const char *>(lineEnd) - data + 1;
    }
    // The rest of a notice line stays outside the items up to its line break.
    return m_state == State::NotItems ? to : from;
}

// Decodes an item or a byte at i; gives where the next begins.
qint64 HexItemMatcher::decode(const char *data, qint64 i, qint64 count, qint64 offset,
                              std::vector<LogMatch> &found)
{
    // Most of a log is whole items: taken three or two bytes at a time.
    if (m_state == State::Boundary && i + 2 < count) {
        const int high = upperHexValue(data[i]);
        const int low = upperHexValue(data[i + 1]);
        if (high >= 0 && low >= 0 && data[i + 2] == ' ') {
            takeItem(quint8(high * 16 + low), offset + i, offset + i + 2, found);
            return i + 3;
        }
        if (high >= 0 && data[i + 1] == ' ') {
            takeItem(quint8(high), offset + i, offset + i + 1, found);
            return i + 2;
        }
    }
    step(data[i], offset + i, found);
    return i + 1;
}

void HexItemMatcher::step(char c, qint64 at, std::vector<LogMatch> &found)
{
    const int digit = upperHexValue(c);
    switch (m_state) {
    case State::Boundary:
        if (digit >= 0) {
            m_state = State::OneDigit;
            m_value = digit;
            m_tokenStart = at;
        } else if (c != '\r' && c != '\n') {
            m_state = State::NotItems;
            breakRun();
        }
        break;
    case State::OneDigit:
    case State::TwoDigits:
        if (c == ' ') {
            m_state = State::Boundary;
            takeItem(quint8(m_value), m_tokenStart, at, found);
        } else if (digit >= 0 && m_state == State::OneDigit) {
            m_state = State::TwoDigits;
            m_value = m_value * 16 + digit;
        } else {
            m_state = c == '\n' ? State::Boundary : State::NotItems;
            breakRun();
        }
        break;
    case State::NotItems:
        if (c == '\n')
            m_state = State::Boundary;
        break;
    }
}

void HexItemMatcher::takeItem(quint8 byte, qint64 start, qint64 end, std::vector<LogMatch> &found)
{
    const size_t length = size_t(m_pattern.size());
    if (length == 0)
        return;
    m_itemStarts[m_ring] = start;
    m_ring = m_ring + 1 == length ? 0 : m_ring + 1;
    if (m_matched == 0 && quint8(m_pattern[0]) != byte)
        return;
    while (m_matched > 0 && quint8(m_pattern[m_matched]) != byte)
        m_matched = m_fallback[size_t(m_matched - 1)];
    if (quint8(m_pattern[m_matched]) == byte)
        ++m_matched;
    if (size_t(m_matched) == length) {
        // The ring's next slot holds the start of the oldest of the last length items.
        const qint64 first = m_itemStarts[m_ring];
        found.push_back({first, end - first});
        m_matched = m_fallback[length - 1];
    }
}

void HexItemMatcher::breakRun()
{
    m_matched = 0;
}
