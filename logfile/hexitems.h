#pragma once

#include <QByteArray>
#include <QByteArrayView>

// The received bytes behind the log's text: items of one or two hex digits between blanks and
// line breaks. Other words (a notice, text another program wrote) are counted and left out.
namespace HexItems {

inline bool isDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

inline bool isSeparator(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Appends each byte as the log shows it: upper-case, no leading zero, a blank after each.
void appendItems(QByteArray &out, QByteArrayView bytes);

// Decodes text given in pieces: a word cut between two pieces is joined.
class Decoder
{
public:
    // Appends the bytes of the items that end in the piece.
    void decode(QByteArrayView piece, QByteArray &out);
    // Counts without keeping the bytes.
    void count(QByteArrayView piece);
    // The text ended: the word in progress ends too.
    void finish(QByteArray &out);

    qint64 items() const { return m_items; }
    qint64 otherWords() const { return m_otherWords; }

private:
    template <bool Keep> void run(QByteArrayView piece, QByteArray *out);
    void endWord(QByteArray *out);

    int m_length = 0;
    int m_value = 0;
    bool m_other = false;
    qint64 m_items = 0;
    qint64 m_otherWords = 0;
};

} // namespace HexItems
