#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <vector>

// Where a pattern was found in the log's text: from its first item's first digit to its last
// item's last digit.
struct LogMatch
{
    qint64 offset = 0;
    qint64 length = 0;
};

// Finds a byte pattern in the bytes that a log's hex items stand for, fed block by block. Line
// breaks between items are skipped; any other text (a notice) breaks the run of items, and the
// rest of its line never counts as items.
class HexItemMatcher
{
public:
    // SkipAhead jumps to the text of the pattern's first item and decodes only around it;
    // EveryItem decodes all of the text, the plain reading the other must agree with.
    enum class Scan { SkipAhead, EveryItem };

    explicit HexItemMatcher(QByteArray pattern, Scan scan = Scan::SkipAhead);

    // Takes the next block of the text, which begins at offset; appends what it completes.
    void feed(const char *data, qint64 count, qint64 offset, std::vector<LogMatch> &found);

private:
    enum class State { Boundary, OneDigit, TwoDigits, NotItems };

    qint64 decode(const char *data, qint64 i, qint64 count, qint64 offset,
                  std::vector<LogMatch> &found);
    qint64 skipToCandidate(const char *data, qint64 from, qint64 count, qint64 *decodeTo);
    bool mayGoOn(const char *data, qint64 at, qint64 count) const;
    qint64 resumeBefore(const char *data, qint64 from, qint64 to);
    void step(char c, qint64 at, std::vector<LogMatch> &found);
    void takeItem(quint8 byte, qint64 start, qint64 end, std::vector<LogMatch> &found);
    void breakRun();

    QByteArray m_pattern;
    Scan m_scan = Scan::SkipAhead;
    QByteArray m_firstItemText; // the first byte's item as the log writes it, with its blank
    QByteArray m_secondItemText;
    std::vector<int> m_fallback;      // the longest border of each prefix, as in Knuth-Morris-Pratt
    std::vector<qint64> m_itemStarts; // where the last pattern-length items began, in a ring
    size_t m_ring = 0;                // where the next item's start goes
    int m_matched = 0;
    State m_state = State::Boundary;
    int m_value = 0;
    qint64 m_tokenStart = 0;
};
