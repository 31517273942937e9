#pragma once

#include <QByteArray>
#include <QByteArrayView>

// The received bytes behind the log's text: items of one or two hex digits between blanks and
// line breaks. A line with any other word (a notice, text another program wrote) is no received
// data: its words are counted and left out, "1" in "Port 1 is not available" included.
namespace HexItems {

constexpr bool isDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

constexpr bool isSeparator(char c)
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
    // The text ended: the word in progress ends too, and the line so far counts as it stands.
    void finish(QByteArray &out);

    qint64 items() const { return m_items; }
    qint64 otherWords() const { return m_otherWords; }

private:
    template <bool Keep> void run(QByteArrayView piece);
    void step(char c, bool keep);
    void takeItem(int value, bool keep);
    void endWord(bool keep);
    void endLine();
    void passOn(QByteArray &out);

    // A line held back this long is clean so far, and is passed on so memory stays flat.
    static constexpr qsizetype LongestHeldLine = 65536;

    int m_length = 0;
    int m_value = 0;
    bool m_other = false;
    QByteArray m_line; // the clean lines to pass on, then the line so far, up to m_lineUsed
    qsizetype m_lineStart = 0;
    qsizetype m_lineUsed = 0;
    qint64 m_lineItems = 0;
    qint64 m_lineWords = 0;
    bool m_lineIsText = false;
    qint64 m_items = 0;
    qint64 m_otherWords = 0;
};

} // namespace HexItems
