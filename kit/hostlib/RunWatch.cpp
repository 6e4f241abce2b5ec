#include "hostlib/RunWatch.h"

namespace HostLib {

void RunWatch::startWatcher(std::function<ProgramEnd()> waitForEnd) {
    // The previous watcher has reported its run (running was false).
    if (watcher.joinable()) watcher.join();
    running = true;
    announced = false;
    watcher = std::thread([this, waitForEnd] { reportEnd(waitForEnd()); });
    watcherId.store(watcher.get_id());
}

void RunWatch::announceStart() {
    if (events) events->programStarted(number);
    std::lock_guard<std::mutex> lock(mutex);
    announced = true;
    ended.notify_all();
}

namespace {
std::atomic<int> s_waiting_threads{0};
}

void RunWatch::awaitEnd() {
    std::unique_lock<std::mutex> lock(mutex);
    ++s_waiting_threads;
    ended.wait(lock, [this] { return !running; });
    --s_waiting_threads;
}

int RunWatch::waitingThreads() {
    return s_waiting_threads.load();
}

void RunWatch::releaseWatcher() {
    if (!watcher.joinable()) return;
    if (onWatcherThread())
        watcher.detach();
    else
        watcher.join();
}

void RunWatch::reportEnd(ProgramEnd const& end) {
    {
        std::unique_lock<std::mutex> lock(mutex);
        last = end;
        ended.wait(lock, [this] { return announced; });
    }
    if (events) events->programEnded(end);
    std::lock_guard<std::mutex> lock(mutex);
    running = false;
    ended.notify_all();
}

}  // namespace HostLib
