#pragma once

#include "varnel/AudioNode.h"

namespace varnel {

// An audio node that turns input buses into output buses (an effect), as
// opposed to a pure source or sink.
class AudioProcessorNode : public AudioNode {
public:
    ~AudioProcessorNode() override = default;
};

} // namespace varnel
