#include "logfile/hexitemmatcher.h"

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

} // namespace

HexItemMatcher::HexItemMatcher(QByteArray pattern)
    : m_pattern(std::move(pattern)), m_fallback(size_t(m_pattern.size()), 0),
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
    qint64 i = 0;
    while (i < count) {
        // Most of a log is whole items: taken three or two bytes at a time.
        if (m_state == State::Boundary && i + 2 < count) {
            const int high = upperHexValue(data[i]);
            const int low = upperHexValue(data[i + 1]);
            if (high >= 0 && low >= 0 && data[i + 2] == ' ') {
                takeItem(quint8(high * 16 + low), offset + i, offset + i + 2, found);
                i += 3;
                continue;
            }
            if (high >= 0 && data[i + 1] == ' ') {
                takeItem(quint8(high), offset + i, offset + i + 1, found);
                i += 2;
                continue;
            }
        }
        step(data[i], offset + i, found);
        ++i;
    }
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
