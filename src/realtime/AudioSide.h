#pragma once

#include "realtime/AudioFailureTally.h"
#include "realtime/AudioGate.h"
#include "realtime/FixedBlocks.h"
#include "realtime/MusicalTransport.h"
#include "realtime/OutputParameterSlots.h"
#include "realtime/ParameterAutomation.h"
#include "realtime/ParameterSlots.h"

#include "public.sdk/source/vst/hosting/parameterchanges.h"

#include <atomic>
#include <cstdint>

namespace varnel::extensions::vst {

/// What the audio thread owns of a VSTModule, and the hand-offs between it and the
/// plug-in thread. The plug-in thread writes the plain fields only while the gate
/// is closed (no block runs); everything else crosses threads through the types
/// that keep their own synchronisation.
struct AudioSide {
    /// Whether blocks may reach the plug-in; counts what it lets through and not.
    AudioGate gate;
    /// Values on their way from control threads (and the plug-in's own edits) to
    /// the processor, and what the processor reports on its way back.
    ParameterSlots parameterSlots;
    OutputParameterSlots outputSlots;
    /// Input parameter changes of a block: each value set is carried once, by the
    /// first block after it was set, and the automation's points by every piece.
    /// Only the audio thread touches it while the gate is open.
    Steinberg::Vst::ParameterChanges parameterChanges{0};
    /// Envelopes and timed changes on their way to the blocks, and the last value
    /// each automated parameter was played with, for the controller to follow.
    ParameterAutomation automation;
    OutputParameterSlots playedValues;
    /// Tempo, time signature and transport position of the blocks, and the
    /// context they fill.
    MusicalTransport transport;
    Steinberg::Vst::ProcessContext context{};
    /// Blocks of one size for plug-ins that want them; off unless asked for.
    FixedBlocks fixedBlocks;
    /// Failures, counted here and logged by control calls.
    AudioFailureTally processErrors;
    AudioFailureTally processExceptions;
    AudioFailureTally blocksWithoutProcessor;
    /// Blocks of a plug-in in another process that went out dry: not back in time,
    /// or its process ended.
    AudioFailureTally dryBlocks;
    /// Blocks that met the closed gate while processing was meant to be on (a
    /// set-up or restart in progress): they did not reach the plug-in.
    std::atomic<std::uint64_t> blocksMissed{0};
    /// Whether the caller wants processing on; blocks that meet the closed gate
    /// count as missed only then.
    std::atomic<bool> processingWanted{true};
    /// Largest block and rate of the set-up the blocks run in; written while the
    /// gate is closed.
    Steinberg::int32 maxSamplesPerBlock = 0;
    double sampleRate = 0.0;
};

} // namespace varnel::extensions::vst
