#pragma once

#include <QAbstractScrollArea>
#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <memory>

class LogViewDocument;

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
};
