// The helper process of an isolated plug-in: starting it with what it shares with
// the host, watching for its end, and telling why it ended.
#include "plugin/remote/RemotePlugin.h"
#include "plugin/remote/SignalName.h"

#if defined(__linux__)

#include <cstring>
#include <new>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

namespace varnel::extensions::vst {

namespace {

/// How often the watcher looks at the blocks, between the helper's end.
constexpr std::chrono::milliseconds kWatchInterval{10};
/// How long a helper whose channel closed may take to end, and one told to end
/// after an unload, before it is ended.
constexpr std::chrono::milliseconds kEndingGrace{2000};

std::int64_t nanosecondsOf(std::chrono::steady_clock::time_point point) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(point.time_since_epoch()).count();
}

} // namespace

bool RemotePlugin::startHelper(std::string& error) {
    const std::string program = findPluginHostProgram(error);
    if (program.empty())
        return false;
    int sockets[2] = {-1, -1};
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0) {
        error = std::string("Could not make the plug-in host's channel: ") + std::strerror(errno);
        return false;
    }
    // Anonymous memory, shared with the helper alone: no name anyone could open.
    const int memory = memfd_create("varnelvst-block", MFD_CLOEXEC);
    void* mapped = MAP_FAILED;
    if (memory >= 0 && ftruncate(memory, sizeof(SharedBlock)) == 0)
        mapped = mmap(nullptr, sizeof(SharedBlock), PROT_READ | PROT_WRITE, MAP_SHARED, memory, 0);
    if (mapped == MAP_FAILED) {
        error = std::string("Could not make the plug-in host's block memory: ") + std::strerror(errno);
        close(sockets[0]);
        close(sockets[1]);
        if (memory >= 0)
            close(memory);
        return false;
    }
    shared = new (mapped) SharedBlock;
    const bool started = helper.start(program, sockets[1], memory, error);
    close(sockets[1]);
    close(memory);
    channel = std::make_unique<ControlChannel>(sockets[0]);
    sender = std::make_unique<BlockSender>(*shared);
    if (!started) {
        stopHelper();
        return false;
    }
    watcherStop = eventfd(0, EFD_CLOEXEC);
    watcher = std::thread([this] { watch(); });
    return true;
}

void RemotePlugin::stopHelper() noexcept {
    if (watcher.joinable()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = write(watcherStop, &one, sizeof(one));
        watcher.join();
    }
    if (watcherStop >= 0)
        close(watcherStop);
    watcherStop = -1;
    // The end of its channel is the helper's sign to end; one that does not, ends.
    if (channel)
        channel->close();
    ProcessEnd end;
    if (!helper.awaitEnd(kEndingGrace, end)) {
        helper.kill();
        helper.awaitEnd(kEndingGrace * 5, end);
    }
    helper.release();
    channel.reset();
    sender.reset();
    if (shared != nullptr) {
        shared->~SharedBlock();
        munmap(shared, sizeof(SharedBlock));
    }
    shared = nullptr;
    behindSince.store(0);
    awaitingSince.store(0);
    behindTooLong.store(false);
}

void RemotePlugin::watch() {
    const auto hangTime = std::chrono::milliseconds(limits.hangMilliseconds);
    while (true) {
        pollfd watched[2] = {{helper.endDescriptor(), POLLIN, 0}, {watcherStop, POLLIN, 0}};
        poll(watched, 2, static_cast<int>(kWatchInterval.count()));
        if (watched[1].revents != 0)
            return;
        if (watched[0].revents != 0) {
            conclude(Cause::ended);
            return;
        }
        // One block unanswered that long, or every block late that long.
        const std::int64_t awaiting = awaitingSince.load(std::memory_order_acquire);
        const bool stuck = awaiting != 0 &&
                           shared->answer.load(std::memory_order_acquire) !=
                               awaitedSequence.load(std::memory_order_relaxed) &&
                           nanosecondsOf(Clock::now()) - awaiting >=
                               std::chrono::duration_cast<std::chrono::nanoseconds>(hangTime).count();
        if (stuck || behindTooLong.load(std::memory_order_acquire)) {
            conclude(Cause::blocksBehind);
            return;
        }
    }
}

std::string RemotePlugin::activity() const {
    if (shared != nullptr && shared->inProcess.load(std::memory_order_acquire) != 0)
        return "during process";
    const std::uint32_t length =
        shared == nullptr ? 0
                          : std::min<std::uint32_t>(shared->callLength.load(std::memory_order_acquire),
                                                    sizeof(shared->call));
    if (length > 0)
        return "during " + std::string(shared->call, length);
    const int request = requestInFlight.load(std::memory_order_acquire);
    if (request >= 0)
        return std::string("during ") + pluginCallOf(static_cast<Request>(request));
    return "while idle";
}

void RemotePlugin::conclude(Cause cause) {
    std::lock_guard lock(endMutex);
    if (ended.load(std::memory_order_acquire))
        return;
    // Read before the helper is ended: what it was doing is what it hung in.
    const std::string doing = cause == Cause::blocksBehind ? "during process" : activity();
    if (cause != Cause::ended)
        helper.kill();
    ProcessEnd end;
    if (!helper.awaitEnd(kEndingGrace, end)) {
        // Its channel closed, yet it lingers: it is ended all the same.
        helper.kill();
        helper.awaitEnd(kEndingGrace * 5, end);
    }
    PluginEnding record;
    switch (cause) {
    case Cause::ended:
        if (end.signalled) {
            record = {VSTPluginEvent::Ending::signal, end.code,
                      "The plug-in process ended with " + signalName(end.code) + " " + doing};
        } else {
            record = {VSTPluginEvent::Ending::exit, end.code,
                      "The plug-in process ended with exit status " + std::to_string(end.code) + " " + doing};
        }
        break;
    case Cause::callUnanswered:
        record = {VSTPluginEvent::Ending::hang, 0,
                  "The plug-in hung " + doing + " (no answer within " +
                      std::to_string(limits.callTimeoutMilliseconds) + " ms); its process was ended"};
        break;
    case Cause::blocksBehind:
        record = {VSTPluginEvent::Ending::hang, 0,
                  "The plug-in hung " + doing + " (its blocks were behind for " +
                      std::to_string(limits.hangMilliseconds) + " ms); its process was ended"};
        break;
    case Cause::garbled:
        record = {VSTPluginEvent::Ending::hang, 0,
                  "The plug-in process answered what it was not asked " + doing + "; it was ended"};
        break;
    }
    endRecord = std::move(record);
    if (shared != nullptr)
        BlockSender::markEnded(*shared);
    ended.store(true, std::memory_order_release);
}

const PluginEnding* RemotePlugin::ending() const {
    return ended.load(std::memory_order_acquire) ? &endRecord : nullptr;
}

} // namespace varnel::extensions::vst

#endif
