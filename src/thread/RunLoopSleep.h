#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace varnel::extensions::vst {

/// How the plug-in thread sleeps until it has work: a call handed over, a timer
/// due, or (on Linux) a file descriptor a plug-in's editor watches turning
/// readable. On Linux it waits in poll() on those descriptors and an eventfd that
/// wake() signals; elsewhere, where plug-ins watch no descriptors, on a condition
/// variable.
class RunLoopSleep {
public:
    using Clock = std::chrono::steady_clock;

    RunLoopSleep();
    ~RunLoopSleep();
    RunLoopSleep(const RunLoopSleep&) = delete;
    RunLoopSleep& operator=(const RunLoopSleep&) = delete;

    /// Any thread; never blocks. Ends a sleep in progress, or the next one. Call
    /// after changing, under the run loop's mutex, what the sleeper checks.
    void wake();

    /// The plug-in thread, with `lock` held, having checked that it has nothing to
    /// do: releases the lock and sleeps until wake(), `deadline`, or one of `fds`
    /// turns readable (or hung up, or failed); then takes the lock again. Gives
    /// each descriptor's state: readable (or hung up), invalid, or neither.
    enum class FdState { idle, ready, invalid };
    std::vector<FdState> sleep(std::unique_lock<std::mutex>& lock, Clock::time_point deadline,
                               const std::vector<int>& fds);

private:
#if defined(__linux__)
    int wakeFd = -1;
#else
    std::condition_variable wakeSignal;
#endif
};

} // namespace varnel::extensions::vst
