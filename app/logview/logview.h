#pragma once

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QByteArray>
#include <QByteArrayView>
#include <QElapsedTimer>
#include <QList>
#include <memory>

class LogViewDocument;
class LogViewLayout;

// The log view: a read-only text view for long captures. Its text is Latin-1, one byte per
// character, and is given back exactly as it was set and inserted, CR LF pairs included.
// The user can move the caret, select, copy and scroll, but not edit.
class LogView : public QAbstractScrollArea
{
    Q_OBJECT
public:
    explicit LogView(QWidget *parent = nullptr);
    ~LogView() override;

    QByteArray text() const;
    // The text as consecutive pieces without copying; valid until the next change.
    QList<QByteArrayView> textPieces() const;
    qsizetype length() const;
    // Replaces the whole text; the caret goes to 0 and the selection is emptied.
    void setText(QByteArray text);

    // Start of the selection (the caret when nothing is selected) and its length.
    qsizetype selStart() const;
    qsizetype selLength() const;
    QByteArray selText() const;
    // Moves the caret to the position (clamped to the text) and empties the selection.
    void setSelStart(qsizetype position);
    // Replaces the selection, or inserts at the caret; the caret ends after the new text.
    void setSelText(QByteArrayView text);

    void selectAll();
    void copy() const;

Q_SIGNALS:
    // The user clicked in the view.
    void clicked();

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    void timerEvent(QTimerEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
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
    static constexpr int Margin = 4;
    static constexpr int FrameMs = 16;
    // A steady stream of appended text is drawn five times a second; what the user does at once.
    static constexpr int AppendFrameMs = 200;

    // A visual row: the line and the index of the row within the wrapped line.
    struct RowRef
    {
        qsizetype line = 0;
        qsizetype row = 0;
        bool operator==(const RowRef &other) const
        {
            return line == other.line && row == other.row;
        }
        bool operator<(const RowRef &other) const
        {
            return line < other.line || (line == other.line && row < other.row);
        }
    };
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

    void setCaret(qsizetype position, bool keepAnchor);
    void moveCaret(Move move, bool keepAnchor);
    void selectWordAt(qsizetype position);
    void scheduleRefresh(int frameMs = FrameMs);
    void refresh();
    void notifyAccessibility();
    void updateLayoutWidth();
    void updateScrollRange();
    void ensureCaretVisible();
    void setTop(RowRef top);

    int visibleRows() const;
    qsizetype rowCount(qsizetype line) const;
    bool nextRow(RowRef &row) const;
    bool previousRow(RowRef &row) const;
    RowRef rowOf(qsizetype position) const;
    // The row's text range, without a line break.
    void rowRange(RowRef row, qsizetype *start, qsizetype *end) const;
    QByteArray rowText(RowRef row, qsizetype *start) const;
    qsizetype positionInRow(RowRef row, qreal x) const;
    qsizetype moveByRows(qsizetype position, qsizetype rows);
    // Rows from the top of the view to the row, or -1 when it lies outside the view.
    qsizetype rowOnScreen(RowRef row) const;
    qsizetype positionAt(const QPoint &point) const;
    QRect characterRect(qsizetype position) const;
    void drawRow(QPainter &painter, RowRef row, qreal y);

    std::unique_ptr<LogViewDocument> m_document;
    std::unique_ptr<LogViewLayout> m_layout;
    qsizetype m_caret = 0;
    qsizetype m_anchor = 0;
    RowRef m_top;
    qreal m_goalX = -1;
    bool m_refreshPending = false;
    qint64 m_refreshDueMs = 0;
    bool m_followCaret = false;
    bool m_syncingScroll = false;
    bool m_pressed = false;
    QBasicTimer m_refreshTimer;
    QElapsedTimer m_sinceRefresh;
    qsizetype m_appendedFrom = -1;
    qsizetype m_notifiedCaret = 0;
    qsizetype m_notifiedAnchor = 0;
};
