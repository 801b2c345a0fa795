// The musical context of the blocks: set here on control threads, read by the
// audio thread through MusicalTransport's atomics.
#include "module/VSTModuleInternals.h"

#include <cmath>
#include <sstream>

namespace varnel::extensions::vst {

bool VSTModule::setTempo(double beatsPerMinute) {
    Internals& in = *internals;
    return in.enter("setTempo", [&] {
        // Plug-ins divide by the tempo and size delay lines from it.
        if (!std::isfinite(beatsPerMinute) || beatsPerMinute <= 0.0) {
            std::ostringstream text;
            text << beatsPerMinute;
            return in.refuse("Invalid tempo: " + text.str());
        }
        in.audio.transport.setTempo(beatsPerMinute);
        return true;
    });
}

bool VSTModule::setTimeSignature(int numerator, int denominator) {
    Internals& in = *internals;
    return in.enter("setTimeSignature", [&] {
        if (numerator < 1 || denominator < 1)
            return in.refuse("Invalid time signature: " + std::to_string(numerator) + "/" +
                             std::to_string(denominator));
        in.audio.transport.setTimeSignature(numerator, denominator);
        return true;
    });
}

void VSTModule::setTransportPlaying(bool playing) {
    internals->enter("setTransportPlaying", [&] { internals->audio.transport.setPlaying(playing); });
}

void VSTModule::setTransportPosition(std::int64_t projectTimeSamples) {
    internals->enter("setTransportPosition", [&] { internals->audio.transport.locate(projectTimeSamples); });
}

} // namespace varnel::extensions::vst
