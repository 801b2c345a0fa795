#include "plugin/remote/ControlChannel.h"

#if defined(__linux__)

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace varnel::extensions::vst {

namespace {

/// Larger frames are taken for a broken stream: a plug-in state is megabytes at most.
constexpr std::uint32_t kLargestFrame = 1u << 30;

} // namespace

ControlChannel::ControlChannel(int descriptor) : socket(descriptor) {
    // Every wait goes through poll with its deadline; reads and writes never block.
    const int flags = fcntl(socket, F_GETFL);
    if (flags >= 0)
        fcntl(socket, F_SETFL, flags | O_NONBLOCK);
}

ControlChannel::~ControlChannel() {
    close();
}

void ControlChannel::close() {
    if (socket >= 0)
        ::close(socket);
    socket = -1;
}

ControlChannel::Receipt ControlChannel::await(short events, Clock::time_point deadline, int watched) {
    while (true) {
        int timeout = -1;
        if (deadline != kNever) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0)
                return Receipt::timedOut;
            timeout = static_cast<int>(std::min<long long>(left, 60'000));
        }
        pollfd descriptors[2] = {{socket, events, 0}, {watched, POLLIN, 0}};
        const int ready = poll(descriptors, watched >= 0 ? 2 : 1, timeout);
        if (ready < 0 && errno != EINTR)
            return Receipt::closed;
        if (ready <= 0)
            continue;
        // What the channel holds is read before the helper's end is taken for one:
        // its last answer may already be there.
        if ((descriptors[0].revents & (events | POLLHUP | POLLERR)) != 0)
            return Receipt::done;
        if (descriptors[1].revents != 0)
            return Receipt::watched;
    }
}

ControlChannel::Receipt ControlChannel::transfer(std::uint8_t* data, std::size_t size, bool writing,
                                                 Clock::time_point deadline, int watched) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t moved = writing ? ::send(socket, data + done, size - done, MSG_NOSIGNAL)
                                      : ::recv(socket, data + done, size - done, 0);
        if (moved > 0) {
            done += static_cast<std::size_t>(moved);
            continue;
        }
        if (moved == 0 && !writing)
            return Receipt::closed;
        if (moved < 0 && errno == EINTR)
            continue;
        if (moved < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return Receipt::closed;
        const Receipt ready = await(writing ? POLLOUT : POLLIN, deadline, watched);
        if (ready != Receipt::done)
            return ready;
    }
    return Receipt::done;
}

ControlChannel::Receipt ControlChannel::send(const std::vector<std::uint8_t>& frame,
                                             Clock::time_point deadline, int watched) {
    if (socket < 0)
        return Receipt::closed;
    return transfer(const_cast<std::uint8_t*>(frame.data()), frame.size(), true, deadline, watched);
}

ControlChannel::Receipt ControlChannel::receive(std::vector<std::uint8_t>& body, Clock::time_point deadline,
                                                int watched) {
    if (socket < 0)
        return Receipt::closed;
    std::uint32_t length = 0;
    Receipt receipt =
        transfer(reinterpret_cast<std::uint8_t*>(&length), sizeof(length), false, deadline, watched);
    if (receipt != Receipt::done)
        return receipt;
    if (length > kLargestFrame)
        return Receipt::closed;
    body.resize(length);
    return transfer(body.data(), length, false, deadline, watched);
}

} // namespace varnel::extensions::vst

#endif
