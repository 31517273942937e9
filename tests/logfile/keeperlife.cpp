#include "keeperlife.h"
#include "support/faultshim.h"
#include "support/files.h"

#include <QFile>
#include <QFileInfo>

#include <cstring>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace KeeperModel;

namespace KeeperLife {

namespace {

// The candidate as far as the view the keeper showed.
Model adopt(const Candidate &candidate, qint64 viewSize)
{
    Model model = candidate.model;
    model.view.truncate(qsizetype(viewSize));
    while (!model.arrivals.empty() && model.arrivals.back().offset >= viewSize)
        model.arrivals.pop_back();
    return model;
}

class Life
{
public:
    Life(int pipeFd, QRandomGenerator random) : m_pipe(pipeFd), m_random(random) {}
    // Runs in the child: opens the keeper, checks it against the candidates, then takes random
    // steps until it ends or the shim kills it.
    [[noreturn]] void run(const std::vector<Candidate> &candidates);

private:
    void send(Report::Kind kind, const Step &step = {}, const QString &text = {}, int matched = 0);
    [[noreturn]] void fail(const QString &what);
    Step nextStep() const;
    void take(LogKeeper &keeper, Step &step);
    void checkView(const LogKeeper &keeper, qint64 from, qint64 count);
    void checkArrivals(const LogKeeper &keeper, const Model &model);

    int m_pipe;
    mutable QRandomGenerator m_random;
    bool m_killInSave = false;
    Model m_model;
};

void Life::send(Report::Kind kind, const Step &step, const QString &text, int matched)
{
    Report report;
    report.kind = kind;
    report.step = step;
    report.candidate = matched;
    std::strncpy(report.text, qPrintable(text), sizeof report.text - 1);
    (void)::write(m_pipe, &report, sizeof report);
}

void Life::fail(const QString &what)
{
    send(Report::Failed, {}, what);
    ::_exit(1);
}

void Life::run(const std::vector<Candidate> &candidates)
{
    // Kills land anywhere, recovery included, or inside a save; a third of the lives are not
    // killed early.
    const int killing = int(m_random.bounded(3));
    if (killing == 1)
        FaultShim::killAfterCalls(1 + m_random.bounded(150));
    m_killInSave = killing == 2;
    send(Report::Begin, {Op::Open});
    LogKeeper keeper(kLog);
    if (keeper.claim().status != Journal::Claim::Status::Claimed)
        fail("the folder could not be claimed");
    const LogKeeper::Opened opened = keeper.open();
    const QByteArray view = keeper.mid(0, keeper.size());
    const QByteArray log = fileBytes(kLog, "<missing>");
    // A kill in the middle of a Clear of an empty view leaves two states that look alike until
    // another program writes to log.txt; the journal tells which one this is.
    const bool cleared = keeper.journal().recover(FileIdentity::ofPath(kLog)).cleared;
    int matched = -1;
    for (const bool tellByClear : {true, false}) {
        for (size_t i = 0; i < candidates.size() && matched < 0; ++i) {
            const Candidate &c = candidates[i];
            if (c.model.view.startsWith(view) && view.size() >= c.shortest &&
                log == (c.model.logExists ? c.model.log : QByteArray("<missing>")) &&
                (!tellByClear || c.model.cleared == cleared))
                matched = int(i);
        }
    }
    if (matched < 0) {
        QString expected;
        for (const Candidate &c : candidates)
            expected += QStringLiteral(" %1 (at least %2) and %3;")
                            .arg(c.model.view.size())
                            .arg(c.shortest)
                            .arg(c.model.logExists ? c.model.log.size() : -1);
        fail(QStringLiteral("after the restart the view holds %1 bytes (%4 a prefix), log.txt %2; "
                            "expected%3 status %5 recovered %6 unchecked %7 aside %8")
                 .arg(view.size())
                 .arg(log.size())
                 .arg(expected)
                 .arg(candidates[0].model.view.startsWith(view) ? "" : "not")
                 .arg(int(opened.status))
                 .arg(opened.recoveredBytes)
                 .arg(opened.uncheckedBytes)
                 .arg(opened.journalSetAside + opened.journalSetAsideError));
    }
    m_model = adopt(candidates[size_t(matched)], view.size());
    send(Report::Matched, {Op::Open, view.size()}, {}, matched);
    checkArrivals(keeper, m_model);
    // As the window does: a missing log is created at once.
    if (opened.status == LogStore::LoadResult::Status::Missing) {
        Step save{Op::Save};
        take(keeper, save);
    }
    for (int steps = 0; steps < 40; ++steps) {
        Step step = nextStep();
        if (step.op == Op::Exit) {
            send(Report::Begin, step);
            // Half the lives end cleanly, the others as a kill would end them.
            if (m_random.bounded(2) == 0)
                keeper.close();
            send(Report::End, step);
            ::_exit(0);
        }
        take(keeper, step);
    }
    ::_exit(0);
}

Step Life::nextStep() const
{
    Step step;
    step.seed = m_random.generate();
    const int pick = int(m_random.bounded(100));
    const qint64 logSize = m_model.log.size();
    if (pick < 45) {
        step = {Op::Append, 1 + m_random.bounded(3000), step.seed};
    } else if (pick < 60) {
        step.op = Op::Save;
    } else if (pick < 64) {
        step.op = Op::Clear;
    } else if (pick < 67 && !m_model.baseCut) {
        step = {Op::OtherAppends, 1 + m_random.bounded(500), step.seed};
    } else if (pick < 70) {
        step = {Op::OtherReplaces, m_random.bounded(2000), step.seed};
    } else if (pick < 73 && logSize > 0) {
        step = {Op::OtherTruncates, qint64(m_random.bounded(quint32(logSize))), step.seed};
    } else if (pick < 78) {
        step.op = m_model.flushFails ? Op::FlushWorks : Op::FlushFails;
    } else if (pick < 84) {
        // Room for the journal's records and the times beside the text that fills it.
        const auto sizeOf = [](const QString &path) { return QFileInfo(path).size(); };
        const qint64 used = std::max({sizeOf(Journal::dataPathFor(kLog)),
                                      sizeOf(Journal::indexPathFor(kLog)) + 8000,
                                      sizeOf(LogTimes::pathFor(kLog)) + 8000});
        step = m_model.diskLimit ? Step{Op::DiskFree}
                                 : Step{Op::DiskFull, used + m_random.bounded(20000)};
    } else if (pick < 88) {
        step.op = Op::Exit;
    } else {
        step = {Op::Append, 1 + m_random.bounded(100), step.seed};
    }
    return step;
}

// Does the step to the keeper or to its files, checks what came of it, and tells the parent.
void Life::take(LogKeeper &keeper, Step &step)
{
    static qint64 clock = kFirstTime;
    step.timeMs = (clock += 1 + m_random.bounded(5000));
    step.unwritten = m_model.unwritten;
    send(Report::Begin, step);
    if (step.op == Op::Save && m_killInSave && m_random.bounded(2) == 0)
        FaultShim::killAfterCalls(1 + m_random.bounded(12));
    const QByteArray other = bytesOf(step);
    // Another program's disk is not full.
    const bool byOther = step.op == Op::OtherAppends || step.op == Op::OtherReplaces ||
                         step.op == Op::OtherTruncates;
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    if (byOther) {
        const rlimit none{RLIM_INFINITY, RLIM_INFINITY};
        ::setrlimit(RLIMIT_FSIZE, &none);
    }
    switch (step.op) {
    case Op::Append:
        keeper.append(bytesOf(step), step.timeMs);
        step.unwritten = keeper.unwrittenBytes();
        break;
    case Op::Clear:
        keeper.clear();
        break;
    case Op::Save: {
        const qint64 cut = m_model.baseCut ? m_model.unsavedFrom - m_model.baseLeft : 0;
        const bool keepsLog = m_model.saveKeepsLog();
        const QByteArray changedLog = m_model.log;
        dropWhatWasCut(m_model);
        const bool expected = m_model.saveShouldSucceed();
        const LogKeeper::Saved saved = keeper.save();
        step.ok = saved.ok;
        if (saved.ok != expected)
            fail(QStringLiteral("the save %1: %2")
                     .arg(saved.ok ? "succeeded" : "failed", saved.errorText));
        if (saved.cutBytes != cut)
            fail(
                QStringLiteral("the save found %1 bytes cut, not %2").arg(saved.cutBytes).arg(cut));
        if (saved.changedLogKeptAs.isEmpty() == keepsLog ||
            (keepsLog && fileBytes(saved.changedLogKeptAs) != changedLog))
            fail(QStringLiteral("another program's log.txt was %1kept")
                     .arg(keepsLog ? "not " : "wrongly "));
        QFile::remove(saved.changedLogKeptAs);
        const QByteArray log = fileBytes(kLog, "<missing>");
        const QByteArray want = saved.ok ? m_model.view : m_model.log;
        if (log != (saved.ok || m_model.logExists ? want : QByteArray("<missing>")))
            fail(QStringLiteral("after a save that %1, log.txt holds %2 bytes, not %3")
                     .arg(saved.ok ? "succeeded" : "failed")
                     .arg(log.size())
                     .arg(want.size()));
        break;
    }
    case Op::OtherAppends: {
        QFile log(kLog);
        if (!log.open(QIODevice::Append) || log.write(other) != other.size())
            fail("could not append to log.txt as another program");
        break;
    }
    case Op::OtherReplaces:
        if (!writeFileBytes("other.txt", other) ||
            ::syscall(SYS_renameat, AT_FDCWD, "other.txt", AT_FDCWD, "log.txt") != 0)
            fail("could not replace log.txt as another program");
        break;
    case Op::OtherTruncates:
        if (::syscall(SYS_truncate, "log.txt", step.size) != 0)
            fail("could not cut log.txt as another program");
        break;
    case Op::FlushFails:
    case Op::FlushWorks:
        FaultShim::flushFails = step.op == Op::FlushFails;
        break;
    case Op::DiskFull:
    case Op::DiskFree:
        limit.rlim_cur = step.op == Op::DiskFull ? rlim_t(step.size) : RLIM_INFINITY;
        ::setrlimit(RLIMIT_FSIZE, &limit);
        break;
    case Op::Open:
    case Op::Exit:
        break;
    }
    if (byOther)
        ::setrlimit(RLIMIT_FSIZE, &limit);
    apply(m_model, step);
    send(Report::End, step);
    const qint64 size = m_model.view.size();
    if (keeper.size() != size)
        fail(QStringLiteral("the view holds %1 bytes, not %2").arg(keeper.size()).arg(size));
    // The text it reads from the log is another program's to spoil; the rest is its own.
    const qint64 ownFrom = m_model.baseCut ? m_model.unsavedFrom : 0;
    checkView(keeper, std::max(ownFrom, size - 4096), 4096);
    if (size > ownFrom)
        checkView(keeper, ownFrom + m_random.bounded(size - ownFrom), 4096);
}

void Life::checkView(const LogKeeper &keeper, qint64 from, qint64 count)
{
    if (keeper.mid(from, count) != m_model.view.mid(from, count))
        fail(QStringLiteral("the view differs from byte %1 on").arg(from));
}

// A time is the one the byte arrived at, or none; never another.
void Life::checkArrivals(const LogKeeper &keeper, const Model &model)
{
    for (int i = 0; i < 4 && !model.view.isEmpty(); ++i) {
        const qint64 at = m_random.bounded(model.view.size());
        const qint64 found = keeper.arrivalMs(at);
        const qint64 expected = model.arrivalAt(at);
        const bool later = model.chunkSplit && expected > 0 && found > expected;
        if (found != LogTimes::Unknown && found != expected && !later)
            fail(QStringLiteral("byte %1 arrived at %2, not %3").arg(at).arg(found).arg(expected));
    }
}

} // namespace

Candidate exactly(const Model &model)
{
    return {model, model.view.size()};
}

void run(int pipeFd, QRandomGenerator random, const std::vector<Candidate> &candidates)
{
    Life(pipeFd, random).run(candidates);
}

// The states a life may leave behind, from the steps it reported.
std::vector<Candidate> afterLife(const std::vector<Candidate> &before,
                                 const std::vector<Report> &reports, bool damageLastRecord)
{
    Model model;
    Model beforeLastAppend;
    for (size_t i = 0; i < reports.size(); ++i) {
        const Report &report = reports[i];
        if (report.kind == Report::Matched)
            model = adopt(before[size_t(report.candidate)], report.step.size);
        if (report.kind != Report::Begin)
            continue;
        const bool finished = i + 1 < reports.size() && reports[i + 1].kind != Report::Begin;
        const Step &step = report.step;
        if (step.op == Op::Open && !finished)
            return before;
        if (step.op == Op::Open)
            continue;
        if (!finished) {
            // Killed in the middle of this step: before it, or after it as far as it went.
            Step done = step;
            done.ok = true;
            done.unwritten = 0;
            Model after = model;
            apply(after, done);
            const Model killedBefore = recoveredAfterKill(model);
            const Model killedAfter = recoveredAfterKill(after);
            if (step.op == Op::Append)
                return {{killedAfter, killedBefore.view.size()}};
            return {exactly(killedBefore), exactly(killedAfter)};
        }
        const Step &outcome = reports[++i].step;
        beforeLastAppend = model;
        apply(model, outcome);
    }
    return {exactly(recoveredAfterKill(damageLastRecord ? beforeLastAppend : model))};
}

} // namespace KeeperLife
