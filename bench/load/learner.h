#pragma once

#include "data/dbsettings.h"

#include <QString>
#include <atomic>
#include <chrono>
#include <vector>

namespace orvy::bench {

using Clock = std::chrono::steady_clock;

// What one learner's visit was to be.
struct Visit {
    Clock::time_point arrival; // when the learner starts the program
    int choices = 0; // courses chosen after the start
    int thinkMs = 0; // mean pause before each choice (uniform, half to one and a half times)
    quint32 seed = 0; // the pauses and the courses chosen
    Clock::time_point deadline; // nothing new is begun after it
};

// What happened during it.
struct VisitResult {
    bool ran = false; // false when it arrived after the deadline
    bool started = false; // the window's start-up queries all answered
    double startMs = 0; // from arrival to the last start-up query answered
    Clock::time_point startedAt;
    unsigned refusal = 0; // the client error number of a failed start (0: the layer's own)
    QString refusalText;
    std::vector<double> choiceMs; // each course choice, query to the last row read
    unsigned choiceError = 0; // the first failed choice's error number, if any
    QString choiceErrorText;
    bool choiceFailed = false;
    Clock::time_point failedAt; // when the start or the choice failed
};

// Connections open at this moment and the most at once, over all learners.
struct OpenCount {
    std::atomic<int> now { 0 };
    std::atomic<int> peak { 0 };
};

// One learner, on the calling thread: waits for the arrival, then does what the program
// does on its user-interface thread. It opens the connection and sends the start-up
// queries as the window's creation does (Q1 through the branding query, then Q2, Q2 and
// Q4 through the shared query), then chooses a course from the list it got `choices`
// times (Q5), pausing before each, and keeps the connection open until it leaves. The
// connection, its settings and its reconnect rule are the program's own.
VisitResult runVisit(const data::DbSettings &settings, const Visit &visit, OpenCount &open);

} // namespace orvy::bench
