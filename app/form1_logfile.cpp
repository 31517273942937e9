#include "busypointer.h"
#include "form1.h"
#include "logstore.h"
#include "logview.h"
#include "messagebox.h"

#include <QFileInfo>

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
        // A log that could not be loaded is never emptied or overwritten: the first save
        // moves it aside.
        m_setAsideBeforeSave = QFileInfo(fileName).isFile();
        MessageBox::show(this,
                         loaded.errorText +
                             (m_setAsideBeforeSave
                                  ? "\r\nThe file is kept: the next save renames it to " +
                                        fileName + ".bak, or the next free " + fileName +
                                        ".bak.N, first."
                                  : QString()),
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
        // Gone already (the user took it away himself): nothing is left to keep.
        if (m_setAsideBeforeSave && QFileInfo::exists(fileName)) {
            const LogStore::SetAsideResult moved = LogStore::setAside(fileName);
            saved = {moved.ok, moved.errorText};
        }
        if (saved.ok) {
            m_setAsideBeforeSave = false;
            saved = LogStore::save(fileName, Text1->storage());
        }
    }
    if (!saved.ok)
        MessageBox::show(this, saved.errorText, MessageBox::Warning, appTitle());
    return saved.ok;
}
