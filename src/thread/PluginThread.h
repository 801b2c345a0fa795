#pragma once

#include "thread/RunLoopSleep.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <type_traits>

namespace varnel::extensions::vst {

/// The thread every plug-in's non-audio calls run on (see VSTPluginThread): a run
/// loop of calls handed over from other threads, of timers and, on Linux, of file
/// descriptors that plug-in editors watch (VST 3's IRunLoop). The library
/// starts it on first use, unless the application adopted one of its own threads
/// first. Never used from the audio thread: handing a call over allocates and locks.
class PluginThread {
public:
    using Task = std::function<void()>;
    using TimerId = std::uint64_t;
    using WatchId = std::uint64_t;

    /// The process's one plug-in thread.
    static PluginThread& instance();

    PluginThread() = default;
    PluginThread(const PluginThread&) = delete;
    PluginThread& operator=(const PluginThread&) = delete;
    /// Ends the library's own thread, after running the calls still waiting.
    ~PluginThread();

    /// Any thread. Whether the caller is the plug-in thread, or stands in for it
    /// (once the thread has ended, calls run where they are made). The plug-in
    /// thread answers at once; any other thread takes the run loop's lock briefly.
    bool isCurrent() const;

    /// Control thread; allocates; waits. Runs `operation` on the plug-in thread and
    /// gives its result (or rethrows what it threw); on the plug-in thread itself it
    /// runs at once.
    template <typename Operation>
    auto call(Operation&& operation) -> std::invoke_result_t<Operation&> {
        using Result = std::invoke_result_t<Operation&>;
        if (isCurrent())
            return operation();
        auto task = std::make_shared<std::packaged_task<Result()>>(std::ref(operation));
        std::future<Result> result = task->get_future();
        if (!enqueue([task] { (*task)(); }))
            return operation(); // the thread has ended: run here, as at exit
        return result.get();
    }

    /// Control thread; allocates; never waits. Runs `task` on the plug-in thread
    /// after the calls already waiting; what it throws is logged.
    void post(Task task);

    /// Plug-in thread. Runs `tick` every `interval`, first one interval from now,
    /// until removeTimer. A tick may add and remove timers, its own included.
    TimerId addTimer(std::chrono::milliseconds interval, Task tick);
    void removeTimer(TimerId id);

    /// Plug-in thread. Runs `onReadable` whenever `fd` is readable (or hung up),
    /// until removeWatch; a descriptor that is closed while watched is dropped with
    /// a log line. Only Linux plug-ins watch descriptors: elsewhere they are never
    /// polled.
    WatchId addWatch(int fd, Task onReadable);
    void removeWatch(WatchId id);

    /// See VSTPluginThread.
    bool adoptCurrentThread();
    void runPending(std::chrono::milliseconds maxWait);

private:
    using Clock = std::chrono::steady_clock;
    struct Timer {
        std::chrono::milliseconds interval;
        Clock::time_point due;
        Task tick;
    };
    struct Watch {
        int fd;
        Task onReadable;
        bool ready = false;
    };

    /// False when no thread will ever run the task.
    bool enqueue(Task task);
    void startLocked();
    void loop();
    /// Runs the waiting calls, then the watches found readable, then the due
    /// timers; true when anything ran. Called and returns with `lock` held; runs
    /// each task without it.
    bool runDue(std::unique_lock<std::mutex>& lock);
    /// Under `lock`: sleeps until there is work or `deadline` (not at all when calls
    /// are waiting), and marks the watches found readable.
    void sleepUntil(std::unique_lock<std::mutex>& lock, Clock::time_point deadline);
    /// Plug-in thread, under `mutex`: the earliest timer due.
    Clock::time_point nextDue() const;

    mutable std::mutex mutex;
    RunLoopSleep sleeper;
    std::deque<Task> tasks;
    std::map<TimerId, Timer> timers;
    TimerId lastTimerId = 0;
    std::map<WatchId, Watch> watches;
    WatchId lastWatchId = 0;
    std::thread ownThread;
    std::thread::id owner;
    /// The owner id as the lock-free check of isCurrent reads it.
    std::atomic<std::thread::id> currentOwner{};
    bool adopted = false;
    bool stopping = false;
    bool ended = false;
};

} // namespace varnel::extensions::vst
