#pragma once

#include <optional>
#include <string>

namespace varnelvst::tool {

// One end of the socket between a batch and one of its worker processes. A
// message is text ended by a NUL byte, which no path holds; its first word says
// what it is. Sending never raises SIGPIPE: a closed other end is a false.
class WorkerChannel {
public:
    // Takes ownership of `socket`.
    explicit WorkerChannel(int socket);
    ~WorkerChannel();
    WorkerChannel(const WorkerChannel&) = delete;
    WorkerChannel& operator=(const WorkerChannel&) = delete;

    int descriptor() const { return socket; }

    bool send(const std::string& message);

    // Waits for the next whole message; empty once the other end has closed.
    std::optional<std::string> receive();

    // For a caller that polls: reads what has arrived without waiting for more
    // (false once the other end has closed), then hands out the whole messages.
    bool readArrived();
    std::optional<std::string> nextMessage();

private:
    bool readSome(); // false at the end or on an error

    int socket;
    std::string buffer; // received, not yet handed out
};

// The first word of a message and the rest after one space.
std::pair<std::string, std::string> splitMessage(const std::string& message);

} // namespace varnelvst::tool
