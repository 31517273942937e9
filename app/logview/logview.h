#pragma once

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QByteArray>
#include <QByteArrayView>
#include <QElapsedTimer>
#include <QFont>
#include <QRawFont>
#include <memory>
#include <optional>
#include <vector>

class QLabel;

#include "app/logview/arrivaltimes.h"
#include "app/logview/logviewrows.h"
#include "app/logview/timecolumn.h"
#include "logfile/hexitemmatcher.h"

class LogText;
class LogViewLayout;

// A read-only view of a Latin-1 log of any length, given back byte for byte, CR LF included.
class LogView : public QAbstractScrollArea
{
    Q_OBJECT
public:
    // The most that one copy puts on the clipboard: it holds the text twice over, as UTF-16.
    static constexpr qint64 CopyLimit = qint64(16) * 1024 * 1024;

    explicit LogView(QWidget *parent = nullptr);
    ~LogView() override;

    // The whole text: for small texts and tests.
    QByteArray text() const;
    qint64 length() const;
    // Replaces the whole text; the caret goes to 0 and the selection is emptied.
    void setText(QByteArray text);
    // Shows a text of its own, as setText does.
    void setStorage(std::unique_ptr<LogText> storage);
    // Shows a text that somebody else owns and keeps alive for as long as the view shows it.
    void observe(LogText &text);
    const LogText &storage() const { return *m_text; }

    // Start of the selection (the caret when nothing is selected) and its length.
    qint64 selStart() const;
    qint64 selLength() const;
    QByteArray selText() const;
    // Moves the caret to the position (clamped to the text) and empties the selection.
    void setSelStart(qint64 position);
    // Unlike the toolkit call it is named after, it never replaces a selection: it always
    // appends the text at the end, where the caret is put first, and the caret ends after it.
    void setSelText(QByteArrayView text);

    // Selects the range, the caret at its end, and scrolls it into view.
    void setSelection(qint64 start, qint64 length);
    void selectAll();
    void copy();

    // Where the view finds when the text arrived (not owned); nullptr: nowhere.
    void setArrivalTimes(const ArrivalTimes *times);
    // The time column at the left edge, or none: drawn beside the text, never part of it.
    void setTimeColumn(std::optional<TimeFormat> format);
    std::optional<TimeFormat> timeColumn() const { return m_timeFormat; }
    // A rule before the first item after a quiet spell longer than the threshold, or none.
    void setQuietGapMarks(std::optional<int> thresholdMs);
    std::optional<int> quietGapMarks() const { return m_gapThresholdMs; }

    // What the view draws beside the text: the column's text for the row that holds the
    // position, the positions of the rules in that row, and the tooltip of the position.
    QString timeColumnText(qint64 position) const;
    std::vector<qint64> quietGapsInRow(qint64 position) const;
    QString timeTip(qint64 position) const;
    // The selection's time span and byte count, when its times are known.
    QString selectionTimeTip() const;

    // While text arrives the view follows the end, unless the user scrolled away from it or
    // pressed Scroll Lock: then it holds still, and the caret and the selection stay.
    bool isHeld() const { return m_held; }
    // Received bytes appended since the view was held.
    qint64 arrivedWhileHeld() const { return m_arrivedWhileHeld; }
    // Goes back to the end and follows it again.
    void follow();

    // Where the received bytes hold the pattern, the shown rows get a light background; they
    // are found for the rows on screen at each paint. Empty: none.
    void setMatchHighlight(const QByteArray &pattern);
    // The matches of the highlighted pattern that reach into the shown rows.
    std::vector<LogMatch> matchesShown() const;
    // Pixels at the top of the view that a bar floating over it hides: the caret is brought
    // into view below them. 0: none.
    void setTopCover(int pixels) { m_topCover = pixels; }

    // The received bytes of each row as characters, right of the hex: drawn beside the text,
    // never part of it; the rows narrow so that both fit.
    void setCharacterColumn(bool on);
    bool characterColumn() const { return m_characters; }
    // The selection's received bytes as the column shows them, whole items.
    QByteArray selectedCharacters() const;
    void copyCharacters();
    // Where the characters column shows the item at the position; empty where it shows none.
    QRect characterCell(qint64 position) const;

Q_SIGNALS:
    // The user clicked in the view.
    void clicked();

protected:
    bool event(QEvent *event) override;
    bool viewportEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    void timerEvent(QTimerEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    friend class LogViewAccessible;
    using Row = LogViewRows::Row;
    static constexpr int Margin = 4;
    static constexpr int FrameMs = 16;
    // A steady stream of appended text is drawn at most every 30 ms, by scrolling what was drawn
    // and painting only the rows it changed; what the user does at once.
    static constexpr int AppendFrameMs = 30;
    // How far word moves and word selection look for the word's end.
    static constexpr qint64 WordReach = qint64(64) * 1024;

    enum class Move {
        Left,
        Right,
        Up,
        Down,
        Home,
        End,
        Start,
        Finish,
        PageUp,
        PageDown,
        WordLeft,
        WordRight
    };

    void textReplaced();
    void setCaret(qint64 position, bool keepAnchor);
    void moveCaret(Move move, bool keepAnchor);
    qint64 wordLeft(qint64 position) const;
    qint64 wordRight(qint64 position) const;
    void selectWordAt(qint64 position);
    void scheduleRefresh(int frameMs = FrameMs);
    void refresh();
    void notifyAccessibility();
    void updateLayoutWidth();

    // Scrolling: the bar runs over byte offsets, scaled to fit its range.
    qint64 scrollScale() const;
    int barValueOf(qint64 position) const;
    Row highestTop() const;
    void updateScrollRange();
    void scrollBarAction(int action);
    void scrollByRows(qint64 rows);
    void ensureCaretVisible();
    bool showAppended(qint64 from, qint64 oldTop);
    void setTop(qint64 rowStart);
    // Holding still while text arrives (logviewhold.cpp).
    void updateHold();
    void setHeld(bool held);
    void countArrived(QByteArrayView text);
    void showHeldAppended(qint64 from);
    void showHeldIndicator();
    void placeHeldIndicator();

    int visibleRows() const;
    // The rows at the top that the top cover hides, wholly or in part.
    qint64 coveredRows() const;
    Row stepRows(Row row, qint64 rows) const;
    qint64 positionInRow(const Row &row, qreal x) const;
    qint64 moveByRows(qint64 position, qint64 rows);
    // Rows from the top of the view to the row, or -1 when it lies outside the view.
    qint64 rowOnScreen(const Row &row) const;
    qint64 positionAt(const QPoint &point) const;
    QRect characterRect(qint64 position) const;
    void drawRow(QPainter &painter, const Row &row, qreal y, const Row &caretRow,
                 const std::vector<qint64> &quietGaps);
    std::vector<LogMatch> matchesIn(const Row &first, const Row &last) const;
    // The characters column (logviewcharacters.cpp).
    static constexpr qreal CharactersGap = 12;
    void updateCharacterFont();
    qreal itemWidth() const;
    qreal charactersLeft() const;
    qint64 positionInCharacters(const Row &row, qreal x) const;
    // Whether the row drawn at y lies in what the paint must cover.
    bool rowIsDirty(const QRegion &dirty, qreal y) const;
    void drawCharacters(QPainter &painter, const std::vector<Row> &rows, const QRegion &dirty,
                        const std::vector<LogMatch> &matches);
    void drawCharacterRow(QPainter &painter, const Row &row, qreal y,
                          const std::vector<LogMatch> &matches);
    void drawMatches(QPainter &painter, const std::vector<LogMatch> &matches, const Row &row,
                     const QByteArray &text, qreal y) const;
    // The time column and the quiet-gap rules (logviewtimes.cpp).
    qreal textLeft() const { return Margin + m_gutter; }
    void updateGutter();
    ChunkSpan chunksAround(const Row &first, const Row &last) const;
    static std::optional<qint64> rowTimeMs(const ChunkSpan &chunks, const Row &row);
    std::optional<qint64> previousRowTimeMs(const ChunkSpan &chunks, const Row &row) const;
    QString columnText(std::optional<qint64> timeMs, std::optional<qint64> previousMs,
                       std::optional<qint64> originMs, bool first) const;
    std::optional<qint64> columnOrigin() const;
    qint64 itemAt(qint64 position) const;
    std::vector<qint64> quietGaps(const ChunkSpan &chunks, const Row &row) const;
    bool isQuietBefore(const ChunkSpan &chunks, const ArrivalTimes::Chunk &chunk) const;
    void drawTimeColumn(QPainter &painter, const ChunkSpan &chunks, const std::vector<Row> &rows,
                        const QRegion &dirty);
    void drawQuietGaps(QPainter &painter, const std::vector<qint64> &marks, const Row &row,
                       const QByteArray &text, qreal y);
    void tellUser(const QString &text, int style);

    std::unique_ptr<LogText> m_ownText;
    LogText *m_text = nullptr;
    std::unique_ptr<LogViewLayout> m_layout;
    std::unique_ptr<LogViewRows> m_rows;
    qint64 m_caret = 0;
    qint64 m_anchor = 0;
    qint64 m_top = 0;
    qreal m_goalX = -1;
    int m_wheelRemainder = 0;
    bool m_refreshPending = false;
    qint64 m_refreshDueMs = 0;
    bool m_followCaret = false;
    // Since the last refresh only text was appended at the end: a partial repaint will do.
    bool m_onlyAppended = false;
    bool m_syncingScroll = false;
    bool m_pressed = false;
    QBasicTimer m_refreshTimer;
    QElapsedTimer m_sinceRefresh;
    qint64 m_appendedFrom = -1;
    qint64 m_notifiedCaret = 0;
    qint64 m_notifiedAnchor = 0;
    const ArrivalTimes *m_times = nullptr;
    std::optional<TimeFormat> m_timeFormat;
    std::optional<int> m_gapThresholdMs;
    qreal m_gutter = 0;
    bool m_held = false;
    bool m_scrollLock = false;
    qint64 m_arrivedWhileHeld = 0;
    QLabel *m_heldIndicator = nullptr;
    QByteArray m_matchPattern;
    bool m_characters = false;
    int m_topCover = 0;
    QFont m_characterFont;
    // The glyph of each byte's character in that font, laid out once: shaping each row cost
    // as much as the row's hex.
    QRawFont m_characterGlyphs;
    std::vector<quint32> m_glyphOfByte;
    qreal m_cell = 0;
    int m_rowItems = 0;
};
