#pragma once

#include <vector>

namespace varnelvst::tool {

// The demo's input: interleaved stereo at `sampleRate`, `seconds` long. Drum-like
// hits (a falling-pitch kick on every beat at 120 bpm, a noise snare between)
// over a quiet sustained chord: loud transients over a soft bed, which makes a
// compressor's work easy to hear. The same every time.
std::vector<float> makeDemoSignal(int sampleRate, double seconds);

} // namespace varnelvst::tool
