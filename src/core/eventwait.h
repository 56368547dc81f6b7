#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

namespace orvy::core {

// While one of these lives on a thread, the waits below keep that thread's events going
// (timers, painting, the window manager's requests), so that a window can appear and
// paint while the program waits on a server; user input is held until the wait ends.
// Elsewhere the waits simply block. The program keeps events going while it starts, when
// no main window is on the screen yet to say that it is busy.
class EventsKeepFlowing {
public:
    EventsKeepFlowing();
    ~EventsKeepFlowing();
    EventsKeepFlowing(const EventsKeepFlowing &) = delete;
    EventsKeepFlowing &operator=(const EventsKeepFlowing &) = delete;

    static bool active();
};

// Waits on `changed` (notified under `lock`'s mutex) until `done()` holds or `timeoutMs`
// have passed (a negative time-out: no limit); returns done().
bool waitFor(std::unique_lock<std::mutex> &lock, std::condition_variable &changed,
    const std::function<bool()> &done, int timeoutMs);

// Runs work, which blocks (a connect, a statement, a download), and rethrows what it
// throws. While events keep flowing it runs on a short-lived helper thread, which must
// touch no widget and no object of this thread's; otherwise here.
void runBlocking(const std::function<void()> &work);

// Sleeps for `ms`, keeping events going as above.
void pauseMs(int ms);

} // namespace orvy::core
