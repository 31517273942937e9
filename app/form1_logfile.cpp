// The log on disk as the user sees it: the caption, the busy pointer and the messages around
// what the log keeper does.
#include "app/findbar.h"
#include "app/form1.h"
#include "app/logview/logview.h"
#include "app/toolkit/busypointer.h"
#include "app/toolkit/messagebox.h"
#include "logfile/logkeeper.h"

#include <QLocale>
#include <QPointer>
#include <QTimer>
#include <optional>
#include <utility>

bool Form1::OpenFile(const QString &fileName)
{
    LogKeeper::Opened opened;
    {
        BusyPointer busy;
        opened = m_keeper->open();
        if (opened.status == LogStore::LoadResult::Status::Loaded)
            setWindowTitle(appTitle() + " - " + fileName.toUpper());
        Text1->observe(*m_keeper);
    }
    // A journal set aside with a recovery is told of in the recovery's message.
    if (opened.recoveredBytes < 0 &&
        (!opened.journalSetAside.isEmpty() || !opened.journalSetAsideError.isEmpty()))
        warnJournalSetAside(opened);
    bool ok = true;
    switch (opened.status) {
    case LogStore::LoadResult::Status::Loaded:
        break;
    case LogStore::LoadResult::Status::Missing:
        ok = SaveFile(fileName);
        break;
    case LogStore::LoadResult::Status::Failed:
        // A log that could not be loaded is never emptied or overwritten: the first save
        // moves it aside.
        warn(opened.errorText +
             (opened.willSetAside
                  ? "\r\nThe file is kept: the next save renames it to " + fileName +
                        ".bak, or the next free " + fileName + ".bak.N, first."
                  : QString()));
        ok = false;
        break;
    }
    // Told once the window shows the recovered text; a capture started from the command line
    // does not wait for the answer.
    if (opened.recoveredBytes >= 0)
        QTimer::singleShot(0, this, [this, opened] { reportRecovery(opened); });
    return ok;
}

bool Form1::SaveFile(const QString &fileName)
{
    Q_UNUSED(fileName); // the keeper saves the log it was made for, LogFileName
    const LogKeeper::Saved saved = saveLog();
    if (!saved.ok)
        warn(failedSaveText(saved));
    else if (!saved.changedLogKeptAs.isEmpty() || saved.cutBytes > 0)
        warn(changedLogText(saved));
    return saved.ok;
}

LogKeeper::Saved Form1::saveLog()
{
    std::optional<BusyPointer> busy;
    if (!m_quiet)
        busy.emplace();
    LogKeeper::Saved saved = m_keeper->save();
    // The text is read from other files now: a search reads it afresh.
    if (m_findBar)
        m_findBar->restart();
    // The text lost what another program cut from the log: the view shows what is left.
    if (saved.cutBytes > 0 && !m_quiet) {
        Text1->observe(*m_keeper);
        Text1->setSelStart(Text1->length());
    }
    return saved;
}

QString Form1::changedLogText(const LogKeeper::Saved &saved) const
{
    QStringList lines;
    if (saved.cutBytes > 0)
        lines << QStringLiteral("Another program cut %1 bytes off %2 after Tavrel had loaded "
                                "it; they are gone from the log.")
                     .arg(QLocale::c().toString(saved.cutBytes), LogFileName);
    if (!saved.changedLogKeptAs.isEmpty())
        lines << LogFileName + " had been changed by another program; that version is kept as " +
                     saved.changedLogKeptAs +
                     (saved.ok ? QString(".") : ", and " + LogFileName + " is left as it was.");
    return lines.join("\r\n");
}

QString Form1::failedSaveText(const LogKeeper::Saved &saved) const
{
    QString text = saved.errorText;
    // The log is gone from its place: the user must learn where it went.
    if (!saved.setAsideAs.isEmpty())
        text += "\r\nThe log that could not be loaded is now " + saved.setAsideAs + ".";
    if (!saved.rescueFile.isEmpty())
        text += "\r\nWhat was captured is saved in " + saved.rescueFile + ".";
    else if (!saved.rescueError.isEmpty())
        text += "\r\n" + saved.rescueError;
    const QString changed = changedLogText(saved);
    return changed.isEmpty() ? text : text + "\r\n" + changed;
}

bool Form1::journalHoldsUnsavedText() const
{
    return m_keeper->journal().isFindable() && m_keeper->unwrittenBytes() == 0;
}

void Form1::warn(const QString &text)
{
    const QString note = std::exchange(m_journalNote, {});
    // Nobody is left to answer a box while the session or the display ends.
    if (!m_quiet)
        MessageBox::show(this, note.isEmpty() ? text : text + "\r\n" + note, MessageBox::Warning,
                         appTitle());
}

void Form1::warnJournalUnavailable()
{
    if (!m_journalNote.isEmpty())
        warn(std::exchange(m_journalNote, {}));
}

bool Form1::claimLogFolder()
{
    m_keeper = std::make_unique<LogKeeper>(LogFileName);
    const Journal::Claim claim = m_keeper->claim();
    switch (claim.status) {
    case Journal::Claim::Status::Claimed:
        m_keeper->journal().setErrorHandler(
            [this, self = QPointer<Form1>(this)](const QString &cause) {
                // Told once, on the window's own thread.
                QMetaObject::invokeMethod(this, [this, self, cause] {
                    if (self && !m_journalWarned) {
                        m_journalWarned = true;
                        warn("Could not flush the recovery journal " +
                             m_keeper->journal().dataPath() + ": " + cause +
                             "\r\nThe capture goes on; Stop saves it to " + LogFileName + ".");
                    }
                });
            });
        return true;
    case Journal::Claim::Status::HeldByOther:
        m_startRefused = true;
        m_ending = true;
        warn(logNameForUser() + " is in use by another Tavrel (" +
             (claim.otherProgram.isEmpty() ? QString() : claim.otherProgram + ", ") + "process " +
             QString::number(claim.otherPid) +
             ").\r\nThis window closes without touching that log. To capture another port at the "
             "same time, start Tavrel in another folder.");
        return false;
    case Journal::Claim::Status::Unavailable:
        // Joined to the start-up's own warning, if it has one: one box says all.
        m_journalNote =
            claim.errorText +
            "\r\nWhat is captured reaches the disk only when it is saved, at Stop or Exit.";
        return true;
    }
    return true;
}

QString Form1::logNameForUser() const
{
    // A link names the file it stands for, wherever that is.
    const QString real = LogStore::realName(LogFileName);
    if (real == LogFileName)
        return LogFileName + " in this folder";
    return LogFileName + " (" + real + ")";
}

void Form1::reportRecovery(const LogKeeper::Opened &opened)
{
    const Journal &journal = m_keeper->journal();
    const QLocale numbers = QLocale::c();
    const QString bytes = numbers.toString(qlonglong(opened.recoveredBytes));
    // Saved already when OpenFile had to create log.txt; else it waits for the next save.
    const bool saved = journal.isEmpty();
    QString text;
    if (!opened.recoveredClear) {
        text = QStringLiteral("Tavrel ended last time without saving. The %1 bytes it had added "
                              "to the log since its last save were recovered from %2")
                   .arg(bytes, journal.dataPath()) +
               (saved ? QString(" and saved to " + LogFileName + ".")
                      : QString("; they are safe there and are written to " + LogFileName +
                                " at the next save."));
    } else if (opened.recoveredBytes > 0) {
        // The Clear is recovered too: the user must know the old log goes at the next save.
        text = QStringLiteral("Tavrel ended last time without saving, after the log had been "
                              "cleared. The %1 bytes received since were recovered from %2")
                   .arg(bytes, journal.dataPath()) +
               (saved ? QString(" and saved as " + LogFileName + ".")
                      : QString("; the next save replaces " + LogFileName + " with them."));
    } else {
        text = "Tavrel ended last time without saving, after the log had been cleared; " +
               (saved ? QString(LogFileName + " is now empty.")
                      : QString("the next save empties " + LogFileName + "."));
    }
    // What could not be checked is not shown, and the user learns where it is kept.
    if (!opened.journalSetAside.isEmpty())
        text +=
            QStringLiteral("\r\nWhat followed them in the journal could not be checked (%1 "
                           "bytes of text) and is kept in %2.")
                .arg(numbers.toString(qlonglong(opened.uncheckedBytes)), opened.journalSetAside);
    else if (!opened.journalSetAsideError.isEmpty())
        text += "\r\nWhat followed them in the journal could not be checked, nor kept: " +
                opened.journalSetAsideError;
    warn(text);
}

void Form1::warnJournalSetAside(const LogKeeper::Opened &opened)
{
    warn("The recovery journal " + m_keeper->journal().dataPath() +
         " was left by a run that ended without saving, but could not be read" +
         (opened.journalSetAside.isEmpty()
              ? QString(", nor copied aside: ") + opened.journalSetAsideError
              : QString(". It is kept as " + opened.journalSetAside + ".")));
}
