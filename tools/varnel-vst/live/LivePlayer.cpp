#include "live/LivePlayer.h"

#include "live/FileFeeder.h"
#include "live/SampleRing.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace varnelvst::tool {

static_assert(std::atomic<float>::is_always_lock_free && std::atomic<std::uint64_t>::is_always_lock_free,
              "the audio thread's meters must not take a lock");

namespace {

float peakOf(const float* samples, std::size_t count) noexcept {
    float peak = 0.0f;
    for (std::size_t i = 0; i < count; ++i)
        peak = std::max(peak, std::fabs(samples[i]));
    return peak;
}

} // namespace

LivePlayer::LivePlayer(std::vector<varnel::extensions::vst::VSTProcessorNode*> chain,
                       std::uint32_t maxBlockFrames, int sampleRate, SampleRing* fileRing,
                       const FileFeeder* feeder, std::uint64_t framesAfterEnd)
    : renderer(std::move(chain), maxBlockFrames), maxBlock(maxBlockFrames), nanosPerFrame(1e9 / sampleRate),
      ring(fileRing), file(feeder), inputBlock(2 * static_cast<std::size_t>(maxBlockFrames)),
      outputBlock(2 * static_cast<std::size_t>(maxBlockFrames)), framesLeft(framesAfterEnd) {}

void LivePlayer::process(const float* const* inputs, float* const* outputs, std::uint32_t frames) noexcept {
    // Audio thread: never allocates, locks, logs or waits.
    const auto start = std::chrono::steady_clock::now();
    if (!playing.load(std::memory_order_acquire) || over.load(std::memory_order_relaxed)) {
        std::fill_n(outputs[0], frames, 0.0f);
        std::fill_n(outputs[1], frames, 0.0f);
        return;
    }
    // The server's period may have grown since the nodes were set up: they get
    // it in pieces of the size they were told.
    for (std::uint32_t offset = 0; offset < frames; offset += maxBlock) {
        const std::uint32_t piece = std::min(maxBlock, frames - offset);
        const std::uint32_t heard = takeInput(inputs, offset, piece);
        float* const pieceOutputs[] = {outputs[0] + offset, outputs[1] + offset};
        render(pieceOutputs, piece, heard);
    }
    const auto busy =
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start);
    measured.addCallback(static_cast<std::uint64_t>(busy.count()),
                         static_cast<std::uint64_t>(frames * nanosPerFrame));
    measured.addFrames(frames);
}

// Fills inputBlock with `frames` frames of the source, silence where it had
// none; returns how many it had.
std::uint32_t LivePlayer::takeInput(const float* const* inputs, std::uint32_t offset,
                                    std::uint32_t frames) noexcept {
    std::size_t got = 0;
    if (ring == nullptr) {
        for (std::uint32_t frame = 0; frame < frames; ++frame) {
            inputBlock[2 * frame] = inputs[0][offset + frame];
            inputBlock[2 * frame + 1] = inputs[1][offset + frame];
        }
        got = frames;
    } else if (!inputEnded) {
        // Asked before the ring is read: once the file is all in, a short read is its end.
        const bool fileDone = file->finished();
        got = ring->read(inputBlock.data(), frames);
        if (got < frames) {
            if (fileDone)
                inputEnded = true;
            else
                measured.addLateFrames(frames - got);
        }
    }
    std::fill(inputBlock.begin() + static_cast<std::ptrdiff_t>(2 * got),
              inputBlock.begin() + static_cast<std::ptrdiff_t>(2 * frames), 0.0f);
    if (inputEnded) {
        const std::uint64_t after = std::min<std::uint64_t>(framesLeft, frames - got);
        framesLeft -= after;
        if (framesLeft == 0)
            over.store(true, std::memory_order_release);
    }
    return static_cast<std::uint32_t>(got);
}

void LivePlayer::render(float* const* outputs, std::uint32_t frames, std::uint32_t heard) noexcept {
    renderer.render(inputBlock.data(), 2, frames, outputBlock.data());
    for (std::uint32_t frame = 0; frame < frames; ++frame) {
        outputs[0][frame] = outputBlock[2 * frame];
        outputs[1][frame] = outputBlock[2 * frame + 1];
    }
    const std::size_t samples = 2 * static_cast<std::size_t>(frames);
    inputStats.add(inputBlock.data(), 2 * static_cast<std::size_t>(heard));
    outputStats.add(outputBlock.data(), samples);
    measured.addPeaks(peakOf(inputBlock.data(), samples), peakOf(outputBlock.data(), samples));
}

} // namespace varnelvst::tool
