#include "OutputConversion.h"

#include "ToolError.h"

#include <soxr.h>

#include <cmath>

namespace varnelvst::tool {

namespace {

// Frames the resampler is asked for at a time when it is flushed.
constexpr std::size_t kFlushFrames = 4096;

} // namespace

OutputConversion::OutputConversion(int outputChannels, int renderRate, int outputRate, int integerBits,
                                   bool ditherWanted, Sink destination)
    // Floats hold 24 bits: 32-bit integers are left to libsndfile.
    : channels(outputChannels),
      steps(integerBits > 0 && integerBits <= 24 ? std::ldexp(1.0, integerBits - 1) : 0.0),
      dither(ditherWanted && steps > 0.0), sink(std::move(destination)) {
    if (renderRate == outputRate)
        return;
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_VHQ, 0);
    // One thread: the batch's --jobs decide how busy the machine gets.
    const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
    soxr_error_t error = nullptr;
    resampler =
        soxr_create(renderRate, outputRate, static_cast<unsigned>(channels), &error, &io, &quality, &runtime);
    if (error != nullptr)
        throw failure(std::string("cannot resample to ") + std::to_string(outputRate) + " Hz: " + error);
    rateRatio = static_cast<double>(outputRate) / renderRate;
}

OutputConversion::~OutputConversion() {
    if (resampler != nullptr)
        soxr_delete(resampler);
}

void OutputConversion::add(const float* interleavedStereo, std::size_t frames) {
    const auto count = static_cast<std::size_t>(channels);
    mixed.resize(frames * count);
    for (std::size_t frame = 0; frame < frames; ++frame) {
        const float left = interleavedStereo[2 * frame], right = interleavedStereo[2 * frame + 1];
        if (count == 1) {
            mixed[frame] = (left + right) * 0.5f;
        } else {
            mixed[2 * frame] = left;
            mixed[2 * frame + 1] = right;
        }
    }
    if (resampler == nullptr) {
        deliver(mixed.data(), frames);
        return;
    }
    resampled.resize((static_cast<std::size_t>(std::ceil(static_cast<double>(frames) * rateRatio)) + 16) *
                     count);
    for (std::size_t offset = 0; offset < frames;) {
        std::size_t done = 0, made = 0;
        const soxr_error_t error = soxr_process(resampler, mixed.data() + offset * count, frames - offset,
                                                &done, resampled.data(), resampled.size() / count, &made);
        if (error != nullptr)
            throw failure(std::string("cannot resample: ") + error);
        deliver(resampled.data(), made);
        if (done == 0 && made == 0)
            break;
        offset += done;
    }
}

void OutputConversion::finish() {
    if (resampler == nullptr)
        return;
    resampled.resize(kFlushFrames * static_cast<std::size_t>(channels));
    for (std::size_t made = 1; made > 0;) {
        const soxr_error_t error =
            soxr_process(resampler, nullptr, 0, nullptr, resampled.data(), kFlushFrames, &made);
        if (error != nullptr)
            throw failure(std::string("cannot resample: ") + error);
        deliver(resampled.data(), made);
    }
}

void OutputConversion::deliver(float* interleaved, std::size_t frames) {
    if (frames == 0)
        return;
    const std::size_t samples = frames * static_cast<std::size_t>(channels);
    // xorshift64*: fast, and the same noise on every run.
    const auto uniform = [this] {
        noiseState ^= noiseState >> 12;
        noiseState ^= noiseState << 25;
        noiseState ^= noiseState >> 27;
        return static_cast<double>((noiseState * 0x2545F4914F6CDD1Du) >> 11) * 0x1.0p-53;
    };
    for (std::size_t i = 0; steps > 0.0 && i < samples; ++i) {
        const double scaled = static_cast<double>(interleaved[i]) * steps;
        const double step = std::nearbyint(scaled);
        if (step == scaled)
            continue;
        // Beyond full scale libsndfile clips.
        interleaved[i] =
            static_cast<float>((dither ? std::nearbyint(scaled + uniform() - uniform()) : step) / steps);
    }
    sink(interleaved, frames);
}

} // namespace varnelvst::tool
