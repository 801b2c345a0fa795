#include "TestSignal.h"

#include <cmath>
#include <cstdint>
#include <numbers>

namespace varnelvst::tool {

namespace {

constexpr double kBeatSeconds = 0.5;
constexpr double kTwoPi = 2.0 * std::numbers::pi;

// A fixed-seed generator: the demo should sound the same on every run.
class Noise {
public:
    double next() {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<double>(state >> 11) / static_cast<double>(1ull << 53) * 2.0 - 1.0;
    }

private:
    std::uint64_t state = 0x5eed;
};

double kick(double t) {
    // The pitch falls from about 150 Hz to 50 Hz; the phase is the integral of that.
    const double phase = kTwoPi * (50.0 * t + 100.0 * 0.03 * (1.0 - std::exp(-t / 0.03)));
    return 0.7 * std::exp(-t / 0.15) * std::sin(phase);
}

double chord(double t, double detune) {
    const double a = std::sin(kTwoPi * 220.0 * detune * t);
    const double c = std::sin(kTwoPi * 261.63 * detune * t);
    const double e = std::sin(kTwoPi * 329.63 * detune * t);
    return 0.05 * (a + c + e);
}

} // namespace

std::vector<float> makeDemoSignal(int sampleRate, double seconds) {
    const auto frames = static_cast<std::size_t>(seconds * sampleRate);
    std::vector<float> samples(2 * frames);
    Noise noise;
    for (std::size_t frame = 0; frame < frames; ++frame) {
        const double t = static_cast<double>(frame) / sampleRate;
        const double sinceBeat = std::fmod(t, kBeatSeconds);
        const double sinceOffbeat = std::fmod(t + kBeatSeconds / 2, kBeatSeconds);
        const double snare = 0.4 * std::exp(-sinceOffbeat / 0.07) * noise.next();
        const double drums = kick(sinceBeat) + snare;
        // A slightly detuned right channel keeps the image wide.
        samples[2 * frame] = static_cast<float>(drums + chord(t, 1.0));
        samples[2 * frame + 1] = static_cast<float>(drums + chord(t, 1.003));
    }
    return samples;
}

} // namespace varnelvst::tool
