#include "live/JackSession.h"

#include "TextTable.h"
#include "ToolError.h"

#include <jack/jack.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <ostream>
#include <vector>

namespace varnelvst::tool {

namespace {

// libjack prints its own lines ("Cannot connect to server socket") on standard
// error; the tool says once, itself, what failed.
void quiet(const char*) {}

jack_client_t* openClient(const std::string& name, jack_status_t& status) {
    jack_set_error_function(quiet);
    jack_set_info_function(quiet);
    return jack_client_open(name.c_str(), JackNoStartServer, &status);
}

// The names jack_get_ports gives, copied and freed.
std::vector<std::string> portNames(jack_client_t* client, unsigned long flags) {
    std::vector<std::string> names;
    if (const char** ports = jack_get_ports(client, nullptr, JACK_DEFAULT_AUDIO_TYPE, flags)) {
        for (const char** port = ports; *port != nullptr; ++port)
            names.emplace_back(*port);
        jack_free(static_cast<void*>(ports));
    }
    return names;
}

std::string clientOf(const std::string& port) {
    return port.substr(0, port.find(':'));
}

// The ports of `device` (the physical ones when empty) with these flags, in order.
std::vector<std::string> devicePorts(jack_client_t* client, const std::string& device, unsigned long flags) {
    std::vector<std::string> chosen;
    for (const std::string& port : portNames(client, flags | (device.empty() ? JackPortIsPhysical : 0))) {
        if (device.empty() || clientOf(port) == device)
            chosen.push_back(port);
    }
    return chosen;
}

// jack_status_t's bits, as JACK's documentation lists them.
std::string hexadecimal(unsigned bits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", bits);
    return text;
}

std::uint32_t latencyOf(jack_port_t* port, jack_latency_callback_mode_t mode) {
    jack_latency_range_t range{};
    jack_port_get_latency_range(port, mode, &range);
    return range.max;
}

} // namespace

struct JackSession::Internals {
    jack_client_t* client = nullptr;
    jack_port_t* inputs[2] = {};
    jack_port_t* outputs[2] = {};
    AudioCallback* callback = nullptr;
    bool active = false;
    std::atomic<std::uint64_t> xruns{0};
    // A server may miss a period while it activates and connects a client; the
    // sound is silent until then, so those count for nothing.
    std::uint64_t xrunsBeforeStart = 0;
    std::atomic<bool> gone{false};
    // Written once by the shutdown callback, before `gone`; it may run on the
    // audio thread, so a fixed array, no allocation.
    char goneReason[256] = {};
};

namespace {

int onProcess(jack_nframes_t frames, void* internals) {
    // Audio thread: never allocates, locks, logs or waits.
    const auto& session = *static_cast<const JackSession::Internals*>(internals);
    const float* inputs[2];
    float* outputs[2];
    for (int channel = 0; channel < 2; ++channel) {
        inputs[channel] = static_cast<const float*>(jack_port_get_buffer(session.inputs[channel], frames));
        outputs[channel] = static_cast<float*>(jack_port_get_buffer(session.outputs[channel], frames));
    }
    session.callback->process(inputs, outputs, frames);
    return 0;
}

int onXrun(void* internals) {
    static_cast<JackSession::Internals*>(internals)->xruns.fetch_add(1, std::memory_order_relaxed);
    return 0;
}

void onShutdown(jack_status_t, const char* reason, void* internals) {
    auto& session = *static_cast<JackSession::Internals*>(internals);
    if (session.gone.load(std::memory_order_relaxed))
        return;
    std::strncpy(session.goneReason, reason != nullptr ? reason : "", sizeof session.goneReason - 1);
    session.gone.store(true, std::memory_order_release);
}

} // namespace

std::string JackSession::serverName() {
    const char* name = std::getenv("JACK_DEFAULT_SERVER");
    return name != nullptr && *name != '\0' ? name : "default";
}

std::string JackSession::notRunning() {
    return "no JACK server '" + serverName() +
           "' is running; start one (jackd -d alsa, or qjackctl), or on a PipeWire desktop run the tool "
           "through pw-jack";
}

std::unique_ptr<JackSession> JackSession::open(const std::string& clientName) {
    jack_status_t status{};
    jack_client_t* client = openClient(clientName, status);
    if (client == nullptr) {
        if ((status & JackServerFailed) != 0)
            return nullptr;
        throw failure("the JACK server '" + serverName() + "' refused a client (status " +
                      hexadecimal(status) + ")");
    }
    auto internals = std::make_unique<Internals>();
    internals->client = client;
    std::unique_ptr<JackSession> session(new JackSession(std::move(internals)));
    jack_client_t* const c = session->internals->client;
    const char* names[2][2] = {{"in_1", "in_2"}, {"out_1", "out_2"}};
    for (int channel = 0; channel < 2; ++channel) {
        session->internals->inputs[channel] =
            jack_port_register(c, names[0][channel], JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        session->internals->outputs[channel] =
            jack_port_register(c, names[1][channel], JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
        if (session->internals->inputs[channel] == nullptr || session->internals->outputs[channel] == nullptr)
            throw failure("the JACK server '" + serverName() + "' refused the client's audio ports");
    }
    jack_set_xrun_callback(c, onXrun, session->internals.get());
    jack_on_info_shutdown(c, onShutdown, session->internals.get());
    return session;
}

JackSession::JackSession(std::unique_ptr<Internals> owned) : internals(std::move(owned)) {}

JackSession::~JackSession() {
    stop();
    jack_client_close(internals->client);
}

int JackSession::sampleRate() const {
    return static_cast<int>(jack_get_sample_rate(internals->client));
}

std::uint32_t JackSession::bufferFrames() const {
    return jack_get_buffer_size(internals->client);
}

void JackSession::requestBufferFrames(std::uint32_t frames) {
    if (frames == bufferFrames())
        return;
    if (jack_set_buffer_size(internals->client, frames) != 0 || bufferFrames() != frames)
        throw failure("the JACK server '" + serverName() + "' refused a period of " + std::to_string(frames) +
                      " frames (it has " + std::to_string(bufferFrames()) + ")");
}

std::uint64_t JackSession::xruns() const noexcept {
    return internals->xruns.load(std::memory_order_relaxed) - internals->xrunsBeforeStart;
}

bool JackSession::shutDown() const noexcept {
    return internals->gone.load(std::memory_order_acquire);
}

std::string JackSession::shutDownReason() const {
    return shutDown() ? std::string(internals->goneReason) : std::string();
}

void JackSession::start(AudioCallback& callback, const std::string& device, bool withInput) {
    jack_client_t* const client = internals->client;
    internals->callback = &callback;
    if (jack_set_process_callback(client, onProcess, internals.get()) != 0 || jack_activate(client) != 0)
        throw failure("the JACK server '" + serverName() + "' would not run the client");
    internals->active = true;
    const std::string where = device.empty() ? std::string("the sound card") : "'" + device + "'";
    const std::vector<std::string> playback = devicePorts(client, device, JackPortIsInput);
    if (playback.empty())
        throw failure("no JACK client " + where + " takes audio on the server '" + serverName() +
                      "' (varnel-vst play --list-devices lists them)");
    for (std::size_t channel = 0; channel < 2; ++channel) {
        const std::string& port = playback[std::min(channel, playback.size() - 1)];
        if (jack_connect(client, jack_port_name(internals->outputs[channel]), port.c_str()) != 0)
            throw failure("the JACK server '" + serverName() + "' would not connect the output to " + port);
    }
    if (withInput)
        connectInputs(device);
    internals->xrunsBeforeStart = internals->xruns.load(std::memory_order_relaxed);
}

void JackSession::connectInputs(const std::string& device) {
    jack_client_t* const client = internals->client;
    // A device that only takes audio (a recorder) leaves the input to the sound card.
    std::vector<std::string> capture = devicePorts(client, device, JackPortIsOutput);
    if (capture.empty() && !device.empty())
        capture = devicePorts(client, "", JackPortIsOutput);
    if (capture.empty())
        throw failure(
            "the JACK server '" + serverName() +
            "' has no sound card input, nor does the device (varnel-vst play --list-devices lists them)");
    for (std::size_t channel = 0; channel < 2; ++channel) {
        const std::string& port = capture[std::min(channel, capture.size() - 1)];
        if (jack_connect(client, port.c_str(), jack_port_name(internals->inputs[channel])) != 0)
            throw failure("the JACK server '" + serverName() + "' would not connect " + port +
                          " to the input");
    }
}

void JackSession::stop() {
    if (!internals->active)
        return;
    // The server waits for the period in flight before it returns.
    jack_deactivate(internals->client);
    internals->active = false;
}

std::uint32_t JackSession::outputLatencyFrames() const {
    return latencyOf(internals->outputs[0], JackPlaybackLatency);
}

std::uint32_t JackSession::inputLatencyFrames() const {
    return latencyOf(internals->inputs[0], JackCaptureLatency);
}

bool JackSession::listDevices(std::ostream& out) {
    jack_status_t status{};
    jack_client_t* client = openClient("varnel-vst-list", status);
    if (client == nullptr)
        return false;
    const std::string own = jack_get_client_name(client);
    struct Device {
        std::size_t plays = 0, records = 0;
        bool physical = false;
    };
    std::map<std::string, Device> devices;
    for (const std::string& port : portNames(client, 0)) {
        const int flags = jack_port_flags(jack_port_by_name(client, port.c_str()));
        Device& device = devices[clientOf(port)];
        ((flags & JackPortIsInput) != 0 ? device.plays : device.records) += 1;
        device.physical = device.physical || (flags & JackPortIsPhysical) != 0;
    }
    const double period = 1000.0 * jack_get_buffer_size(client) / jack_get_sample_rate(client);
    char periodText[32];
    std::snprintf(periodText, sizeof periodText, "%.1f ms", period);
    out << "JACK server '" << serverName() << "': " << jack_get_sample_rate(client) << " Hz, periods of "
        << jack_get_buffer_size(client) << " frames (" << periodText << ")\n";
    jack_client_close(client);
    TextTable table({"device", "plays", "records", ""});
    for (const auto& [name, device] : devices) {
        if (name == own)
            continue;
        table.addRow({name, counted(device.plays, "channel"), counted(device.records, "channel"),
                      device.physical ? "the sound card (the default)" : ""});
    }
    table.print(out);
    return true;
}

} // namespace varnelvst::tool
