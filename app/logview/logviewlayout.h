#pragma once

#include <QByteArrayView>
#include <QFont>
#include <QString>
#include <vector>

// Wraps Latin-1 text into rows of a width, measured with a table of character advances.
class LogViewLayout
{
public:
    explicit LogViewLayout(const QFont &font = QFont());

    void setFont(const QFont &font);
    const QFont &font() const { return m_font; }
    // Returns whether the width changed.
    bool setWidth(qreal width);
    qreal width() const { return m_width; }
    // The most words a row holds, or 0 for no limit; returns whether it changed.
    bool setMaxWords(int words);
    qreal lineSpacing() const { return m_lineSpacing; }
    qreal ascent() const { return m_ascent; }
    qreal advance(uchar c) const { return m_advance[c]; }

    // Starts of the rows within the line's text; the first is 0. Breaks after a blank where
    // possible, else between any two characters; blanks may hang past the width.
    std::vector<quint32> wrap(QByteArrayView line) const;
    qreal textWidth(QByteArrayView text) const;
    // The boundary nearest to x in the text.
    qsizetype hit(QByteArrayView text, qreal x) const;
    static QString displayText(QByteArrayView text);

private:
    static bool isBlank(char c) { return c == ' ' || c == '\t'; }

    QFont m_font;
    qreal m_width = 0;
    int m_maxWords = 0;
    qreal m_lineSpacing = 0;
    qreal m_ascent = 0;
    qreal m_advance[256] = {};
};
