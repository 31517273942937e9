// The log on disk: log.txt loaded and saved, and the journal that keeps what is not saved yet.
#include "app/form1.h"
#include "app/logview/logview.h"
#include "app/toolkit/busypointer.h"
#include "app/toolkit/messagebox.h"
#include "logfile/disklogtext.h"
#include "logfile/journal.h"
#include "logfile/logstore.h"

#include <QFileInfo>
#include <QLocale>
#include <QPointer>
#include <optional>

bool Form1::OpenFile(const QString &fileName)
{
    LogStore::LoadResult loaded;
    {
        BusyPointer busy;
        loaded = LogStore::load(fileName);
        if (loaded.status == LogStore::LoadResult::Status::Loaded) {
            setWindowTitle(appTitle() + " - " + fileName.toUpper());
            m_savedIdentity = loaded.identity;
            m_savedSize = loaded.text->size();
            showLogText(std::move(loaded.text));
        } else {
            showLogText(LogStore::newText(fileName));
        }
    }
    switch (loaded.status) {
    case LogStore::LoadResult::Status::Loaded:
        return true;
    case LogStore::LoadResult::Status::Missing:
        return SaveFile(fileName);
    case LogStore::LoadResult::Status::Failed:
        // A log that could not be loaded is never emptied or overwritten: the first save
        // moves it aside.
        m_setAsideBeforeSave = QFileInfo(fileName).isFile();
        warn(loaded.errorText +
             (m_setAsideBeforeSave
                  ? "\r\nThe file is kept: the next save renames it to " + fileName +
                        ".bak, or the next free " + fileName + ".bak.N, first."
                  : QString()));
        return false;
    }
    return false;
}

void Form1::showLogText(std::unique_ptr<DiskLogText> text)
{
    // Without a file for it anywhere, the text stays in memory.
    if (!text)
        return;
    m_diskText = text.get();
    Text1->setStorage(std::move(text));
}

bool Form1::SaveFile(const QString &fileName)
{
    LogStore::SaveResult saved;
    QString backup;
    {
        std::optional<BusyPointer> busy;
        if (!m_quiet)
            busy.emplace();
        // Gone already (the user took it away himself): nothing is left to keep.
        if (m_setAsideBeforeSave && QFileInfo::exists(fileName)) {
            const LogStore::SetAsideResult moved = LogStore::setAside(fileName);
            saved = {moved.ok, moved.errorText};
            backup = moved.newName;
            m_savedSize = -1;
        }
        if (saved.ok) {
            m_setAsideBeforeSave = false;
            saved = writeLog(fileName);
        }
    }
    if (saved.ok) {
        noteSaved(fileName);
        startJournal();
        return true;
    }
    // The log is gone from its place: the user must learn where it went.
    if (!backup.isEmpty())
        saved.errorText += "\r\nThe log that could not be loaded is now " + backup + ".";
    if (saved.folderUnusable)
        saveRescueCopy(saved.errorText);
    warn(saved.errorText);
    return false;
}

LogStore::SaveResult Form1::writeLog(const QString &fileName)
{
    // A log still as this program left it takes only what was added since.
    if (m_savedSize >= 0 && m_savedIdentity) {
        LogStore::SaveResult appended =
            LogStore::appendTo(fileName, *m_savedIdentity, Text1->storage(), m_savedSize,
                               [this](const FileIdentity &log, qint64 newSize) {
                                   if (m_journalActive)
                                       m_journal->noteAppending(log, newSize);
                               });
        if (!appended.logChanged)
            return appended;
    }
    return LogStore::save(fileName, Text1->storage(), [this](const FileIdentity &file) {
        if (m_journalActive)
            m_journal->noteSaving(file);
    });
}

void Form1::noteSaved(const QString &fileName)
{
    // From now on the view reads the saved part from log.txt itself.
    m_savedIdentity =
        m_diskText ? LogStore::rebase(*m_diskText, fileName) : FileIdentity::ofPath(fileName);
    m_savedSize = m_savedIdentity ? Text1->length() : -1;
}

void Form1::saveRescueCopy(QString &errorText)
{
    // One rescue file per run, brought up to date by every save that fails the same way.
    if (m_rescueFile.isEmpty())
        m_rescueFile = LogStore::rescueFileName();
    const LogStore::SaveResult rescued = LogStore::save(m_rescueFile, Text1->storage());
    errorText += rescued.ok ? QString("\r\nWhat was captured is saved in " + m_rescueFile + ".")
                            : QString("\r\n" + rescued.errorText);
}

void Form1::warn(const QString &text)
{
    // Nobody is left to answer a box while the session or the display ends.
    if (!m_quiet)
        MessageBox::show(this, text, MessageBox::Warning, appTitle());
}

bool Form1::claimLogFolder()
{
    m_journal = std::make_unique<Journal>(LogFileName);
    const Journal::Claim claim = m_journal->claim();
    switch (claim.status) {
    case Journal::Claim::Status::Claimed:
        m_journal->setErrorHandler([this, self = QPointer<Form1>(this)](const QString &cause) {
            // Told once, on the window's own thread.
            QMetaObject::invokeMethod(this, [this, self, cause] {
                if (self && !m_journalWarned) {
                    m_journalWarned = true;
                    warn("Could not flush the recovery journal " + m_journal->dataPath() + ": " +
                         cause + "\r\nThe capture goes on; Stop saves it to " + LogFileName + ".");
                }
            });
        });
        return true;
    case Journal::Claim::Status::HeldByOther:
        m_startRefused = true;
        m_ending = true;
        warn(LogFileName + " in this folder is in use by another Tavrel (" +
             (claim.otherProgram.isEmpty() ? QString() : claim.otherProgram + ", ") + "process " +
             QString::number(claim.otherPid) +
             ").\r\nThis window closes without touching that log. To capture another port at the "
             "same time, start Tavrel in another folder.");
        return false;
    case Journal::Claim::Status::Unavailable:
        warn(claim.errorText + "\r\nWhat is captured reaches " + LogFileName + " at Stop only.");
        return true;
    }
    return true;
}

void Form1::recoverJournal(const JournalRecovery &recovery)
{
    m_journalActive = true;
    if (recovery.alreadySaved || !recovery.hasText()) {
        startJournal();
        return;
    }
    if (recovery.cleared) {
        Text1->setText(QByteArray());
        m_savedSize = -1;
    }
    // In pieces: a long capture comes back without being held in memory whole.
    constexpr qint64 kPiece = 16 << 20;
    const qint64 length = recovery.textEnd - recovery.textStart;
    Text1->setSelStart(Text1->length());
    for (qint64 at = 0; at < length; at += kPiece)
        Text1->setSelText(m_journal->recoveredText(recovery, at, kPiece));
    Text1->setSelStart(0);
    m_journal->resume(recovery);
    // The recovered text is on disk before anybody is asked anything.
    const bool saved = SaveFile(LogFileName);
    warn(QStringLiteral("Tavrel ended last time without saving. The %1 bytes it had added to the "
                        "log since its last save were recovered from %2")
             .arg(QLocale::c().toString(qlonglong(length)), m_journal->dataPath()) +
         (saved ? QString(" and saved to " + LogFileName + ".")
                : QString("; they stay there until " + LogFileName + " can be saved.")));
}

void Form1::startJournal()
{
    if (m_journalActive)
        m_journal->start(m_savedIdentity);
}
