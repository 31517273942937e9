#include "app/form1.h"
#include "logfile/journal.h"
#include "logfile/logstore.h"
#include "settings/choices.h"
#include "settings/numbers.h"

#include <QComboBox>

void Form1::Form_Load()
{
    LastBaudRate = Numbers::strictToInt32(Combo5->currentText()).value_or(Choices::kStartBaudRate);
    LastPortNumber = Choices::kStartPortNumber;
    LastDataBits = Choices::kStartDataBits;
    LastParity = Choices::kStartParity;
    LastStopBits = Choices::kStartStopBits;
    ColumnCount = 1;
    LogFileName = "log.txt";
    if (!claimLogFolder())
        return;
    const Journal::Recovery recovery = m_journal->recover(FileIdentity::ofPath(LogFileName));
    if (recovery.cutLogTo >= 0)
        LogStore::cutBack(LogFileName, recovery.cutLogTo);
    OpenFile(LogFileName);
    recoverJournal(recovery);
}
