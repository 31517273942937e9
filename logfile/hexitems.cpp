#include "logfile/hexitems.h"

#include <algorithm>
#include <cstring>

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
    run<true>(piece);
    passOn(out);
}

void Decoder::count(QByteArrayView piece)
{
    run<false>(piece);
    endWord(false);
    endLine();
}

void Decoder::finish(QByteArray &out)
{
    endWord(true);
    endLine();
    passOn(out);
}

// Hands on the lines that ended clean, once a piece: the line in progress stays.
void Decoder::passOn(QByteArray &out)
{
    out.append(m_line.constData(), m_lineStart);
    if (m_lineStart > 0)
        std::memmove(m_line.data(), m_line.constData() + m_lineStart,
                     size_t(m_lineUsed - m_lineStart));
    m_lineUsed -= m_lineStart;
    m_lineStart = 0;
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

// A word of one or two digits and the blank after it, as endWord would take it.
inline void Decoder::takeItem(int value, bool keep)
{
    ++m_lineWords;
    ++m_lineItems;
    if (keep)
        m_line.data()[m_lineUsed++] = char(value);
    if (m_lineUsed - m_lineStart >= LongestHeldLine && !m_lineIsText)
        endLine();
}

template <bool Keep> void Decoder::run(QByteArrayView piece)
{
    const char *data = piece.data();
    const qsizetype count = piece.size();
    // Room for every item the piece may hold: each takes at least two of its bytes.
    if (Keep && m_line.size() < m_lineUsed + count / 2 + 2)
        m_line.resize(m_lineUsed + count / 2 + 2);
    for (qsizetype i = 0; i < count;) {
        // Most of a log is whole items between blanks: taken three or two bytes at a time.
        if (m_length == 0 && i + 2 < count) {
            const int high = kClasses.of[static_cast<unsigned char>(data[i])];
            const int low = kClasses.of[static_cast<unsigned char>(data[i + 1])];
            const bool two = high >= 0 && low >= 0 && data[i + 2] == ' ';
            if (two || (high >= 0 && data[i + 1] == ' ')) {
                takeItem(two ? high * 16 + low : high, Keep);
                i += two ? 3 : 2;
                continue;
            }
        }
        step(data[i++], Keep);
    }
}

void Decoder::step(char c, bool keep)
{
    const int kind = kClasses.of[static_cast<unsigned char>(c)];
    if (kind >= 0) {
        // A word of more than two digits is no item: its value is never used, nor grown.
        if (++m_length <= 2)
            m_value = m_value * 16 + kind;
        return;
    }
    if (kind == kOther) {
        ++m_length;
        m_other = true;
        return;
    }
    if (m_length > 0)
        endWord(keep);
    if (c == '\n' || (m_lineUsed - m_lineStart >= LongestHeldLine && !m_lineIsText))
        endLine();
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

// A clean line joins the lines to pass on; a line of text is dropped.
void Decoder::endLine()
{
    if (m_lineIsText) {
        m_otherWords += m_lineWords;
        m_lineUsed = m_lineStart;
    } else {
        m_items += m_lineItems;
        m_lineStart = m_lineUsed;
    }
    m_lineItems = 0;
    m_lineWords = 0;
    m_lineIsText = false;
}

} // namespace HexItems
