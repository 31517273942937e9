#include "logfile/hexitems.h"

namespace HexItems {

namespace {
int digitValue(char c)
{
    if (c <= '9')
        return c - '0';
    return (c | 0x20) - 'a' + 10;
}
} // namespace

void appendItems(QByteArray &out, QByteArrayView bytes)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 16)
            out.append(digits[byte >> 4]);
        out.append(digits[byte & 15]);
        out.append(' ');
    }
}

void Decoder::decode(QByteArrayView piece, QByteArray &out)
{
    run<true>(piece, &out);
}

void Decoder::count(QByteArrayView piece)
{
    run<false>(piece, nullptr);
    endWord(false);
    endLine(nullptr);
}

void Decoder::finish(QByteArray &out)
{
    endWord(true);
    endLine(&out);
}

template <bool Keep> void Decoder::run(QByteArrayView piece, QByteArray *out)
{
    for (const char c : piece) {
        if (isSeparator(c)) {
            if (m_length > 0)
                endWord(Keep);
            if (c == '\n' || (m_line.size() >= LongestHeldLine && !m_lineIsText))
                endLine(out);
            continue;
        }
        ++m_length;
        if (isDigit(c))
            m_value = m_value * 16 + digitValue(c);
        else
            m_other = true;
    }
}

void Decoder::endWord(bool keep)
{
    if (m_length == 0)
        return;
    ++m_lineWords;
    if (m_other || m_length > 2) {
        m_lineIsText = true;
    } else {
        ++m_lineItems;
        if (keep)
            m_line.append(char(m_value));
    }
    m_length = 0;
    m_value = 0;
    m_other = false;
}

void Decoder::endLine(QByteArray *out)
{
    if (m_lineIsText) {
        m_otherWords += m_lineWords;
    } else {
        m_items += m_lineItems;
        if (out)
            out->append(m_line);
    }
    m_line.clear();
    m_lineItems = 0;
    m_lineWords = 0;
    m_lineIsText = false;
}

} // namespace HexItems
