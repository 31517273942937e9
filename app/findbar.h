#pragma once

#include "logfile/logsearch.h"

#include <QFrame>
#include <QTimer>
#include <memory>
#include <optional>
#include <vector>

class LogTextReader;
class LogView;
class QComboBox;
class QLabel;
class QLineEdit;

// A bar over the top edge of the log view that finds a byte pattern in the log: it floats over
// the view, so the window's layout stays as it is.
class FindBar : public QFrame
{
    Q_OBJECT
public:
    // The most matches kept for Next and Previous; beyond them they are only counted.
    static constexpr size_t KeptMatches = 1000000;

    explicit FindBar(LogView *view);

    void open();
    void close();
    void findNext() { go(+1); }
    void findPrevious() { go(-1); }
    // The text was replaced or stored anew: what was found may no longer stand.
    void restart();

    // The search has looked at all of the text it was given.
    bool isComplete() const;
    QString statusText() const;
    QString noteText() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void go(int direction);
    bool searchTyped();
    void step();
    void select(size_t index, const QString &note);
    void lookAhead(qint64 from);
    void takeAheadMatches(const std::vector<LogMatch> &matches);
    void takeMatches(const std::vector<LogMatch> &matches);
    void searchProgressed();
    void followText();
    void showStatus();
    void place();

    LogView *m_view = nullptr;
    QLineEdit *m_pattern = nullptr;
    QComboBox *m_mode = nullptr;
    QLabel *m_status = nullptr;
    QLabel *m_note = nullptr;
    LogSearch m_search;
    // From the caret, so that the next match shows before the search from the top gets there.
    LogSearch m_ahead;
    qint64 m_aheadFrom = -1;
    // A match the search ahead selected, until the search from the top counts it.
    std::optional<LogMatch> m_early;
    QByteArray m_bytes;
    QTimer m_follow;
    // What the running search looks for, as typed, and how far its text reaches.
    QString m_searched;
    qint64 m_readerSize = -1;
    std::vector<LogMatch> m_matches;
    qint64 m_count = 0;
    qint64 m_current = -1;
    // The direction of a Next or Previous that waits for the search to find more.
    int m_pending = 0;
};
