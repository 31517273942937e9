#include "logfile/hexitemmatcher.h"

namespace {

int upperHexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
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
    for (qint64 i = 0; i < count; ++i) {
        const char c = data[i];
        const int digit = upperHexValue(c);
        switch (m_state) {
        case State::Boundary:
            if (digit >= 0) {
                m_state = State::OneDigit;
                m_value = digit;
                m_tokenStart = offset + i;
            } else if (c != '\r' && c != '\n') {
                m_state = State::NotItems;
                breakRun();
            }
            break;
        case State::OneDigit:
        case State::TwoDigits:
            if (c == ' ') {
                m_state = State::Boundary;
                takeItem(quint8(m_value), m_tokenStart, offset + i, found);
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
}

void HexItemMatcher::takeItem(quint8 byte, qint64 start, qint64 end, std::vector<LogMatch> &found)
{
    const qsizetype length = m_pattern.size();
    if (length == 0)
        return;
    m_itemStarts[size_t(m_itemCount % length)] = start;
    ++m_itemCount;
    while (m_matched > 0 && quint8(m_pattern[m_matched]) != byte)
        m_matched = m_fallback[size_t(m_matched - 1)];
    if (quint8(m_pattern[m_matched]) == byte)
        ++m_matched;
    if (m_matched == length) {
        const qint64 first = m_itemStarts[size_t(m_itemCount % length)];
        found.push_back({first, end - first});
        m_matched = m_fallback[size_t(length - 1)];
    }
}

void HexItemMatcher::breakRun()
{
    m_matched = 0;
}
