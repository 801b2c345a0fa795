#include "PluginThread.h"

#include "VSTPluginThread.h"

#include <varnel/Logger.h>

#include <exception>
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
    wake.notify_all();
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
    wake.notify_all();
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
    std::lock_guard lock(mutex);
    timers.erase(id);
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
        const Clock::time_point due = nextDue();
        wake.wait_until(lock, due, [this, due] { return stopping || !tasks.empty() || Clock::now() >= due; });
    }
    // Callers still waiting get their answer; later ones run their calls themselves.
    ended = true;
    timers.clear();
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
    if (runDue(lock) || maxWait.count() <= 0)
        return;
    const Clock::time_point until = std::min(Clock::now() + maxWait, nextDue());
    wake.wait_until(lock, until, [this] { return !tasks.empty(); });
    runDue(lock);
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
