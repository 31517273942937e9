// Start-up after a run that was killed with a large unsaved capture: what recovery adds.
#include "app/form1.h"
#include "app/logview/logview.h"
#include "logfile/journal.h"
#include "tavrel_bench.h"

#include <QFile>
#include <QFileInfo>
#include <cstdio>

namespace Bench {

namespace {

// The journal a killed run leaves after capturing this much text onto the log.
bool leaveJournal(const QString &directory, qint64 bytes)
{
    const QString log = directory + "/log.txt";
    Journal journal(log);
    if (journal.claim().status != Journal::Claim::Status::Claimed)
        return false;
    journal.start(FileIdentity::ofPath(log));
    QByteArray chunk;
    if (!writeLog(directory + "/chunk", 1 << 20))
        return false;
    QFile file(directory + "/chunk");
    if (!file.open(QIODevice::ReadOnly))
        return false;
    chunk = file.readAll();
    file.remove();
    for (qint64 done = 0; done < bytes; done += chunk.size())
        journal.append(QByteArrayView(chunk).first(qMin<qint64>(chunk.size(), bytes - done)));
    return journal.syncNow();
}

qint64 startUpNs(const QString &directory, qint64 *viewBytes)
{
    Window window(directory);
    const qint64 before = nowNs();
    window.open();
    const qint64 took = nowNs() - before;
    *viewBytes = window.form().Text1->length();
    window.form().Command4_Click();
    return took;
}

} // namespace

void runRecovery(const Options &options, Report &report, const QString &directory)
{
    const qint64 captured = options.recoveryMb * 1000000;
    if (!writeLog(directory + "/log.txt", 1000000)) {
        std::printf("Could not write a log in %s\n", qPrintable(directory));
        return;
    }
    qint64 normalBytes = 0;
    const double normal = startUpNs(directory, &normalBytes) / 1e6;
    if (!leaveJournal(directory, captured)) {
        std::printf("Could not write a journal in %s\n", qPrintable(directory));
        return;
    }
    qint64 recoveredBytes = 0;
    const double recovering = startUpNs(directory, &recoveredBytes) / 1e6;
    const double extra = recovering - normal;
    report.addRow("recovery at start-up after " + QByteArray::number(options.recoveryMb) +
                      " MB captured and not saved: time added to a start",
                  number(extra, "ms", 0), "<= 1000 ms",
                  extra <= 1000 && recoveredBytes == normalBytes + captured);
    report.addNote("a normal start / a start that recovers, until a key press is handled",
                   number(normal, "ms", 0) + " / " + number(recovering, "ms", 0));
    report.addNote("the disk alone: writing and flushing that much text once",
                   number(diskWriteMs(directory, captured), "ms", 0));
}

} // namespace Bench
