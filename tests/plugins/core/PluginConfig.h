#pragma once

// What distinguishes one test plug-in of the family from another. Each bundle
// is one tiny source file that defines kPluginConfig; all behaviour lives in
// the shared code, which reads this record.

namespace testplugin {

// The highest factory interface the factory answers, to exercise a host's
// class-info fallbacks (IPluginFactory3 -> 2 -> 1).
enum class FactoryKind { plain, two, three };

enum class ClassLayout {
    separate,          // one audio module class with its own controller class
    combined,          // one class that is component and controller at once
    none,              // the factory declares nothing
    twoModules,        // two audio module classes, each with its controller class
    controllerOnly,    // only a controller class
    missingController, // the component names a controller class the factory cannot create
};

enum class ParameterLayout {
    standard,        // Gain 1, Mode 2, Meter 3 (read-only), Hidden 4 (hidden)
    duplicateTitles, // A 10, B 11, A 12; no Gain, the audio passes through
};

// How a plug-in that brings its host down does it, for hosts that must survive
// scanning one.
enum class Fault {
    none,
    crash, // SIGSEGV
    abort, // SIGABRT, as a failed assertion does
    hang,  // sleeps for good
};

constexpr unsigned kMaxLatency = 4096;
constexpr float kHum = 0.001f;

struct PluginConfig {
    const char* name = "";
    FactoryKind factory = FactoryKind::three;
    ClassLayout classes = ClassLayout::separate;
    ParameterLayout parameters = ParameterLayout::standard;
    int channels = 2;                  // of the main output bus, and of the main input bus unless below
    int inputChannels = 0;             // of the main input bus when it differs from `channels`
    int inputBuses = 1;                // 0: a generator without audio input
    bool sideChain = false;            // an inactive mono auxiliary input after the main one
    bool auxOutput = false;            // an inactive stereo auxiliary output after the main one
    bool refusesBusActivation = false; // activateBus answers kResultFalse
    bool answersAudioProcessor = true;
    int failingParameterInfoIndex = -1; // getParameterInfo answers kResultFalse for this index
    double refusedSampleRate = 0.0;     // setupProcessing answers kResultFalse for this rate (0: none)
    bool processReturnsFalse = false;   // process does its work, then answers kResultFalse
    bool refusesSetProcessing = false;  // setProcessing answers kResultFalse for both states
    bool initializeFails = false;       // the component's initialize answers kResultFalse
    bool holdsBlocks = false;           // process waits while the probe holds blocks
    bool refusesActivation = false;     // setActive(true) answers kResultFalse and stays inactive
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
    Fault factoryFault = Fault::none;    // in GetPluginFactory
    Fault classCountFault = Fault::none; // in the factory's countClasses
    bool hasEditor = false;              // createView gives a recording editor view (TestView.h)
};

extern const PluginConfig kPluginConfig;

// Commits `fault`; returns only for Fault::none.
void commitFault(Fault fault);

} // namespace testplugin
