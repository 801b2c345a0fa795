#include "thread/RunLoopSleep.h"

#include <algorithm>
#include <climits>
#include <stdexcept>

#if defined(__linux__)
#include <cerrno>
#include <cstdint>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#endif

namespace varnel::extensions::vst {

#if defined(__linux__)

namespace {

/// poll()'s timeout for `deadline`: rounded up, so that a timer is never woken for
/// just before it is due; -1 (for ever) for the far future.
int timeoutUntil(RunLoopSleep::Clock::time_point deadline) {
    if (deadline == RunLoopSleep::Clock::time_point::max())
        return -1;
    const auto left = deadline - RunLoopSleep::Clock::now();
    if (left <= RunLoopSleep::Clock::duration::zero())
        return 0;
    const auto milliseconds = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return static_cast<int>(std::min<long long>(milliseconds, INT_MAX));
}

} // namespace

RunLoopSleep::RunLoopSleep() : wakeFd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    if (wakeFd < 0)
        throw std::runtime_error("the plug-in thread cannot make its wake-up eventfd");
}

RunLoopSleep::~RunLoopSleep() {
    close(wakeFd);
}

void RunLoopSleep::wake() {
    const std::uint64_t one = 1;
    // Can only fail when the counter is about to overflow: it is awake then anyway.
    [[maybe_unused]] const ssize_t written = write(wakeFd, &one, sizeof one);
}

std::vector<RunLoopSleep::FdState> RunLoopSleep::sleep(std::unique_lock<std::mutex>& lock,
                                                       Clock::time_point deadline,
                                                       const std::vector<int>& fds) {
    std::vector<pollfd> polled;
    polled.reserve(fds.size() + 1);
    polled.push_back(pollfd{wakeFd, POLLIN, 0});
    for (const int fd : fds)
        polled.push_back(pollfd{fd, POLLIN, 0});
    lock.unlock();
    int ready = poll(polled.data(), polled.size(), timeoutUntil(deadline));
    if (ready < 0 && errno != EINTR)
        ready = 0;
    if (polled[0].revents != 0) {
        // Drained after the poll: a wake() racing with this is for work the caller
        // looks for next anyway.
        std::uint64_t count = 0;
        [[maybe_unused]] const ssize_t drained = read(wakeFd, &count, sizeof count);
    }
    lock.lock();
    std::vector<FdState> states(fds.size(), FdState::idle);
    for (std::size_t index = 0; ready > 0 && index < fds.size(); ++index) {
        const short events = polled[index + 1].revents;
        if ((events & POLLNVAL) != 0)
            states[index] = FdState::invalid;
        else if ((events & (POLLIN | POLLHUP | POLLERR)) != 0)
            states[index] = FdState::ready;
    }
    return states;
}

#else

RunLoopSleep::RunLoopSleep() = default;
RunLoopSleep::~RunLoopSleep() = default;

void RunLoopSleep::wake() {
    wakeSignal.notify_all();
}

std::vector<RunLoopSleep::FdState> RunLoopSleep::sleep(std::unique_lock<std::mutex>& lock,
                                                       Clock::time_point deadline,
                                                       const std::vector<int>& fds) {
    // The caller checked for work under the lock, and whoever adds work does so
    // under it too before calling wake(), so no wake-up is lost.
    wakeSignal.wait_until(lock, deadline);
    return std::vector<FdState>(fds.size(), FdState::idle);
}

#endif

} // namespace varnel::extensions::vst
