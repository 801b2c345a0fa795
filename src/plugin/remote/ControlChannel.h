#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

namespace varnel::extensions::vst {

/// One end of the control channel between a host and its plug-in's helper
/// process: a stream socket that carries whole frames (see Messages.h), with a
/// deadline on every wait, so that a helper that stops answering costs its
/// caller no more than the time it allows. A wait also ends when a second
/// descriptor becomes readable (the host watches the helper's process with it).
/// One thread at a time.
class ControlChannel {
public:
    using Clock = std::chrono::steady_clock;
    enum class Receipt {
        done,     ///< the frame went out, or came in whole
        closed,   ///< the other end closed the channel (its process ended)
        timedOut, ///< the deadline passed first
        watched,  ///< the watched descriptor became readable first
    };
    /// No deadline: waits as long as it takes.
    static constexpr Clock::time_point kNever = Clock::time_point::max();

    /// Takes over the socket `descriptor`.
    explicit ControlChannel(int descriptor);
    ~ControlChannel();
    ControlChannel(const ControlChannel&) = delete;
    ControlChannel& operator=(const ControlChannel&) = delete;

    /// Writes `frame` whole.
    Receipt send(const std::vector<std::uint8_t>& frame, Clock::time_point deadline, int watched = -1);
    /// Reads the next frame's body (without its length) into `body`.
    Receipt receive(std::vector<std::uint8_t>& body, Clock::time_point deadline, int watched = -1);
    /// Closes the socket; the other end reads the end of the stream.
    void close();

private:
    Receipt await(short events, Clock::time_point deadline, int watched);
    Receipt transfer(std::uint8_t* data, std::size_t size, bool writing, Clock::time_point deadline,
                     int watched);

    int socket;
};

} // namespace varnel::extensions::vst
