#include "logfile/hexitems.h"

#include <algorithm>

namespace HexItems {

namespace {
constexpr int digitValue(char c)
{
    if (c <= '9')
        return c - '0';
    return (c | 0x20) - 'a' + 10;
}
} // namespace

void appendItems(QByteArray &out, QByteArrayView bytes)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    // Written through a pointer into room made once: a character at a time costs several times.
    const qsizetype start = out.size();
    out.resize(start + bytes.size() * 3);
    char *next = out.data() + start;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 16)
            *next++ = digits[byte >> 4];
        *next++ = digits[byte & 15];
        *next++ = ' ';
    }
    out.truncate(next - out.constData());
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

namespace {
// What each character is to the decoder: a digit's value, a separator or another character.
constexpr int kSeparator = -1;
constexpr int kOther = -2;
struct CharClasses
{
    int of[256] = {};
    constexpr CharClasses()
    {
        for (int c = 0; c < 256; ++c)
            of[c] = isSeparator(char(c)) ? kSeparator
                    : isDigit(char(c))   ? digitValue(char(c))
                                         : kOther;
    }
};
constexpr CharClasses kClasses;
} // namespace

template <bool Keep> void Decoder::run(QByteArrayView piece, QByteArray *out)
{
    for (const char c : piece) {
        const int kind = kClasses.of[static_cast<unsigned char>(c)];
        if (kind >= 0) {
            // A word of more than two digits is no item: its value is never used, nor grown.
            if (++m_length <= 2)
                m_value = m_value * 16 + kind;
            continue;
        }
        if (kind == kOther) {
            ++m_length;
            m_other = true;
            continue;
        }
        if (m_length > 0)
            endWord(Keep);
        if (c == '\n' || (m_lineUsed >= LongestHeldLine && !m_lineIsText))
            endLine(out);
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
        if (keep) {
            if (m_lineUsed == m_line.size())
                m_line.resize(std::max<qsizetype>(256, 2 * m_line.size()));
            m_line.data()[m_lineUsed++] = char(m_value);
        }
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
            out->append(m_line.constData(), m_lineUsed);
    }
    m_lineUsed = 0;
    m_lineItems = 0;
    m_lineWords = 0;
    m_lineIsText = false;
}

} // namespace HexItems
