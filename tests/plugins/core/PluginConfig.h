#pragma once

// What distinguishes one test plug-in of the family from another. Each bundle
// is one tiny source file that defines kPluginConfig; all behaviour lives in
// the shared code, which reads this record.

namespace testplugin {

// The highest factory interface the factory answers, to exercise a host's
// class-info fallbacks (IPluginFactory3 -> 2 -> 1).
enum class FactoryKind { plain, two, three };

enum class ClassLayout {
    separate,            // one audio module class with its own controller class
    combined,            // one class that is component and controller at once
    none,                // the factory declares nothing
    twoModules,          // two audio module classes, each with its controller class
    effectAndInstrument, // an effect ("Fx") and an instrument ("Instrument|Synth"), each with its controller
    controllerOnly,      // only a controller class
    missingController,   // the component names a controller class the factory cannot create
};

enum class ParameterLayout {
    standard,        // Gain 1, Mode 2, Meter 3 (read-only), Hidden 4 (hidden)
    duplicateTitles, // A 10, B 11, A 12; no Gain, the audio passes through
    // The standard four, then Program 5, Choice 6 and Latency 7 (read-only): a
    // plug-in whose processor changes its own parameters and reports them back
    // (ParameterSet.h has the ids and step rules).
    twoWay,
};

// How a plug-in that brings its host down does it, for hosts that must survive
// scanning one.
enum class Fault {
    none,
    crash, // SIGSEGV
    abort, // SIGABRT, as a failed assertion does
    hang,  // sleeps for good
    kill,  // SIGKILL, as the out-of-memory killer sends: no handler of the host runs
    exit,  // exit(0), as plug-ins that give up on an error do, ending the whole process
};

constexpr unsigned kMaxLatency = 4096;
constexpr float kHum = 0.001f;

struct PluginConfig {
    const char* name = "";
    FactoryKind factory = FactoryKind::three;
    ClassLayout classes = ClassLayout::separate;
    ParameterLayout parameters = ParameterLayout::standard;
    int channels = 2;          // of the main output bus, and of the main input bus unless below
    int inputChannels = 0;     // of the main input bus when it differs from `channels`
    int inputBuses = 1;        // 0: a generator without audio input
    bool sideChain = false;    // an inactive auxiliary input after the main one
    int sideChainChannels = 1; // of that side-chain: 1 or 2
    // Adds the side-chain to the output (channel c gets side-chain channel c, or
    // the last one there is), so a test hears what reached it.
    bool addsSideChain = false;
    bool auxOutput = false;            // an inactive stereo auxiliary output after the main one
    bool refusesBusActivation = false; // activateBus answers kResultFalse
    bool answersAudioProcessor = true;
    int failingParameterInfoIndex = -1; // getParameterInfo answers kResultFalse for this index
    double refusedSampleRate = 0.0;     // setupProcessing answers kResultFalse for this rate (0: none)
    bool processReturnsFalse = false;   // process does its work, then answers kResultFalse
    bool refusesSetProcessing = false;  // setProcessing answers kResultFalse for both states
    bool initializeFails = false;       // the component's initialize answers kResultFalse
    bool holdsBlocks = false;           // process waits while the probe holds blocks
    // process sleeps this long in every block with audio, as a plug-in too slow for
    // its host's deadline does (0: never).
    unsigned processSleepMicroseconds = 0;
    bool refusesActivation = false; // setActive(true) answers kResultFalse and stays inactive
    // Delays its audio by this much (at most kMaxLatency) and reports it; a new one
    // (TestPluginProbe::changeLatency) holds from the next activation on.
    unsigned latencySamples = 0;
    // What getTailSamples answers. 0xFFFFFFFF (kInfiniteTail) also adds a steady
    // hum of kHum * Gain to the output, so that the tail never ends while Gain > 0.
    unsigned tailSamples = 0;
    // The component's state also holds an output offset that no parameter shows, and
    // setState takes a while between gain and offset, as a plug-in rebuilding its DSP
    // would; the controller keeps a state of its own (a view scale).
    bool keepsStateOutsideParameters = false;
    // setActive(true) puts the processor's parameter state (gain, choice) back to
    // the defaults, as some SDK plug-ins do: after setState and a re-activation only
    // a host that sends the restored values again gets the restored sound.
    bool resetsOnActivation = false;
    // Checks VST 3's threading rule as the SDK's host checker does: the thread of
    // the first call (ModuleEntry, in a correct host) becomes the plug-in's UI
    // thread; any later call but process and setProcessing (which VST 3 allows on
    // the audio thread) from another thread is recorded as a violation and answered
    // with a failure (kResultFalse, 0 or null) without doing anything.
    bool strictThreads = false;
    Fault factoryFault = Fault::none;    // in GetPluginFactory
    Fault classCountFault = Fault::none; // in the factory's countClasses
    bool printsAtLoad = false;           // GetPluginFactory prints a line to standard output
    // Like a tempo-synced effect: a block without a process context, or whose
    // context lacks a valid tempo, time signature or musical position, is a violation.
    bool needsProcessContext = false;
    // Like effects that work only in whole blocks of their set-up's size: any other
    // block is a violation, refused (kResultFalse) and left as it was.
    bool processesOnlyFullBlocks = false;
    // The component asks the host context, once initialised, which interfaces it
    // supports (IPlugInterfaceSupport), recording one isPlugInterfaceSupported call
    // per interface with the interface's name as arguments and the answer as result;
    // arguments "unavailable" when the context does not offer the interface.
    bool asksInterfaceSupport = false;
    // Prints a line to standard output through printf and one through std::cout at
    // ModuleEntry, as plug-ins' debug prints do.
    bool printsToStandardOutput = false;
    // ModuleEntry starts a helper program (a licence daemon, a crash reporter) that
    // outlives the call and inherits what it may; its process id goes to the file
    // named by $VARNELVST_TEST_HELPER_PID_FILE, and without that variable none starts.
    bool startsHelperAtEntry = false;
    // A Mode value reaching the processor (step s of 0..2) changes the delay at once
    // to latencyByMode[s] and asks for a restart with kLatencyChanged, as a look-ahead
    // switch does; `latencySamples` is the latency before any Mode value arrives.
    bool latencyFollowsMode = false;
    unsigned latencyByMode[3] = {};
    // The new latency a Mode value asks for, and every latency, holds and is told
    // (getLatencySamples) only from the next activation on, as VST 3 describes and
    // the SDK's host checker does; the request comes from the processor at once.
    bool tellsLatencyAfterActivation = false;
    // Applies a block's changes in the order of its queues, as JUCE's wrapper does:
    // a Gain after the Program in one block wins over the program's gain.
    bool appliesChangesInQueueOrder = false;
    // Every block with audio, the processor edits Gain (performEdit with the gain it
    // runs at), an id it does not list (9999), and asks for kParamValuesChanged: a
    // parameter set from the audio callback, as JUCE plug-ins may.
    bool editsFromProcess = false;
    // Not 0: the first block with frames changes the delay to this at once and asks
    // for a restart with kLatencyChanged, as a plug-in that picks its look-ahead
    // from what it hears does; in the middle of a render, to the host's surprise.
    unsigned latencyOnceAudioFlows = 0;
    // Not 0: a latency's restart request comes not from the processor but from a
    // thread of the plug-in's own this many milliseconds later, and one more after
    // every activation for the latency it already has, as JUCE's plug-in client
    // sends them (getLatencySamples tells the new latency at once).
    unsigned latencyRequestDelayMs = 0;
    // Adds an envelope of its input to the output, slow to decay, that setActive does
    // not clear: sound of one file reaches the next unless each gets a fresh instance.
    bool keepsSignalAcrossActivation = false;
    // Adds noise of this amplitude to every output sample for ever and reports no
    // tail, like dither or a tape hiss model.
    float noiseFloor = 0.0f;
    // What process does on a NaN or infinite input sample: crash (SIGSEGV), as DSP
    // code that divides by what it measured may, or another of the faults.
    Fault nonFiniteInputFault = Fault::none;
    bool hasEditor = false; // createView gives a recording editor view (TestView.h)
    // Gain follows every point of its queue, ramping linearly from the value before
    // the block (at offset -1) through each point, as VST 3 describes a queue; the
    // other plug-ins run each block at its queue's last value.
    bool rampsGain = false;
    // The component sends its peer one message, id "FromProcess", from the first
    // process call after each activation, as processors that feed a display do.
    // The message is allocated at activation, so that process stays free of
    // allocation; a host must not deliver it on the audio thread.
    bool sendsMessageFromProcess = false;
    // The editor view never unregisters its run-loop timer and event handler when it
    // is removed, as some plug-ins forget to: only the host can take them away.
    bool editorLeavesRunLoopWork = false;
    // Faults of plug-ins that bring their host down from a control call: in the
    // component's setActive(true), in the controller's getParamStringByValue, and
    // in the component's setState.
    Fault activationFault = Fault::none;
    Fault valueTextFault = Fault::none;
    Fault setStateFault = Fault::none;
};

extern const PluginConfig kPluginConfig;

// Commits `fault`; returns only for Fault::none.
void commitFault(Fault fault);

} // namespace testplugin
