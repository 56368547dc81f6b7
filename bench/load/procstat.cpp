#include "procstat.h"

#include <QFile>
#include <unistd.h>

namespace orvy::bench {

namespace {

// utime + stime, fields 14 and 15 of /proc/<pid>/stat, in milliseconds; -1 if unreadable.
double cpuMsOf(const QString &statPath)
{
    QFile stat(statPath);
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = stat.readAll();
    // The command name in parentheses may hold blanks: count fields after its ')'.
    const qsizetype close = line.lastIndexOf(')');
    if (close < 0)
        return -1;
    const QList<QByteArray> fields = line.mid(close + 2).split(' ');
    // After the name: field 3 (state) is index 0, so utime (14) is index 11, stime 12.
    if (fields.size() < 13)
        return -1;
    const double ticks = double(fields.at(11).toLongLong() + fields.at(12).toLongLong());
    return ticks * 1000.0 / double(sysconf(_SC_CLK_TCK));
}

} // namespace

ProcessUse readProcessUse(qint64 pid)
{
    ProcessUse use;
    use.cpuMs = cpuMsOf(QStringLiteral("/proc/%1/stat").arg(pid));
    if (use.cpuMs < 0)
        return {};
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return {};
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) {
            use.rssKb = line.mid(6).trimmed().split(' ').value(0).toDouble();
            use.ok = true;
            break;
        }
    }
    return use;
}

ProcessUse readProcessUse(const QList<qint64> &pids)
{
    ProcessUse sum;
    sum.ok = !pids.isEmpty();
    for (const qint64 pid : pids) {
        const ProcessUse one = readProcessUse(pid);
        sum.ok = sum.ok && one.ok;
        sum.cpuMs += one.cpuMs;
        sum.rssKb += one.rssKb;
    }
    return sum;
}

double ownCpuMs()
{
    return qMax(0.0, cpuMsOf(QStringLiteral("/proc/self/stat")));
}

} // namespace orvy::bench
