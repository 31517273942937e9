// Copy with Times and Export: the log, or the selection, with when each chunk arrived.
#include "app/form1.h"
#include "app/keepertimes.h"
#include "app/logview/logview.h"
#include "app/timedcopy.h"
#include "app/toolkit/messagebox.h"
#include "logfile/logexport.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QMenu>
#include <QProgressDialog>

void Form1::createExportMenuItems()
{
    mnuFileCopyWithTimes = new QAction("Copy with Times", mnuFile);
    mnuFileExport = new QAction("Export...", mnuFile);
    mnuFile->insertActions(mnuFileExit, {mnuFileCopyWithTimes, mnuFileExport});
    mnuFile->insertSeparator(mnuFileExit);
    connect(mnuFileCopyWithTimes, &QAction::triggered, this, &Form1::mnuFileCopyWithTimes_Click);
    connect(mnuFileExport, &QAction::triggered, this, &Form1::mnuFileExport_Click);
}

void Form1::mnuFileCopyWithTimes_Click()
{
    if (!m_keeperTimes || Text1->selLength() == 0)
        return;
    // One line per chunk holds more than the text alone: the view's copy limit, halved.
    const qint64 count = std::min(Text1->selLength(), LogView::CopyLimit / 2);
    QApplication::clipboard()->setText(
        TimedCopy::lines(*m_keeper, *m_keeperTimes, Text1->selStart(), Text1->selStart() + count));
    if (count < Text1->selLength())
        MessageBox::show(this,
                         QString("Only the first %1 bytes of the selection were copied; it holds "
                                 "%2 bytes. Export writes any length.")
                             .arg(count)
                             .arg(Text1->selLength()),
                         MessageBox::Information, appTitle());
}

void Form1::mnuFileExport_Click()
{
    const bool selection = Text1->selLength() > 0;
    const QString csv = "CSV, a row per received chunk (*.csv)";
    QString filter = csv;
    const QString target = QFileDialog::getSaveFileName(
        this, selection ? "Export the Selection" : "Export the Log",
        QDir::current().filePath(selection ? "selection.csv" : "log.csv"),
        csv + ";;Received bytes (*.bin)", &filter);
    if (!target.isEmpty())
        exportTo(filter == csv ? LogExport::Format::Csv : LogExport::Format::Binary, target);
}

bool Form1::exportTo(LogExport::Format format, const QString &target)
{
    if (LogExport::isLogsOwnFile(target, LogFileName)) {
        warn("Will not write over " + target +
             ": it is the log or one of the files kept "
             "beside it.");
        return false;
    }
    const bool selection = Text1->selLength() > 0;
    const qint64 from = selection ? Text1->selStart() : 0;
    const qint64 to = selection ? from + Text1->selLength() : m_keeper->size();
    QProgressDialog progress("Exporting to " + target + "...", "Cancel", 0, 1000, this);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    const LogExport::Result result = LogExport::write(
        format, *m_keeper, &m_keeper->times(), from, to, target, [&](qint64 done, qint64 total) {
            progress.setValue(total > 0 ? int(done * 1000 / total) : 0);
            QCoreApplication::processEvents();
            return !progress.wasCanceled();
        });
    if (!result.ok && !result.cancelled)
        warn(result.errorText);
    return result.ok;
}
