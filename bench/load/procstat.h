#pragma once

#include <QList>
#include <QString>

namespace orvy::bench {

// What the kernel says a process has used so far: CPU time (user and system, from
// /proc/<pid>/stat) and resident memory (VmRSS from /proc/<pid>/status).
struct ProcessUse {
    double cpuMs = 0;
    double rssKb = 0;
    bool ok = false; // false when the process is gone or unreadable
};

ProcessUse readProcessUse(qint64 pid);

// The same summed over several processes (the servers behind a proxy); ok only if all
// were read.
ProcessUse readProcessUse(const QList<qint64> &pids);

// This process's own CPU time.
double ownCpuMs();

} // namespace orvy::bench
