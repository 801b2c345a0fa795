#include "RenderTimeline.h"

#include <algorithm>
#include <cmath>

namespace varnelvst::tool {

RenderTimeline::RenderTimeline(std::uint64_t latencyFrames, std::optional<std::uint64_t> tailFrames,
                               int sampleRate)
    : toDrop(latencyFrames), tailLimit(tailFrames.value_or(tailCapFrames(sampleRate))),
      untilSilent(!tailFrames), framesPerSecond(static_cast<std::uint64_t>(sampleRate)) {}

std::uint64_t RenderTimeline::tailCapFrames(int sampleRate) {
    return static_cast<std::uint64_t>(std::llround(kTailCapSeconds * sampleRate));
}

void RenderTimeline::inputEnded(std::uint64_t inputFrames) {
    inputLength = inputFrames;
    finished = written >= inputFrames + tailLimit;
}

std::uint64_t RenderTimeline::tailWritten() const {
    return inputLength && written > *inputLength ? written - *inputLength : 0;
}

void RenderTimeline::flushHeldBack(const Sink& write) {
    if (heldBack.empty())
        return;
    write(heldBack.data(), heldBack.size() / 2);
    written += heldBack.size() / 2;
    heldBack.clear();
}

void RenderTimeline::add(const float* interleavedStereo, std::size_t frames, const Sink& write) {
    const auto dropped = static_cast<std::size_t>(std::min<std::uint64_t>(toDrop, frames));
    toDrop -= dropped;
    std::size_t runStart = dropped; // of frames to write as they are
    std::size_t frame = dropped;
    const auto writeRun = [&] {
        if (frame > runStart) {
            write(interleavedStereo + 2 * runStart, frame - runStart);
            written += frame - runStart;
        }
        runStart = frame;
    };
    for (; frame < frames && !finished; ++frame) {
        const std::uint64_t position = written + heldBack.size() / 2 + (frame - runStart);
        if (inputLength && position >= *inputLength + tailLimit) {
            finished = true;
            break;
        }
        if (!untilSilent || !inputLength || position < *inputLength)
            continue;
        const float left = interleavedStereo[2 * frame], right = interleavedStereo[2 * frame + 1];
        if (std::fabs(left) >= kSilence || std::fabs(right) >= kSilence) {
            if (!heldBack.empty()) {
                writeRun();
                flushHeldBack(write);
            }
            continue;
        }
        writeRun();
        runStart = frame + 1;
        heldBack.push_back(left);
        heldBack.push_back(right);
        if (heldBack.size() / 2 >= framesPerSecond) {
            heldBack.clear();
            finished = true;
        }
    }
    writeRun();
    if (inputLength && written + heldBack.size() / 2 >= *inputLength + tailLimit) {
        // At the cap, what was held back belongs to the file after all.
        flushHeldBack(write);
        finished = true;
    }
}

} // namespace varnelvst::tool
