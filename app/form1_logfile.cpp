#include "busypointer.h"
#include "form1.h"
#include "logstore.h"
#include "logview.h"
#include "messagebox.h"

bool Form1::OpenFile(const QString &fileName)
{
    LogStore::LoadResult loaded;
    {
        BusyPointer busy;
        loaded = LogStore::load(fileName);
        if (loaded.status == LogStore::LoadResult::Status::Loaded) {
            setWindowTitle(appTitle() + " - " + fileName.toUpper());
            Text1->setText(std::move(loaded.bytes));
        }
    }
    switch (loaded.status) {
    case LogStore::LoadResult::Status::Loaded:
        return true;
    case LogStore::LoadResult::Status::Missing:
        return SaveFile(fileName);
    case LogStore::LoadResult::Status::Failed:
        // The file is left as it is: an unreadable log must not be emptied at start-up.
        MessageBox::show(this,
                         loaded.errorText +
                             "\r\nThe file is kept as it is until the next save (Stop or "
                             "Exit) replaces it with the log view.",
                         MessageBox::Warning, appTitle());
        return false;
    }
    return false;
}

bool Form1::SaveFile(const QString &fileName)
{
    LogStore::SaveResult saved;
    {
        BusyPointer busy;
        saved = LogStore::save(fileName, Text1->textPieces());
    }
    if (!saved.ok)
        MessageBox::show(this, saved.errorText, MessageBox::Warning, appTitle());
    return saved.ok;
}
