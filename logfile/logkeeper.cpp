#include "logfile/logkeeper.h"
#include "logfile/fileio.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// The journal and the times live beside the file the log really is, so that a link to it from
// another folder finds them taken; a link into a folder not made yet keeps them here.
QString companionsName(const QString &logFileName)
{
    const QString real = LogStore::realName(logFileName);
    return QFileInfo(real).dir().exists() ? real : logFileName;
}

} // namespace

LogKeeper::LogKeeper(const QString &logFileName)
    : m_fileName(logFileName), m_journal(companionsName(logFileName)),
      m_times(companionsName(logFileName)), m_text(std::make_unique<DiskLogText>(-1, 0, -1, 0))
{
}

LogKeeper::~LogKeeper()
{
    close();
}

void LogKeeper::close()
{
    if (m_journal.isEmpty())
        m_journal.discard();
    else
        m_journal.syncNow();
}

Journal::Claim LogKeeper::claim()
{
    return m_journal.claim();
}

LogKeeper::Opened LogKeeper::open()
{
    Opened opened;
    Journal::Recovery recovery;
    if (m_journal.isOpen()) {
        recovery = m_journal.recover(FileIdentity::ofPath(m_fileName));
        if (recovery.unreadable) {
            setJournalAside(opened);
            recovery = {};
        } else {
            if (recovery.hasUnchecked() && recovery.hasText() && !recovery.alreadySaved) {
                setJournalAside(opened);
                opened.uncheckedBytes = recovery.uncheckedBytes;
            }
            settleUnfinishedAppend(recovery);
        }
    }
    LogStore::LoadResult loaded = LogStore::load(m_fileName);
    if (loaded.status == LogStore::LoadResult::Status::Loaded)
        m_lastSeenLog = loaded.identity;
    opened.status = loaded.status;
    opened.errorText = loaded.errorText;
    if (loaded.status == LogStore::LoadResult::Status::Failed) {
        m_setAsideBeforeSave = QFileInfo(m_fileName).isFile();
        opened.willSetAside = m_setAsideBeforeSave;
    }
    const bool recovering = recovery.hasText() && !recovery.alreadySaved;
    const bool hasBase =
        loaded.status == LogStore::LoadResult::Status::Loaded && !(recovering && recovery.cleared);
    const qint64 baseSize = hasBase ? loaded.identity.size : 0;
    if (hasBase) {
        m_savedIdentity = loaded.identity;
        m_savedSize = baseSize;
    }
    m_times.open(hasBase ? std::optional(loaded.identity) : std::nullopt, baseSize);
    showText(hasBase ? loaded.file.fd() : -1, baseSize, recovering ? &recovery : nullptr);
    if (recovering) {
        m_journal.resume(recovery);
        m_journal.forEachPiece(
            recovery, [&](qint64 at, qint64 timeMs) { m_times.add(baseSize + at, timeMs); });
        opened.recoveredBytes = recovery.textEnd - recovery.textStart;
        opened.recoveredClear = recovery.cleared;
    } else {
        m_journal.start(m_savedIdentity);
    }
    return opened;
}

void LogKeeper::settleUnfinishedAppend(Journal::Recovery &recovery)
{
    if (recovery.appendingFrom < 0)
        return;
    const std::optional<FileIdentity> log = FileIdentity::ofPath(m_fileName);
    const qint64 reached = log ? log->size - recovery.appendingFrom : -1;
    const qint64 journaled = recovery.textEnd - recovery.textStart;
    // What the journal holds must be what reached the log; past it (text that only memory held,
    // the journal's disk being full) nothing can be told from another program's text.
    if (reached <= 0 ||
        !logContinuesWith(recovery, recovery.appendingFrom, std::min(reached, journaled)))
        return;
    if (log->size == recovery.appendingTo)
        recovery.alreadySaved = true;
    else if (reached <= journaled) // part reached the log: it comes back whole from the journal
        LogStore::cutBack(m_fileName, recovery.appendingFrom);
}

bool LogKeeper::logContinuesWith(const Journal::Recovery &recovery, qint64 from, qint64 count) const
{
    QFile log(m_fileName);
    if (!log.open(QIODevice::ReadOnly) || !log.seek(from))
        return false;
    constexpr qint64 kPiece = qint64(1) << 20;
    for (qint64 done = 0; done < count; done += kPiece) {
        const qint64 want = std::min(kPiece, count - done);
        const QByteArray text = m_journal.recoveredText(recovery, done, want);
        if (text.size() != want || log.read(want) != text)
            return false;
    }
    return true;
}

void LogKeeper::showText(int baseFd, qint64 baseSize, const Journal::Recovery *recovered)
{
    if (m_journal.isOpen()) {
        const qint64 start = recovered ? recovered->textStart : 0;
        const qint64 length = recovered ? recovered->textEnd - recovered->textStart : 0;
        m_text = std::make_unique<DiskLogText>(baseFd, baseSize, m_journal.dataFd(), start, length);
        return;
    }
    // No journal: the text keeps what arrives in a file of its own, or in memory at the last.
    for (const QString &folder : {QFileInfo(m_fileName).path(), QDir::tempPath()}) {
        if (auto text = DiskLogText::create(folder, baseFd, baseSize)) {
            m_text = std::move(text);
            return;
        }
    }
    m_text = std::make_unique<DiskLogText>(baseFd, baseSize, -1, 0);
}

void LogKeeper::setJournalAside(Opened &opened)
{
    opened.journalSetAside = m_journal.setAside().join(QStringLiteral(", "));
    if (!m_journal.errorText().isEmpty())
        opened.journalSetAsideError = m_journal.errorText();
}

qint64 LogKeeper::size() const
{
    return m_text->size();
}

qint64 LogKeeper::read(qint64 position, char *data, qint64 count) const
{
    return m_text->read(position, data, count);
}

qint64 LogKeeper::copyTo(int fd, qint64 position, qint64 count, qint64 fdOffset, int *error) const
{
    return m_text->copyTo(fd, position, count, fdOffset, error);
}

void LogKeeper::append(QByteArrayView bytes)
{
    append(bytes, QDateTime::currentMSecsSinceEpoch());
}

void LogKeeper::append(QByteArrayView bytes, qint64 timeMs)
{
    if (bytes.isEmpty())
        return;
    m_journal.awaitEmptyDataFile();
    const qint64 offset = m_text->size();
    const qint64 before = m_text->tailEnd();
    const bool nothingWaiting = m_text->unwrittenSize() == 0;
    m_text->append(bytes);
    m_times.add(offset, timeMs);
    // The journal records what reached its data file, and only that.
    const qint64 written = m_text->tailEnd() - before;
    if (written <= 0 || !m_journal.isOpen())
        return;
    if (nothingWaiting && written == bytes.size()) {
        m_journal.noteAppended(before, bytes, timeMs);
        return;
    }
    QByteArray reached(qsizetype(written), Qt::Uninitialized);
    reached.truncate(
        qsizetype(FileIo::readAt(m_journal.dataFd(), reached.data(), written, before)));
    m_journal.noteAppended(before, reached, timeMs);
}

void LogKeeper::replace(QByteArray text)
{
    clear();
    append(text);
}

void LogKeeper::clear()
{
    if (m_journal.isOpen()) {
        m_journal.clear();
        m_text->restartAt(m_text->tailEnd());
    } else {
        m_text->replace({});
    }
    m_times.clear();
    // log.txt still holds the old text: the next save writes it whole.
    m_savedSize = -1;
}

LogKeeper::Saved LogKeeper::save()
{
    Saved saved;
    LogStore::SaveResult result;
    // Gone already (the user took it away himself): nothing is left to keep.
    if (m_setAsideBeforeSave && QFileInfo::exists(m_fileName)) {
        const LogStore::SetAsideResult moved = LogStore::setAside(m_fileName);
        result = {moved.ok, moved.errorText};
        saved.setAsideAs = moved.newName;
        m_savedSize = -1;
    }
    if (result.ok) {
        m_setAsideBeforeSave = false;
        saved.cutBytes = dropWhatWasCut();
        result = keepChangedLog(saved);
    }
    if (result.ok)
        result = writeLog();
    saved.ok = result.ok;
    saved.errorText = result.errorText;
    saved.folderUnusable = result.folderUnusable;
    if (saved.ok)
        noteSaved();
    else if (saved.folderUnusable && size() > 0) // an empty log has nothing to rescue
        saveRescueCopy(saved);
    return saved;
}

LogStore::SaveResult LogKeeper::writeLog()
{
    // A log still as this program left it takes only what was added since.
    if (m_savedSize >= 0 && m_savedIdentity) {
        LogStore::SaveResult appended =
            LogStore::appendTo(m_fileName, *m_savedIdentity, *this, m_savedSize,
                               [this](const FileIdentity &log, qint64 newSize) {
                                   m_journal.noteAppending(log, newSize);
                               });
        if (!appended.ok && !appended.logChanged)
            noteCutBack();
        if (!appended.logChanged)
            return appended;
    }
    return LogStore::save(m_fileName, *this,
                          [this](const FileIdentity &file) { m_journal.noteSaving(file); });
}

void LogKeeper::noteCutBack()
{
    // The failed append left the log at its old length, with a new time: still this program's.
    const std::optional<FileIdentity> log = FileIdentity::ofPath(m_fileName);
    if (log && m_savedIdentity && log->sameFile(*m_savedIdentity) && log->size == m_savedSize)
        m_savedIdentity = m_lastSeenLog = log;
}

qint64 LogKeeper::dropWhatWasCut()
{
    const qint64 lost = m_text->cutBaseToFile();
    if (lost > 0) {
        // The times were taken for offsets that moved.
        m_times.clear();
        m_savedSize = -1;
    }
    return lost;
}

LogStore::SaveResult LogKeeper::keepChangedLog(Saved &saved)
{
    const std::optional<FileIdentity> log = FileIdentity::ofPath(m_fileName);
    // Another program's version of the log is never replaced unseen; each version once.
    if (!log || log == m_lastSeenLog || log == m_keptLog)
        return {};
    const LogStore::SetAsideResult kept = LogStore::keepCopy(m_fileName);
    if (!kept.ok)
        return {false, kept.errorText};
    m_keptLog = log;
    saved.changedLogKeptAs = kept.newName;
    return {};
}

void LogKeeper::noteSaved()
{
    std::optional<LogStore::Reopened> log = LogStore::reopen(m_fileName, size());
    m_lastSeenLog = log ? std::optional(log->identity) : std::nullopt;
    if (!log) {
        // Another program wrote to it since: the text stays where it is, the next save writes
        // it whole.
        m_savedIdentity.reset();
        m_savedSize = -1;
        return;
    }
    // From now on the text reads the saved part from log.txt, and the journal starts afresh.
    m_text->rebase(log->file.fd(), log->identity.size);
    m_savedIdentity = log->identity;
    m_savedSize = log->identity.size;
    m_times.seal(log->identity);
    m_journal.start(m_savedIdentity);
}

void LogKeeper::saveRescueCopy(Saved &saved)
{
    // One rescue file per run, brought up to date by every save that fails the same way; the
    // next place is tried when it cannot be written.
    QStringList places = LogStore::rescueFileNames();
    if (!m_rescueFile.isEmpty())
        places.prepend(m_rescueFile);
    for (const QString &place : places) {
        const LogStore::SaveResult rescued = LogStore::save(place, *this);
        if (rescued.ok) {
            m_rescueFile = saved.rescueFile = place;
            saved.rescueError.clear();
            return;
        }
        saved.rescueError += (saved.rescueError.isEmpty() ? "" : "\r\n") + rescued.errorText;
    }
    if (places.isEmpty())
        saved.rescueError = QStringLiteral("No folder for a rescue copy could be made.");
}

QString LogKeeper::unsavedTextPath() const
{
    return m_journal.isOpen() ? m_journal.dataPath() : QFileInfo(m_fileName).absolutePath();
}

qint64 LogKeeper::arrivalMs(qint64 offset) const
{
    if (offset < 0 || offset >= size())
        return LogTimes::Unknown;
    return m_times.arrivalMs(offset);
}
