#include "varnel/SingleBusAudioProcessorNode.h"

namespace varnel {

bool SingleBusAudioProcessorNode::setBusFormats(AudioBusFormatList& inputs, AudioBusFormatList& outputs) {
    if (inputs.size() != 1 || outputs.size() != 1) {
        return false;
    }
    return setBusFormat(inputs[0], outputs[0]);
}

bool SingleBusAudioProcessorNode::process(AudioBusList& inputs, AudioBusList& outputs) {
    // Audio thread: no allocation, locking or logging.
    if (inputs.size() != 1 || outputs.size() != 1) {
        return false;
    }
    return process(inputs[0], outputs[0]);
}

bool SingleBusAudioProcessorNode::setBusFormat(AudioBusFormat& in, AudioBusFormat& out) {
    return AudioBusFormat::matchBusFormats(in, out);
}

bool SingleBusAudioProcessorNode::process(AudioBus& in, AudioBus& out) {
    // Audio thread: no allocation, locking or logging.
    out.copyFrom(in);
    return true;
}

} // namespace varnel
