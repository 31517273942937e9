#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <vector>

// What the log keeper must hold, as plainly as it can be said, and what each step does to it.
namespace KeeperModel {

enum class Op : int {
    Open,
    Append,
    Clear,
    Save,
    OtherAppends,
    OtherReplaces,
    OtherTruncates,
    FlushFails,
    FlushWorks,
    DiskFull,
    DiskFree,
    Exit,
};

// One step as the process that ran it reports it: what it did and what came of it.
struct Step
{
    Op op = Op::Open;
    qint64 size = 0;
    quint32 seed = 0;
    qint64 timeMs = 0;
    bool ok = true;       // Save: it succeeded
    qint64 unwritten = 0; // Append: what the disk has refused so far
};

struct Arrival
{
    qint64 offset = 0;
    qint64 timeMs = 0; // 0: unknown
};

struct Model
{
    QByteArray view;
    QByteArray log; // what log.txt holds
    bool logExists = false;
    // Where the text that only the journal holds starts in the view.
    qint64 unsavedFrom = 0;
    // A Clear since the last save: the view no longer starts with the log.
    bool cleared = false;
    // The view's last bytes that only memory holds (the disk refused them).
    qint64 unwritten = 0;
    // The view reads its start from the file log.txt was at the last load or save ...
    bool baseIsLog = false;
    // ... and another program cut that file short, to baseLeft bytes.
    bool baseCut = false;
    qint64 baseLeft = 0;
    // Another program wrote to log.txt since the keeper last loaded or saved it ...
    bool logTouched = false;
    // ... and a save kept that version aside already.
    bool logKept = false;
    bool flushFails = false;
    qint64 diskLimit = 0; // 0: none
    // A full disk split a chunk: its rest is journalled, and timed, with a later chunk.
    bool chunkSplit = false;
    std::vector<Arrival> arrivals;

    // When the byte at offset arrived: 0 when unknown.
    qint64 arrivalAt(qint64 offset) const;
    bool saveShouldSucceed() const;
    // A save keeps another program's version of log.txt before it replaces it.
    bool saveKeepsLog() const { return logTouched && logExists && !logKept; }
};

// What a save finds first: the text loses what another program cut from the file it reads.
void dropWhatWasCut(Model &model);

// The bytes another program writes, or a chunk received: made from the step alone.
QByteArray bytesOf(const Step &step);
// The model after the step; a save or an append takes its outcome from the step.
void apply(Model &model, const Step &step);
// What the next start shows after the process was killed with the model as it stands.
Model recoveredAfterKill(const Model &model);

} // namespace KeeperModel
