#include "app/form1.h"
#include "app/logview/logview.h"
#include "app/toolkit/messagebox.h"
#include "logfile/journal.h"

#include <QCoreApplication>
#include <QLocale>
#include <QPointer>
#include <cstdlib>

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

void Form1::endSession()
{
    m_quiet = true;
    m_journal->syncNow();
    if (!m_ending) {
        m_ending = true;
        runExitSteps();
    }
    // Leaves every event loop, a modal box's included.
    QCoreApplication::exit(0);
}

namespace {

Form1 *s_liveForm = nullptr;
void (*s_saveLiveForm)(Form1 *) = nullptr;

void saveLiveFormAtExit()
{
    if (s_liveForm && s_saveLiveForm)
        s_saveLiveForm(s_liveForm);
}

} // namespace

void Form1::saveAtExit()
{
    // A lost display ends the program through exit(), past every close event.
    static const bool registered = std::atexit(saveLiveFormAtExit) == 0;
    Q_UNUSED(registered);
    s_liveForm = this;
    s_saveLiveForm = [](Form1 *form) { form->saveWithoutDisplay(); };
}

void Form1::forgetAtExit()
{
    if (s_liveForm == this)
        s_liveForm = nullptr;
}

void Form1::saveWithoutDisplay()
{
    forgetAtExit();
    if (m_ending || m_startRefused)
        return;
    // No widget may be touched now: the window system is gone.
    m_quiet = true;
    m_ending = true;
    MSComm1.setPortOpen(false);
    if (SaveFile(LogFileName) && m_journal->isEmpty())
        m_journal->discard();
    else
        m_journal->syncNow();
}
