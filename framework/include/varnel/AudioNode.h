#pragma once

#include "varnel/AudioBus.h"
#include "varnel/AudioBusFormat.h"
#include "varnel/Node.h"

namespace varnel {

// A node with audio buses. The framework negotiates formats on a control thread
// (setBusFormats) and then calls process once per block on its audio thread.
class AudioNode : public Node {
public:
    ~AudioNode() override = default;

    // Control thread. True when the node accepts the formats; it may adjust the
    // output formats to what it produces. Default: accepts nothing.
    virtual bool setBusFormats(AudioBusFormatList& inputs, AudioBusFormatList& outputs);
    // Audio thread: overrides must not allocate, lock, log or wait. True when the
    // outputs hold the block. Default: produces nothing.
    virtual bool process(AudioBusList& inputs, AudioBusList& outputs);
};

} // namespace varnel
