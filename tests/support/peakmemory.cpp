#include "peakmemory.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <algorithm>

namespace orvy::test {

namespace {

// A "Name:   1234 kB" field of /proc/self/status, in kB; -1 if absent.
qint64 statusFieldKb(const QByteArray &name)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> lines = status.readAll().split('\n');
    for (const QByteArray &line : lines) {
        if (line.startsWith(name + ':'))
            return line.mid(name.size() + 1).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

} // namespace

PeakMemory::PeakMemory()
{
    // "5" sets the high-water mark back to the current resident set.
    QFile reset(QStringLiteral("/proc/self/clear_refs"));
    if (reset.open(QIODevice::WriteOnly) && reset.write("5") == 1) {
        reset.close();
        m_startKb = statusFieldKb("VmRSS");
    }
}

qint64 PeakMemory::growthKb() const
{
    const qint64 peak = statusFieldKb("VmHWM");
    if (m_startKb < 0 || peak < 0)
        return -1;
    // The kernel's resident-set figures are summed lazily: a peak a few pages under the
    // start is noise, not a shrink.
    return std::max<qint64>(0, peak - m_startKb);
}

} // namespace orvy::test
