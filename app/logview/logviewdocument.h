#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QtGlobal>
#include <vector>

// Latin-1 text kept in blocks of bounded size with an index of line starts per block, so that
// appending never copies what is stored and a line is found without scanning the text.
// A line break is "\r\n", a lone "\n" or a lone "\r".
class LogViewDocument
{
public:
    static constexpr qsizetype DefaultBlockSize = 256 * 1024;

    explicit LogViewDocument(qsizetype blockSize = DefaultBlockSize);

    qsizetype length() const { return m_length; }
    qsizetype lineCount() const;
    qsizetype blockCount() const { return qsizetype(m_blocks.size()); }
    char at(qsizetype position) const;

    QByteArray text() const;
    QByteArray mid(qsizetype position, qsizetype count) const;
    QList<QByteArrayView> pieces() const;

    void setText(QByteArray text);
    void insert(qsizetype position, QByteArrayView bytes);
    void remove(qsizetype position, qsizetype count);

    qsizetype lineOf(qsizetype position) const;
    qsizetype lineStart(qsizetype line) const;
    // End of the line's text, before its line break.
    qsizetype lineEnd(qsizetype line) const;
    // The line's text without its break; points into the store, or into scratch when the line
    // spans blocks. Valid until the next change.
    QByteArrayView lineText(qsizetype line, QByteArray &scratch) const;

    // Neighbouring caret positions; a CR LF pair is stepped over as one.
    qsizetype nextPosition(qsizetype position) const;
    qsizetype previousPosition(qsizetype position) const;

private:
    struct Block
    {
        QByteArray data;
        // Offsets within the block just after each line break whose last byte is in the block.
        std::vector<quint32> breaks;
    };

    qsizetype blockAt(qsizetype position) const;
    qsizetype blockOfLine(qsizetype line) const;
    bool endsLine(qsizetype position) const;
    void rescan(qsizetype block, qsizetype from, qsizetype to);
    void rescanGlobal(qsizetype position);
    void insertSplitting(qsizetype block, qsizetype offset, QByteArrayView bytes);
    void removeFromBlock(qsizetype block, qsizetype from, qsizetype to);
    void renumber(qsizetype fromBlock);
    Block newBlock() const;

    qsizetype m_blockSize = DefaultBlockSize;
    qsizetype m_length = 0;
    std::vector<Block> m_blocks;
    std::vector<qsizetype> m_starts;
    std::vector<qsizetype> m_lineBase;
};
