#include "app/findbar.h"
#include "app/logview/logview.h"
#include "logfile/bytepattern.h"
#include "logfile/logtext.h"
#include "logfile/logtextreader.h"

#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QScrollBar>
#include <QToolButton>
#include <algorithm>

namespace {

constexpr int kFollowMs = 200;
constexpr int kMaxWidth = 520;

QString number(qint64 n)
{
    return QLocale::c().toString(n);
}

} // namespace

FindBar::FindBar(LogView *view)
    : QFrame(view->parentWidget()), m_view(view), m_search(this), m_ahead(this)
{
    setObjectName(QStringLiteral("findBar"));
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    m_pattern = new QLineEdit(this);
    m_pattern->setObjectName(QStringLiteral("findPattern"));
    m_pattern->setPlaceholderText(QStringLiteral("DE AD BE EF"));
    m_pattern->installEventFilter(this);
    m_mode = new QComboBox(this);
    m_mode->setObjectName(QStringLiteral("findMode"));
    m_mode->addItems({QStringLiteral("Hex"), QStringLiteral("Text")});
    m_mode->installEventFilter(this);
    m_status = new QLabel(this);
    m_note = new QLabel(this);
    auto *closeButton = new QToolButton(this);
    closeButton->setText(QStringLiteral("\u00D7"));
    closeButton->setToolTip(QStringLiteral("Close (Esc)"));
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(4, 2, 4, 2);
    row->addWidget(m_pattern, 1);
    row->addWidget(m_mode);
    row->addWidget(m_status);
    row->addWidget(m_note);
    row->addWidget(closeButton);
    connect(closeButton, &QToolButton::clicked, this, &FindBar::close);
    connect(&m_search, &LogSearch::matchesFound, this, &FindBar::takeMatches);
    connect(&m_search, &LogSearch::progressed, this, &FindBar::searchProgressed);
    connect(&m_ahead, &LogSearch::matchesFound, this, &FindBar::takeAheadMatches);
    connect(&m_follow, &QTimer::timeout, this, &FindBar::followText);
    m_follow.setInterval(kFollowMs);
    view->installEventFilter(this);
    hide();
}

void FindBar::open()
{
    show();
    place();
    raise();
    m_pattern->setFocus();
    m_pattern->selectAll();
}

void FindBar::close()
{
    m_search.cancel();
    m_ahead.cancel();
    m_early.reset();
    m_follow.stop();
    m_searched.clear();
    m_pending = 0;
    m_view->setMatchHighlight({});
    hide();
    m_view->setTopCover(0);
    m_view->setFocus();
}

void FindBar::restart()
{
    if (m_searched.isEmpty())
        return;
    m_searched.clear();
    searchTyped();
}

void FindBar::go(int direction)
{
    if (isHidden())
        open();
    if (m_searched != m_mode->currentText() + m_pattern->text() && !searchTyped())
        return;
    m_pending = direction;
    m_note->clear();
    step();
}

// Starts a search for what is typed; a bad pattern is said in the bar and searches nothing.
bool FindBar::searchTyped()
{
    const bool hex = m_mode->currentIndex() == 0;
    const BytePattern pattern =
        hex ? BytePattern::fromHex(m_pattern->text()) : BytePattern::fromText(m_pattern->text());
    m_search.cancel();
    m_ahead.cancel();
    m_early.reset();
    m_matches.clear();
    m_count = 0;
    m_current = -1;
    m_pending = 0;
    m_view->setMatchHighlight(pattern.isValid() ? pattern.bytes : QByteArray());
    if (!pattern.isValid()) {
        m_searched.clear();
        m_follow.stop();
        m_status->clear();
        m_note->setText(pattern.errorText);
        return false;
    }
    m_searched = m_mode->currentText() + m_pattern->text();
    m_bytes = pattern.bytes;
    std::shared_ptr<const LogTextReader> reader = m_view->storage().reader();
    m_readerSize = reader->size();
    m_search.start(pattern.bytes, std::move(reader));
    m_follow.start();
    showStatus();
    return true;
}

// Goes to the next or previous match from the current one (or from the caret), wrapping around
// once the search has seen the whole text.
void FindBar::step()
{
    const qint64 from = m_current >= 0 ? m_matches[size_t(m_current)].offset
                        : m_early      ? m_early->offset
                                       : m_view->selStart() - (m_pending > 0 ? 1 : 0);
    const auto after = std::upper_bound(
        m_matches.begin(), m_matches.end(), from,
        [](qint64 offset, const LogMatch &match) { return offset < match.offset; });
    if (m_pending > 0 && after != m_matches.end())
        return select(size_t(after - m_matches.begin()), {});
    const auto before = std::lower_bound(
        m_matches.begin(), m_matches.end(), from,
        [](const LogMatch &match, qint64 offset) { return match.offset < offset; });
    // A match before from is the previous one only once the search has looked that far.
    if (m_pending < 0 && before != m_matches.begin() && m_search.searchedTo() > from)
        return select(size_t(before - m_matches.begin()) - 1, {});
    if (m_pending > 0)
        lookAhead(from);
    if (!isComplete())
        return showStatus();
    if (m_matches.empty())
        m_pending = 0;
    else if (m_pending > 0)
        select(0, QStringLiteral("Wrapped to the top"));
    else
        select(m_matches.size() - 1, QStringLiteral("Wrapped to the bottom"));
    showStatus();
}

void FindBar::lookAhead(qint64 from)
{
    if (m_search.searchedTo() > from || (m_ahead.isRunning() && m_aheadFrom == from))
        return;
    m_aheadFrom = from;
    m_ahead.start(m_bytes, m_view->storage().reader(), from + 1);
}

void FindBar::takeAheadMatches(const std::vector<LogMatch> &matches)
{
    const auto next = std::find_if(matches.begin(), matches.end(), [this](const LogMatch &match) {
        return match.offset > m_aheadFrom;
    });
    if (m_pending <= 0 || next == matches.end())
        return;
    m_ahead.cancel();
    m_pending = 0;
    m_early = *next;
    m_view->setSelection(next->offset, next->length);
    showStatus();
}

void FindBar::select(size_t index, const QString &note)
{
    m_ahead.cancel();
    m_early.reset();
    m_pending = 0;
    m_current = qint64(index);
    m_view->setSelection(m_matches[index].offset, m_matches[index].length);
    m_note->setText(note);
    showStatus();
}

void FindBar::takeMatches(const std::vector<LogMatch> &matches)
{
    m_count += qint64(matches.size());
    for (const LogMatch &match : matches) {
        if (m_matches.size() >= KeptMatches)
            break;
        m_matches.push_back(match);
        if (m_early && match.offset == m_early->offset) {
            m_current = qint64(m_matches.size()) - 1;
            m_early.reset();
        }
    }
    if (m_pending != 0)
        step();
    showStatus();
}

void FindBar::searchProgressed()
{
    // The search from the top has caught up: the one ahead would only repeat it.
    if (m_ahead.isRunning() && m_search.searchedTo() > m_aheadFrom)
        m_ahead.cancel();
    // A Previous waits for the search to pass the caret, which may bring no match.
    if (m_pending != 0)
        step();
    showStatus();
}

// Text appended during a capture is searched as it comes.
void FindBar::followText()
{
    if (m_searched.isEmpty() || m_view->storage().size() <= m_readerSize)
        return;
    std::shared_ptr<const LogTextReader> reader = m_view->storage().reader();
    m_readerSize = reader->size();
    m_search.extend(std::move(reader));
}

bool FindBar::isComplete() const
{
    return !m_searched.isEmpty() && m_search.searchedTo() >= m_readerSize;
}

QString FindBar::statusText() const
{
    return m_status->text();
}

QString FindBar::noteText() const
{
    return m_note->text();
}

void FindBar::showStatus()
{
    QString status;
    if (m_current >= 0)
        status = QStringLiteral("match %1 of %2").arg(number(m_current + 1), number(m_count));
    else if (m_count == 1)
        status = QStringLiteral("1 match");
    else if (m_count > 0)
        status = QStringLiteral("%1 matches").arg(number(m_count));
    else if (isComplete())
        status = QStringLiteral("No matches");
    else if (!m_searched.isEmpty())
        status = QStringLiteral("Searching");
    m_status->setText(status);
}

bool FindBar::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_view && (event->type() == QEvent::Resize || event->type() == QEvent::Move))
        place();
    if ((watched != m_pattern && watched != m_mode) || event->type() != QEvent::KeyPress)
        return false;
    const auto *key = static_cast<QKeyEvent *>(event);
    if (key->key() == Qt::Key_Escape) {
        close();
        return true;
    }
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
        go(key->modifiers() & Qt::ShiftModifier ? -1 : +1);
        return true;
    }
    return false;
}

// Over the view's top right corner, clear of its scroll bar.
void FindBar::place()
{
    const QRect area = m_view->geometry();
    const int bar =
        m_view->verticalScrollBar()->isVisible() ? m_view->verticalScrollBar()->width() : 0;
    const int width = std::min(kMaxWidth, area.width() - bar - 4);
    setGeometry(area.right() - bar - 2 - width, area.top() + 2, width, sizeHint().height());
    // A match brought into view must not land under the bar.
    const QPoint bottom = m_view->viewport()->mapFrom(parentWidget(), geometry().bottomLeft());
    m_view->setTopCover(isVisible() ? bottom.y() + 1 : 0);
}
