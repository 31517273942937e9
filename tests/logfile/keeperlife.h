#pragma once

#include "keepermodel.h"
#include "logfile/logkeeper.h"

#include <QRandomGenerator>
#include <QString>
#include <vector>

// One life of the program under the log keeper's random test: a forked process that opens the
// keeper, checks it against what the last life may have left, and takes random steps until it
// ends or is killed; and what the parent makes of the steps it reports.
namespace KeeperLife {

inline const QString kLog = QStringLiteral("log.txt");
inline constexpr qint64 kFirstTime = 1'800'000'000'000;

// A possible state after a kill: the view must be its view, or a prefix of it no shorter than
// shortest (an append the kill cut off), and log.txt must hold its log.
struct Candidate
{
    KeeperModel::Model model;
    qint64 shortest = 0;
};

Candidate exactly(const KeeperModel::Model &model);

// What a life reports over its pipe, one record a step.
struct Report
{
    enum Kind : int { Begin, End, Matched, Failed } kind = Begin;
    KeeperModel::Step step;
    int candidate = 0;
    char text[600] = {};
};

// Runs in the child and never returns: exits 0 at its end, or dies where the shim kills it.
[[noreturn]] void run(int pipeFd, QRandomGenerator random,
                      const std::vector<Candidate> &candidates);

// The states a life may leave behind, from the steps it reported.
std::vector<Candidate> afterLife(const std::vector<Candidate> &before,
                                 const std::vector<Report> &reports, bool damageLastRecord);

} // namespace KeeperLife
