#pragma once

// What the test plug-ins record about the host that drives them, as the tests
// see it. Each plug-in library implements TestPluginProbe behind the exported
// function VarnelTestPlugin_probe(); tests reach it with dlsym (TestPluginHandle
// does that). Self-contained on purpose: plug-ins and tests share it, and it
// needs nothing but the standard library.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace testplugin {

#if defined(_WIN32)
// As <windows.h> declares it; that header is not included here, since its macros
// would rename members below (`interface`).
extern "C" __declspec(dllimport) unsigned long __stdcall GetCurrentThreadId();
#endif

// The id the recorder stores for the calling thread; compare with CallRecord::thread
// and ProcessRecord::thread. Never allocates. On Windows the system's id: each
// MinGW module links its own threads runtime, whose std::thread::id of a thread
// another module started differs from that module's.
inline std::uint64_t currentThreadToken() {
#if defined(_WIN32)
    return GetCurrentThreadId();
#else
    return static_cast<std::uint64_t>(std::hash<std::thread::id>{}(std::this_thread::get_id()));
#endif
}

// One call the host made into the plug-in library (module entry points, factory,
// component, controller). Process calls are kept apart, as ProcessRecord.
struct CallRecord {
    std::string
        interface;      // "module", "IPluginFactory", "IComponent", "IAudioProcessor", "IEditController", ...
    std::string method; // the VST 3 name: "initialize", "setActive", "setupProcessing", ...
    std::string arguments;    // the arguments that matter, e.g. "true" or "mode=0 sampleSize=0 maxSamples=512
                              // rate=48000"
    std::string object;       // "module", or the object's class name and instance number: "TestSeparate#2"
    std::uint64_t thread = 0; // currentThreadToken() of the caller
    std::int32_t result = 0;  // the tresult (or count, or bool) the plug-in answered
};

// Snapshot of one input parameter queue as the plug-in saw it in a block.
struct ParameterQueueRecord {
    std::uint32_t id = 0;
    std::int32_t pointCount = 0;
    std::int32_t firstOffset = 0;
    double firstValue = 0.0;
    double lastValue = 0.0;
};

// One point of an input parameter queue as a processing component read it, placed
// on the stream of frames that instance rendered: `blockStart` frames came before
// the block, the point lies `offset` frames into it.
struct QueuePoint {
    std::int32_t object = 0;      // instance number of the processing component
    std::uint32_t id = 0;         // the queue's parameter id
    std::int64_t blockStart = 0;  // frames this instance rendered before the block
    std::int32_t blockFrames = 0; // numSamples of the block (0 for a parameters-only block)
    std::int32_t offset = 0;
    double value = 0.0;

    std::int64_t frame() const { return blockStart + offset; }
};

// One IAudioProcessor::process call, stored without allocation on the audio thread.
struct ProcessRecord {
    static constexpr std::size_t maxQueues = 8;

    std::int32_t object = 0; // instance number of the processing component
    std::int32_t numSamples = 0;
    std::int32_t processMode = 0;
    std::int32_t symbolicSampleSize = 0;
    std::int32_t numInputs = 0;
    std::int32_t numOutputs = 0;
    std::int32_t inputChannels = 0;  // numChannels of input bus 0 (0 without one)
    std::int32_t outputChannels = 0; // numChannels of output bus 0 (0 without one)
    bool hasOutputParameterChanges = false;
    std::uint64_t thread = 0;              // currentThreadToken() of the audio thread
    std::int32_t parameterCount = 0;       // inputParameterChanges->getParameterCount(), 0 when null
    std::int32_t outputParameterCount = 0; // outputParameterChanges->getParameterCount() on entry
    std::array<ParameterQueueRecord, maxQueues> queues{}; // the first min(parameterCount, 8) queues
    double gain = 0.0;                                    // the gain the block was processed with
    std::int32_t result = 0;                              // the tresult process answered
    // The process context as the block carried it; all 0 without one.
    bool hasProcessContext = false;
    std::uint32_t contextState = 0; // ProcessContext::state: validity and transport flags
    double tempo = 0.0;
    std::int64_t projectTimeSamples = 0;
    double projectTimeMusic = 0.0;
    double barPositionMusic = 0.0;
    std::int32_t timeSigNumerator = 0;
    std::int32_t timeSigDenominator = 0;
};

// Plug-in calls that throw, as plug-ins with a fault in their code do, while a
// test has switched them on (TestPluginProbe::throwFrom). The call is recorded
// first, with the result kInternalError.
enum class ThrowingCall {
    process,            // std::runtime_error, after the block was processed and recorded
    setupProcessing,    // std::bad_alloc, before the set-up changes anything
    setParamNormalized, // std::runtime_error from the controller, before the value changes
};

// What the editor view of a plug-in with an editor did on its own, from the host's
// run loop (Linux): timer ticks and pipe wake-ups it served, and on which thread.
struct EditorActivity {
    int timerTicks = 0;
    int fdWakeups = 0;
    std::uint64_t lastTickThread = 0; // currentThreadToken() of the last tick
    bool attached = false;            // a view is attached now
};

class TestPluginProbe {
public:
    // All of these run on a control thread. calls(), violations() and reset() lock the
    // control-side log; lastProcesses() and reset() must not overlap a process call.

    // Every recorded call, in call order.
    virtual std::vector<CallRecord> calls() const = 0;
    // Order violations, the control-side ones first, then those found inside process.
    virtual std::vector<std::string> violations() const = 0;
    // Process calls since the library was loaded or the probe reset.
    virtual std::int64_t processCount() const = 0;
    // The last n process calls, oldest first; at most 256 are kept.
    virtual std::vector<ProcessRecord> lastProcesses(std::size_t n) const = 0;
    // Every point of every input parameter queue since the library was loaded or
    // the probe reset, in the order read; the first 16384 are kept.
    virtual std::vector<QueuePoint> queuePoints() const = 0;
    // Calls whose method is method; "process" counts process calls.
    virtual int count(const std::string& method) const = 0;
    // Factories, components and controllers not yet released.
    virtual int liveObjects() const = 0;
    // Clears calls, violations and process records; the lifecycle state stays.
    virtual void reset() = 0;
    // Plug-ins whose configuration holds blocks: while held, a process call waits
    // inside the plug-in until released; blockHeld() tells that one is waiting.
    virtual void holdBlocks(bool hold) = 0;
    virtual bool blockHeld() const = 0;

    // What a plug-in does on its own, through the IComponentHandler the host gave
    // its controller; false when it has none (or, for an edit, refused it).
    // changeLatency: the component reports `samples` (and delays by them) from its
    // next activation on, and asks for restartComponent(kLatencyChanged).
    virtual bool changeLatency(std::uint32_t samples) = 0;
    virtual bool requestRestart(std::int32_t flags) = 0;
    // beginEdit, performEdit(id, value), endEdit, as the plug-in's own editor would.
    virtual bool performEdit(std::uint32_t id, double value) = 0;

    // The calls below answer inertly here (false, nothing, 0); every plug-in library's
    // probe overrides them, so only the probe of a library that did not load keeps these.

    // restartComponent(flags) from a thread the plug-in starts for the call and joins
    // before returning, as JUCE plug-ins call it from their own message thread.
    virtual bool requestRestartFromOwnThread(std::int32_t /*flags*/) { return false; }
    // restartComponent(kLatencyChanged) from such a thread while the latency stays as
    // it is: JUCE plug-ins announce every latency they set, changed or not.
    virtual bool announceUnchangedLatency() { return false; }
    // A program loaded on the controller side: the controller sets each (id, normalised
    // value) itself, leaving the processor as it is, then asks for
    // restartComponent(kParamValuesChanged) on the calling thread. False without a
    // handler, or when an id is unknown (then nothing changes).
    virtual bool loadProgramOnController(const std::vector<std::pair<std::uint32_t, double>>& /*values*/) {
        return false;
    }
    // The processor's own latency change (two-way bundles only; false elsewhere): the
    // next block that is processed with outputParameterChanges reports "Latency" (id 7)
    // as samples / 4096; the component reports and applies it from its next
    // activation. The controller, given a different "Latency" value through
    // setParamNormalized, calls restartComponent(kLatencyChanged) inside that call.
    virtual bool reportLatencyFromProcessor(std::uint32_t /*samples*/) { return false; }
    // The controller gives parameter `id` a new title (ASCII) and asks for
    // restartComponent(kParamTitlesChanged), as plug-ins that name their slots after
    // what is loaded into them do. False without a handler, or for an unknown id.
    virtual bool renameParameter(std::uint32_t /*id*/, const std::string& /*title*/) { return false; }
    // Switches a throwing call on or off; it throws on every call while on.
    virtual void throwFrom(ThrowingCall /*call*/, bool /*on*/) {}
    // currentThreadToken() of a strict-threads plug-in's UI thread (the thread of its
    // first call); 0 before that call and for plug-ins that do not check threads.
    virtual std::uint64_t uiThread() const { return 0; }
    // The attached editor view (plug-ins with an editor); false when none is.
    virtual EditorActivity editorActivity() const = 0;
    // Writes a byte into the pipe the view watches through the host's run loop.
    virtual bool wakeEditor() = 0;
    // On the view's next timer tick: beginEdit, performEdit, endEdit, as a mouse
    // gesture in an editor does; or IPlugFrame::resizeView to this size.
    virtual bool editFromEditor(std::uint32_t id, double value) = 0;
    virtual bool resizeFromEditor(int width, int height) = 0;

protected:
    ~TestPluginProbe() = default;
};

using ProbeFunction = TestPluginProbe* (*)();

} // namespace testplugin

extern "C" testplugin::TestPluginProbe* VarnelTestPlugin_probe();
