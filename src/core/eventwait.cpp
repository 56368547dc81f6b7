#include "core/eventwait.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <exception>
#include <thread>

namespace orvy::core {

namespace {

thread_local int flowing = 0;

// How often events are looked at while waiting: well under a frame, and far above what
// a sleeping thread costs.
constexpr int eventSliceMs = 15;

} // namespace

EventsKeepFlowing::EventsKeepFlowing()
{
    ++flowing;
}

EventsKeepFlowing::~EventsKeepFlowing()
{
    --flowing;
}

bool EventsKeepFlowing::active()
{
    return flowing > 0 && QCoreApplication::instance() != nullptr
        && QThread::currentThread() == QCoreApplication::instance()->thread();
}

bool waitFor(std::unique_lock<std::mutex> &lock, std::condition_variable &changed,
    const std::function<bool()> &done, int timeoutMs)
{
    const QDeadlineTimer deadline
        = timeoutMs < 0 ? QDeadlineTimer(QDeadlineTimer::Forever) : QDeadlineTimer(timeoutMs);
    const bool keepFlowing = EventsKeepFlowing::active();
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        const qint64 left = deadline.isForever() ? eventSliceMs : deadline.remainingTime();
        if (!keepFlowing) {
            changed.wait_for(lock, std::chrono::milliseconds(left));
            continue;
        }
        changed.wait_for(lock, std::chrono::milliseconds(qMin<qint64>(left, eventSliceMs)));
        lock.unlock();
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        lock.lock();
    }
    return true;
}

void runBlocking(const std::function<void()> &work)
{
    if (!EventsKeepFlowing::active()) {
        work();
        return;
    }
    std::mutex mutex;
    std::condition_variable changed;
    bool finished = false;
    std::exception_ptr failure;
    std::thread helper([&] {
        std::exception_ptr thrown;
        try {
            work();
        } catch (...) {
            thrown = std::current_exception();
        }
        const std::lock_guard lock(mutex);
        failure = thrown;
        finished = true;
        changed.notify_all();
    });
    {
        std::unique_lock lock(mutex);
        waitFor(lock, changed, [&finished] { return finished; }, -1);
    }
    helper.join();
    if (failure)
        std::rethrow_exception(failure);
}

void pauseMs(int ms)
{
    if (ms <= 0)
        return;
    if (!EventsKeepFlowing::active()) {
        QThread::msleep(static_cast<unsigned long>(ms));
        return;
    }
    std::mutex mutex;
    std::condition_variable never;
    std::unique_lock lock(mutex);
    waitFor(lock, never, [] { return false; }, ms);
}

} // namespace orvy::core
