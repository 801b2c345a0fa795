#include "thread/PluginThread.h"

#include "VSTPluginThread.h"

#include <varnel/Logger.h>

#include <exception>
#include <string>
#include <utility>
#include <vector>

namespace varnel::extensions::vst {

namespace {

void runLogged(const PluginThread::Task& task) {
    try {
        task();
    } catch (const std::exception& error) {
        Logger::error(std::string("[VSTModule] A call on the plug-in thread failed: ") + error.what());
    } catch (...) {
        Logger::error("[VSTModule] A call on the plug-in thread failed with an unknown exception");
    }
}

} // namespace

PluginThread& PluginThread::instance() {
    static PluginThread thread;
    return thread;
}

PluginThread::~PluginThread() {
    std::thread finishing;
    {
        std::lock_guard lock(mutex);
        stopping = true;
        finishing = std::move(ownThread);
    }
    sleeper.wake();
    if (finishing.joinable())
        finishing.join();
}

bool PluginThread::isCurrent() const {
    const std::thread::id current = currentOwner.load(std::memory_order_acquire);
    if (current == std::this_thread::get_id())
        return true;
    std::lock_guard lock(mutex);
    return ended;
}

void PluginThread::startLocked() {
    if (adopted || ownThread.joinable() || stopping)
        return;
    ownThread = std::thread([this] { loop(); });
    owner = ownThread.get_id();
    currentOwner.store(owner, std::memory_order_release);
}

bool PluginThread::enqueue(Task task) {
    {
        std::lock_guard lock(mutex);
        if (ended)
            return false;
        startLocked();
        tasks.push_back(std::move(task));
    }
    sleeper.wake();
    return true;
}

void PluginThread::post(Task task) {
    if (!enqueue(task))
        runLogged(task);
}

PluginThread::TimerId PluginThread::addTimer(std::chrono::milliseconds interval, Task tick) {
    std::lock_guard lock(mutex);
    const TimerId id = ++lastTimerId;
    timers.emplace(id, Timer{interval, Clock::now() + interval, std::move(tick)});
    return id;
}

void PluginThread::removeTimer(TimerId id) {
    Task dropped; // released outside the lock: it may hold a plug-in object
    std::lock_guard lock(mutex);
    if (const auto timer = timers.find(id); timer != timers.end()) {
        dropped = std::move(timer->second.tick);
        timers.erase(timer);
    }
}

PluginThread::WatchId PluginThread::addWatch(int fd, Task onReadable) {
    std::lock_guard lock(mutex);
    const WatchId id = ++lastWatchId;
    watches.emplace(id, Watch{fd, std::move(onReadable)});
    return id;
}

void PluginThread::removeWatch(WatchId id) {
    Task dropped;
    std::lock_guard lock(mutex);
    if (const auto watch = watches.find(id); watch != watches.end()) {
        dropped = std::move(watch->second.onReadable);
        watches.erase(watch);
    }
}

PluginThread::Clock::time_point PluginThread::nextDue() const {
    Clock::time_point earliest = Clock::time_point::max();
    for (const auto& [id, timer] : timers)
        earliest = std::min(earliest, timer.due);
    return earliest;
}

bool PluginThread::runDue(std::unique_lock<std::mutex>& lock) {
    bool ran = false;
    while (!tasks.empty()) {
        Task task = std::move(tasks.front());
        tasks.pop_front();
        lock.unlock();
        runLogged(task);
        ran = true;
        lock.lock();
    }
    std::vector<WatchId> readable;
    for (auto& [id, watch] : watches)
        if (std::exchange(watch.ready, false))
            readable.push_back(id);
    for (const WatchId id : readable) {
        const auto watch = watches.find(id);
        if (watch == watches.end())
            continue; // removed by an earlier handler
        Task handler = watch->second.onReadable;
        lock.unlock();
        runLogged(handler);
        ran = true;
        lock.lock();
    }
    const Clock::time_point now = Clock::now();
    std::vector<TimerId> due;
    for (const auto& [id, timer] : timers)
        if (timer.due <= now)
            due.push_back(id);
    for (const TimerId id : due) {
        const auto timer = timers.find(id);
        if (timer == timers.end())
            continue; // removed by an earlier tick
        // A tick that took longer than its interval is not run again at once.
        timer->second.due = std::max(timer->second.due + timer->second.interval, now);
        Task tick = timer->second.tick;
        lock.unlock();
        runLogged(tick);
        ran = true;
        lock.lock();
    }
    return ran;
}

void PluginThread::loop() {
    std::unique_lock lock(mutex);
    while (!stopping) {
        runDue(lock);
        if (stopping)
            break;
        sleepUntil(lock, nextDue());
    }
    // Callers still waiting get their answer; later ones run their calls themselves.
    ended = true;
    {
        // Released outside the lock: a plug-in's handler may unregister itself as it goes.
        auto leftTimers = std::exchange(timers, {});
        auto leftWatches = std::exchange(watches, {});
        lock.unlock();
    }
    lock.lock();
    runDue(lock);
    currentOwner.store(std::thread::id{}, std::memory_order_release);
}

bool PluginThread::adoptCurrentThread() {
    std::lock_guard lock(mutex);
    if (adopted || ownThread.joinable() || ended)
        return false;
    adopted = true;
    owner = std::this_thread::get_id();
    currentOwner.store(owner, std::memory_order_release);
    return true;
}

void PluginThread::runPending(std::chrono::milliseconds maxWait) {
    if (currentOwner.load(std::memory_order_acquire) != std::this_thread::get_id())
        return;
    std::unique_lock lock(mutex);
    // Descriptors are looked at even when the caller does not want to wait.
    sleepUntil(lock, Clock::now());
    if (runDue(lock) || maxWait.count() <= 0)
        return;
    sleepUntil(lock, std::min(Clock::now() + maxWait, nextDue()));
    runDue(lock);
}

void PluginThread::sleepUntil(std::unique_lock<std::mutex>& lock, Clock::time_point deadline) {
    if (stopping || !tasks.empty())
        deadline = Clock::now();
    std::vector<WatchId> ids;
    std::vector<int> fds;
    for (const auto& [id, watch] : watches) {
        ids.push_back(id);
        fds.push_back(watch.fd);
    }
    if (fds.empty() && deadline <= Clock::now())
        return;
    const std::vector<RunLoopSleep::FdState> states = sleeper.sleep(lock, deadline, fds);
    for (std::size_t index = 0; index < ids.size(); ++index) {
        const auto watch = watches.find(ids[index]);
        if (watch == watches.end() || states[index] == RunLoopSleep::FdState::idle)
            continue;
        if (states[index] == RunLoopSleep::FdState::ready) {
            watch->second.ready = true;
            continue;
        }
        // Polling a closed descriptor would wake this thread for good.
        Logger::error("[VSTModule] A plug-in watches file descriptor " + std::to_string(watch->second.fd) +
                      ", which is not open; it is no longer watched");
        Task dropped = std::move(watch->second.onReadable);
        watches.erase(watch);
        lock.unlock();
        dropped = nullptr;
        lock.lock();
    }
}

bool VSTPluginThread::adoptCurrentThread() {
    return PluginThread::instance().adoptCurrentThread();
}

void VSTPluginThread::runPendingCalls(int maxWaitMilliseconds) {
    PluginThread::instance().runPending(std::chrono::milliseconds(maxWaitMilliseconds));
}

bool VSTPluginThread::isPluginThread() {
    const PluginThread& thread = PluginThread::instance();
    return thread.isCurrent();
}

} // namespace varnel::extensions::vst
