#include "form1.h"
#include "journal.h"
#include "logstore.h"
#include "numbers.h"

#include <QComboBox>

void Form1::Form_Load()
{
    LastBaudRate = Numbers::strictToInt32(Combo5->currentText()).value_or(9600);
    LastPortNumber = 1;
    LastDataBits = 8;
    LastParity = "None";
    LastStopBits = 1.0f;
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
