// The life of a run on one chip, shared by the embedded and the remote
// back ends: a watcher thread waits for the run to end and reports the
// end to the events, after the start has been reported.
//
// `running` is true from a successful start until the watcher has
// reported the end of that run; awaitEnd() waits for it to fall. The
// watcher reports the end only once the start has been reported
// (`announced`), so that the events always see start before end.
#ifndef HOSTLIB_RUNWATCH_H
#define HOSTLIB_RUNWATCH_H

#include "hostlib/Target.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace HostLib {

struct RunWatch {
    uint32_t number = 0;
    std::shared_ptr<TargetEvents> events;

    mutable std::mutex mutex;
    std::condition_variable ended;
    bool running = false;
    bool announced = false;
    ProgramEnd last;
    std::thread watcher;
    std::atomic<std::thread::id> watcherId{};

    bool onWatcherThread() const { return watcherId.load() == std::this_thread::get_id(); }

    // With the mutex held, after the run has started: a watcher thread
    // calls waitForEnd (which must keep the owner alive) and reports.
    void startWatcher(std::function<ProgramEnd()> waitForEnd);
    // Without the mutex, right after startWatcher: reports the start, so
    // that a callback may use the chip.
    void announceStart();
    // Without the mutex: blocks until the watcher has reported the end.
    void awaitEnd();
    // How many threads of the process are inside awaitEnd(), so that a
    // test can act once a waiter is really waiting.
    static int waitingThreads();
    // On destruction of the owner: joins the watcher, or lets it go when
    // the owner is destroyed by a callback on the watcher itself.
    void releaseWatcher();

private:
    void reportEnd(ProgramEnd const& end);
};

}  // namespace HostLib

#endif
