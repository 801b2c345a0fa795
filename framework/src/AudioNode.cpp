#include "varnel/AudioNode.h"

namespace varnel {

bool AudioNode::setBusFormats(AudioBusFormatList&, AudioBusFormatList&) {
    return false;
}

bool AudioNode::process(AudioBusList&, AudioBusList&) {
    return false;
}

} // namespace varnel
