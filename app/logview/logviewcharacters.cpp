// The characters column: each row's received bytes right of its hex, drawn beside the text and
// never part of it; a selection made on either side shows on both.
#include "app/logview/logview.h"

#include "app/logview/charactercolumn.h"
#include "app/logview/logviewlayout.h"
#include "app/toolkit/messagebox.h"
#include "logfile/hexitems.h"
#include "logfile/logtext.h"

#include <QClipboard>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QGuiApplication>
#include <QPainter>
#include <cmath>

void LogView::setCharacterColumn(bool on)
{
    if (on == m_characters)
        return;
    m_characters = on;
    updateLayoutWidth();
    scheduleRefresh();
}

void LogView::updateCharacterFont()
{
    // Characters in cells of one width, as under the items they stand for.
    m_characterFont = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    m_characterFont.setPointSizeF(font().pointSizeF());
    // A string drawn without kerning steps by exactly this: the cells stay under their characters.
    m_characterFont.setKerning(false);
    m_cell = QFontMetricsF(m_characterFont).horizontalAdvance(QLatin1Char('M'));
    m_characterGlyphs = QRawFont::fromFont(m_characterFont);
    QString shown(256, QLatin1Char('.'));
    for (int byte = 0; byte < 256; ++byte)
        shown[byte] = QLatin1Char(CharacterColumn::shown(uchar(byte)));
    const QList<quint32> glyphs = m_characterGlyphs.glyphIndexesForString(shown);
    m_glyphOfByte.assign(glyphs.begin(), glyphs.end());
}

// A two-digit item and its blank, on average: rows of wider items wrap by the width first,
// with fewer items than the column has cells.
qreal LogView::itemWidth() const
{
    const QByteArrayView digits("0123456789ABCDEF");
    return 2 * m_layout->textWidth(digits) / qreal(digits.size()) + m_layout->advance(' ');
}

qreal LogView::charactersLeft() const
{
    return viewport()->width() - Margin - m_rowItems * m_cell;
}

QRect LogView::characterCell(qint64 position) const
{
    const Row row = m_rows->rowAt(position);
    const qint64 index = m_characters ? rowOnScreen(row) : -1;
    if (index < 0)
        return {};
    const std::vector<CharacterColumn::Item> items = CharacterColumn::itemsOf(m_rows->rowText(row));
    for (size_t k = 0; k < items.size(); ++k) {
        if (position >= row.start + items[k].start && position <= row.start + items[k].end) {
            const qreal y = Margin + qreal(index) * m_layout->lineSpacing();
            return QRectF(charactersLeft() + qreal(k) * m_cell, y, m_cell, m_layout->lineSpacing())
                .toAlignedRect();
        }
    }
    return {};
}

qint64 LogView::positionInCharacters(const Row &row, qreal x) const
{
    const std::vector<CharacterColumn::Item> items = CharacterColumn::itemsOf(m_rows->rowText(row));
    if (items.empty())
        return row.start;
    const qreal cells = (x - charactersLeft()) / m_cell;
    const auto cell = size_t(std::clamp<qreal>(std::floor(cells), 0, qreal(items.size() - 1)));
    // The left half of a cell is before its item, the right half after it.
    const bool after = cells - qreal(cell) >= 0.5;
    return row.start + (after ? items[cell].end : items[cell].start);
}

namespace {

// The cells of the row's items that the range [from, to) of the text reaches.
QRectF cellsIn(const std::vector<CharacterColumn::Item> &items, qint64 rowStart, qint64 from,
               qint64 to, qreal left, qreal cell)
{
    size_t first = items.size();
    size_t last = 0;
    for (size_t k = 0; k < items.size(); ++k) {
        if (rowStart + items[k].start < to && rowStart + items[k].end > from) {
            first = std::min(first, k);
            last = k + 1;
        }
    }
    if (first >= last)
        return {};
    return QRectF(left + qreal(first) * cell, 0, qreal(last - first) * cell, 0);
}

} // namespace

void LogView::drawCharacters(QPainter &painter, const std::vector<Row> &rows, const QRegion &dirty,
                             const std::vector<LogMatch> &matches)
{
    const qreal left = charactersLeft() - CharactersGap / 2;
    painter.fillRect(QRectF(left, 0, viewport()->width() - left, viewport()->height()),
                     palette().color(QPalette::AlternateBase));
    qreal y = Margin;
    for (const Row &row : rows) {
        if (rowIsDirty(dirty, y))
            drawCharacterRow(painter, row, y, matches);
        y += m_layout->lineSpacing();
    }
}

void LogView::drawCharacterRow(QPainter &painter, const Row &row, qreal y,
                               const std::vector<LogMatch> &matches)
{
    const std::vector<CharacterColumn::Item> items = CharacterColumn::itemsOf(m_rows->rowText(row));
    if (items.empty())
        return;
    QList<quint32> glyphs(qsizetype(items.size()));
    QList<QPointF> positions(qsizetype(items.size()));
    for (size_t k = 0; k < items.size(); ++k) {
        glyphs[qsizetype(k)] = m_glyphOfByte.size() == 256 ? m_glyphOfByte[items[k].byte] : 0;
        positions[qsizetype(k)] = QPointF(qreal(k) * m_cell, 0);
    }
    QGlyphRun characters;
    characters.setRawFont(m_characterGlyphs);
    characters.setGlyphIndexes(glyphs);
    characters.setPositions(positions);
    const qreal left = charactersLeft();
    const qreal height = m_layout->lineSpacing();
    QColor light = palette().color(QPalette::Highlight);
    light.setAlphaF(0.3);
    for (const LogMatch &match : matches) {
        const QRectF cells =
            cellsIn(items, row.start, match.offset, match.offset + match.length, left, m_cell);
        painter.fillRect(cells.adjusted(0, y, 0, y + height), light);
    }
    const QPointF origin(left, y + m_layout->ascent());
    painter.setPen(palette().color(QPalette::Text));
    painter.drawGlyphRun(origin, characters);
    const QRectF selected =
        cellsIn(items, row.start, selStart(), selStart() + selLength(), left, m_cell)
            .adjusted(0, y, 0, y + height);
    if (selected.width() > 0) {
        painter.save();
        painter.setClipRect(selected);
        painter.fillRect(selected, palette().color(QPalette::Highlight));
        painter.setPen(palette().color(QPalette::HighlightedText));
        painter.drawGlyphRun(origin, characters);
        painter.restore();
    }
}

QByteArray LogView::selectedCharacters() const
{
    if (selLength() == 0)
        return {};
    // Whole items: a selection that begins or ends inside one takes its byte.
    qint64 from = selStart();
    while (from > 0 && from > selStart() - 2 && HexItems::isDigit(m_rows->at(from - 1)))
        --from;
    const qint64 end = selStart() + selLength();
    qint64 to = end;
    while (to < length() && to < end + 2 && HexItems::isDigit(m_rows->at(to)))
        ++to;
    HexItems::Decoder decoder;
    QByteArray bytes;
    decoder.decode(m_text->mid(from, std::min(to - from, CopyLimit)), bytes);
    decoder.finish(bytes);
    return CharacterColumn::shown(bytes);
}

void LogView::copyCharacters()
{
    if (selLength() == 0)
        return;
    QGuiApplication::clipboard()->setText(QString::fromLatin1(selectedCharacters()));
    if (selLength() > CopyLimit) {
        tellUser(tr("Only the characters of the first %1 bytes of the selection were copied; it "
                    "holds %2 bytes. Select less to copy it whole.")
                     .arg(CopyLimit)
                     .arg(selLength()),
                 MessageBox::Information);
    }
}
