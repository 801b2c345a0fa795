#include "WorkerChannel.h"

#include <cerrno>

#include <sys/socket.h>
#include <unistd.h>

namespace varnelvst::tool {

WorkerChannel::WorkerChannel(int descriptor) : socket(descriptor) {}

WorkerChannel::~WorkerChannel() {
    ::close(socket);
}

bool WorkerChannel::send(const std::string& message) {
    const std::string framed = message + '\0';
    std::size_t done = 0;
    while (done < framed.size()) {
        const ssize_t sent = ::send(socket, framed.data() + done, framed.size() - done, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        done += static_cast<std::size_t>(sent);
    }
    return true;
}

bool WorkerChannel::readSome() {
    char chunk[4096];
    while (true) {
        const ssize_t got = ::recv(socket, chunk, sizeof chunk, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        buffer.append(chunk, static_cast<std::size_t>(got));
        return true;
    }
}

std::optional<std::string> WorkerChannel::nextMessage() {
    const std::size_t end = buffer.find('\0');
    if (end == std::string::npos)
        return std::nullopt;
    std::string message = buffer.substr(0, end);
    buffer.erase(0, end + 1);
    return message;
}

std::optional<std::string> WorkerChannel::receive() {
    while (true) {
        if (std::optional<std::string> message = nextMessage())
            return message;
        if (!readSome())
            return std::nullopt;
    }
}

bool WorkerChannel::readArrived() {
    return readSome();
}

std::pair<std::string, std::string> splitMessage(const std::string& message) {
    const std::size_t space = message.find(' ');
    if (space == std::string::npos)
        return {message, {}};
    return {message.substr(0, space), message.substr(space + 1)};
}

} // namespace varnelvst::tool
