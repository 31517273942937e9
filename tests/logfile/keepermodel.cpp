#include "keepermodel.h"

#include <QByteArray>
#include <QRandomGenerator>

namespace KeeperModel {

qint64 Model::arrivalAt(qint64 offset) const
{
    qint64 time = 0;
    for (const Arrival &arrival : arrivals) {
        if (arrival.offset > offset)
            break;
        time = arrival.timeMs;
    }
    return time;
}

bool Model::saveShouldSucceed() const
{
    // Only what is new goes onto a log that nobody else touched; else the whole text.
    const bool inPlace = logExists && baseIsLog && !cleared && !logTouched;
    const qint64 written = inPlace ? view.size() - unsavedFrom : view.size();
    const bool fits = diskLimit == 0 || written == 0 || view.size() <= diskLimit;
    return !flushFails && fits;
}

void dropWhatWasCut(Model &model)
{
    if (!model.baseCut)
        return;
    const qint64 lost = model.unsavedFrom - model.baseLeft;
    model.view = model.view.left(model.baseLeft).append(model.view.mid(model.unsavedFrom));
    // Times may be forgotten, never moved onto other bytes.
    std::vector<Arrival> arrivals;
    for (const Arrival &arrival : model.arrivals) {
        if (arrival.offset < model.baseLeft)
            arrivals.push_back(arrival);
        else if (arrival.offset >= model.unsavedFrom)
            arrivals.push_back({arrival.offset - lost, arrival.timeMs});
    }
    if (arrivals.empty() || arrivals.back().offset < model.baseLeft)
        arrivals.push_back({model.baseLeft, 0});
    model.arrivals = arrivals;
    model.unsavedFrom = model.baseLeft;
    model.baseCut = false;
}

QByteArray bytesOf(const Step &step)
{
    QRandomGenerator random(step.seed);
    QByteArray bytes(qsizetype(step.size), Qt::Uninitialized);
    // Hex items and line breaks, as the capture writes them, and any other byte.
    static const char kAlphabet[] = "0123456789ABCDEF \r\n\x80\xff";
    for (char &byte : bytes)
        byte = kAlphabet[random.bounded(int(sizeof kAlphabet) - 1)];
    return bytes;
}

void apply(Model &model, const Step &step)
{
    switch (step.op) {
    case Op::Open:
    case Op::Exit:
        break;
    case Op::Append:
        model.arrivals.push_back({model.view.size(), step.timeMs});
        model.view += bytesOf(step);
        model.unwritten = step.unwritten;
        model.chunkSplit = model.chunkSplit || step.unwritten > 0;
        break;
    case Op::Clear:
        model.view.clear();
        model.unsavedFrom = 0;
        model.cleared = true;
        model.unwritten = 0;
        model.baseCut = false;
        model.arrivals.clear();
        break;
    case Op::Save:
        dropWhatWasCut(model);
        model.logKept = model.logKept || model.saveKeepsLog();
        if (!step.ok)
            break;
        model.log = model.view;
        model.logExists = true;
        model.unsavedFrom = model.view.size();
        model.cleared = false;
        model.unwritten = 0;
        model.baseIsLog = true;
        model.baseCut = false;
        model.logTouched = false;
        model.logKept = false;
        break;
    case Op::OtherAppends:
        model.logTouched = true;
        model.logKept = false;
        model.log += bytesOf(step);
        model.logExists = true;
        break;
    case Op::OtherReplaces:
        model.logTouched = true;
        model.logKept = false;
        model.log = bytesOf(step);
        model.logExists = true;
        model.baseIsLog = false;
        break;
    case Op::OtherTruncates:
        model.logTouched = true;
        model.logKept = false;
        model.log.truncate(qsizetype(step.size));
        if (model.baseIsLog && !model.cleared && step.size < model.unsavedFrom) {
            model.baseLeft = model.baseCut ? std::min(model.baseLeft, step.size) : step.size;
            model.baseCut = true;
        }
        break;
    case Op::FlushFails:
    case Op::FlushWorks:
        model.flushFails = step.op == Op::FlushFails;
        break;
    case Op::DiskFull:
        model.diskLimit = step.size;
        break;
    case Op::DiskFree:
        model.diskLimit = 0;
        break;
    }
}

Model recoveredAfterKill(const Model &model)
{
    const qint64 journalLength = model.view.size() - model.unsavedFrom - model.unwritten;
    const QByteArray journal = model.view.mid(model.unsavedFrom, journalLength);
    Model next;
    next.log = model.log;
    next.logExists = model.logExists;
    next.cleared = model.cleared;
    next.unsavedFrom = model.cleared ? 0 : model.log.size();
    next.view = model.cleared ? journal : QByteArray(model.log).append(journal);
    next.baseIsLog = next.logExists && !next.cleared;
    next.chunkSplit = model.chunkSplit;
    // The log's times hold only where it is still the text they were taken for.
    if (next.unsavedFrom > 0)
        next.arrivals.push_back({0, model.view.startsWith(model.log) ? model.arrivalAt(0) : 0});
    for (const Arrival &arrival : model.arrivals) {
        const qint64 at = arrival.offset - model.unsavedFrom;
        if (at >= 0 && at < journalLength)
            next.arrivals.push_back({next.unsavedFrom + at, arrival.timeMs});
        else if (at < 0 && arrival.offset > 0 && arrival.offset < next.unsavedFrom &&
                 model.view.startsWith(model.log))
            next.arrivals.push_back(arrival);
    }
    return next;
}

} // namespace KeeperModel
