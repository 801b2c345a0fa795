#pragma once

// A real JACK server of the test's own (Debian's jackd2 with its dummy driver:
// real periods and deadlines, no sound card), and jack_rec recording from it,
// for the tests of live sound.

#include "testsupport/ScratchFolder.h"

#include <string>
#include <sys/types.h>
#include <vector>

namespace tooltest {

class JackServer {
public:
    // Starts jackd at 48 kHz with periods of `periodFrames`, in real time where
    // the system lets it, under a name no other test uses and a HOME of its
    // own; started() tells whether it runs, why not in failure().
    explicit JackServer(unsigned periodFrames = 256);
    ~JackServer(); // stops it
    JackServer(const JackServer&) = delete;
    JackServer& operator=(const JackServer&) = delete;

    // Whether jackd is installed at all; a test without it skips.
    static bool installed();

    bool started() const { return server > 0 && reason.empty(); }
    const std::string& failure() const { return reason; }
    const std::string& name() const { return serverName; }
    // "HOME=... JACK_DEFAULT_SERVER=...", for runTool; as a list, for BackgroundTool.
    std::string environment() const;
    std::vector<std::string> environmentList() const;

    // Waits up to 10 s for a port of that name to appear; whether it did.
    bool waitForPort(const std::string& port) const;

    // The periods in which the server's log says `client` did not finish in time.
    int xrunsBlamedOn(const std::string& client) const;
    std::string log() const;

    // Stops the server now (the destructor does it too).
    void stop();

private:
    testsupport::ScratchFolder folder;
    std::string serverName;
    pid_t server = -1;
    std::string reason;
};

// jack_rec recording the server into a 32-bit WAV for a number of seconds. Its
// client "jackrec" has two inputs that `play --device jackrec` plays into;
// they are also connected to the dummy driver's capture ports, which are silent.
class JackRecorder {
public:
    // Returns once the recorder's inputs are there; started() tells whether they came.
    JackRecorder(const JackServer& server, const std::string& path, int seconds);
    ~JackRecorder(); // kills it if it still runs
    JackRecorder(const JackRecorder&) = delete;
    JackRecorder& operator=(const JackRecorder&) = delete;

    bool started() const { return ready; }
    // Waits for the recording's end; whether it ended well.
    bool finish();

private:
    pid_t recorder = -1;
    bool ready = false;
};

} // namespace tooltest
