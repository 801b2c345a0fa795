#pragma once

#include "live/AudioCallback.h"

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>

namespace varnelvst::tool {

// One client of a running JACK server (jackd, or PipeWire's JACK interface),
// the one JACK_DEFAULT_SERVER names: two audio inputs and two outputs, an
// AudioCallback run on the server's audio thread, the xruns the server reports
// counted, and a server that shuts the client down noticed. Control calls come
// from one thread.
class JackSession {
public:
    // A client called `clientName` (the server makes it unique); nothing when no
    // server runs, which is never started for it. Throws a ToolError for any other
    // refusal.
    static std::unique_ptr<JackSession> open(const std::string& clientName);
    ~JackSession();
    JackSession(const JackSession&) = delete;
    JackSession& operator=(const JackSession&) = delete;

    // The name JACK_DEFAULT_SERVER gives, or "default".
    static std::string serverName();
    // What to say when open() finds no server: which one, and how to get one.
    static std::string notRunning();

    int sampleRate() const;
    // The server's period; it can change while playing (another client may ask).
    std::uint32_t bufferFrames() const;
    // Asks the server for periods of `frames`, which every client of it then
    // gets. Throws a ToolError when the server refuses.
    void requestBufferFrames(std::uint32_t frames);

    // Starts calling `callback`, then connects the outputs to the playback ports of
    // `device` (a client's name; the sound card's when empty) and, with
    // `withInput`, its capture ports to the inputs (the sound card's, when the
    // device has none); a device of one port gets, or gives, both channels. `callback` must outlive stop().
    // Throws a ToolError when the server refuses or the device has no such ports.
    void start(AudioCallback& callback, const std::string& device, bool withInput);
    // Stops the callback: when it returns no call is in flight or will come.
    void stop();

    // Any thread: xruns the server reported since start() returned.
    std::uint64_t xruns() const noexcept;
    // Any thread: whether the server shut this client down (it stopped, or found
    // the client too slow); why, in the server's words.
    bool shutDown() const noexcept;
    std::string shutDownReason() const;

    // The frames between the outputs and what is heard, and between what is
    // played into the device and the inputs, as the server reports them now.
    std::uint32_t outputLatencyFrames() const;
    std::uint32_t inputLatencyFrames() const;

    // Lists the server's rate and period and every client with audio ports (a
    // device to --device), how many it plays and records. Nothing is written and
    // false returned when no server runs.
    static bool listDevices(std::ostream& out);

    // The client's state, shared with JACK's callbacks; in the .cpp.
    struct Internals;

private:
    explicit JackSession(std::unique_ptr<Internals> internals);
    void connectInputs(const std::string& device);

    std::unique_ptr<Internals> internals;
};

} // namespace varnelvst::tool
