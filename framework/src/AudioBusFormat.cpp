#include "varnel/AudioBusFormat.h"

namespace varnel {

bool AudioBusFormat::matchBusFormats(AudioBusFormat& a, AudioBusFormat& b) noexcept {
    return a == b;
}

} // namespace varnel
