#pragma once

#include "varnel/AudioBus.h"
#include "varnel/AudioBusFormat.h"
#include "varnel/AudioProcessorNode.h"

namespace varnel {

// A processor with exactly one input and one output bus. The list calls reach
// the single-bus calls below, which derived nodes override; lists of any other
// size are refused without calling them. A derived node that overrides one
// process overload hides the other in its own scope; add
// `using SingleBusAudioProcessorNode::process;` to call both through it.
class SingleBusAudioProcessorNode : public AudioProcessorNode {
public:
    ~SingleBusAudioProcessorNode() override = default;

    bool setBusFormats(AudioBusFormatList& inputs, AudioBusFormatList& outputs) override;
    // Audio thread; never allocates, locks or logs.
    bool process(AudioBusList& inputs, AudioBusList& outputs) override;

    // Control thread. Default: AudioBusFormat::matchBusFormats(in, out).
    virtual bool setBusFormat(AudioBusFormat& in, AudioBusFormat& out);
    // Audio thread. Default: copies in to out and returns true.
    virtual bool process(AudioBus& in, AudioBus& out);
};

} // namespace varnel
