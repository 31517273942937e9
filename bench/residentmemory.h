#pragma once

#include <QtGlobal>

// The process's resident memory now, in bytes (VmRSS).
qint64 residentBytes();
