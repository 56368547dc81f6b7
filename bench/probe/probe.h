#pragma once

#include <QByteArray>
#include <QStringList>
#include <functional>

class QWidget;

// The timing probe of the benchmark builds. It is linked into the benchmark
// copies of the program and into the floor programs only, never into the
// program that ships. It reports on stderr, one line each, prefixed "@bench ",
// with times on the monotonic clock in nanoseconds:
//   painted <ns> <surface> <cpu ns>
//                       the first paint of a shown, exposed top-level window, whose
//                       native window is a "raster" or an "opengl" surface, and the
//                       processor time the process (all its threads) had used by then
//   done <tag> <t0> <t1> a command's start and the end of the paint it caused
//   fail <tag> <why>
// and reads commands, one a line, on stdin (see probe.cpp).
namespace orvy::bench {

// Called at the application's start (a start-up hook of the probe's own).
void installProbe();

qint64 monotonicNs();
void report(const QByteArray &line);

// A floor program's own commands; returns false for a command it does not know.
void setCommandHandler(std::function<bool(const QStringList &)> handler);

// Reports "done <tag> <t0> <t1>" once `widget` has painted after t0.
void reportAfterPaint(const QByteArray &tag, qint64 t0, QWidget *widget);
// Reports "done <tag> <t0> <t1>" once the web view of the window shows the
// first picture of a video (several saturated colours across its middle), or,
// with video false, once it shows none.
void reportAfterVideoFrame(const QByteArray &tag, qint64 t0, bool video = true);

} // namespace orvy::bench
