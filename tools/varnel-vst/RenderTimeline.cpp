#include "RenderTimeline.h"

#include <algorithm>
#include <cmath>

namespace varnelvst::tool {

RenderTimeline::RenderTimeline(std::uint64_t latencyFrames, std::optional<std::uint64_t> tailFrames,
                               bool followDecay, int sampleRate)
    : toDrop(latencyFrames), tailLimit(tailFrames.value_or(tailCapFrames(sampleRate))) {
    if (!tailFrames)
        openTail.emplace(sampleRate, followDecay);
}

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

void RenderTimeline::commitHeld(std::size_t frames, const Sink& write) {
    frames = std::min(frames, (held.size() - heldStart) / 2);
    if (frames == 0)
        return;
    write(held.data() + heldStart, frames);
    written += frames;
    heldStart += 2 * frames;
    if (heldStart == held.size() || heldStart > held.size() / 2) {
        held.erase(held.begin(), held.begin() + static_cast<std::ptrdiff_t>(heldStart));
        heldStart = 0;
    }
}

// Writes the held frames that certainly belong to the tail; at the cap all of
// them, and once the tail is decided, drops the rest.
void RenderTimeline::settleTail(bool atCap, const Sink& write) {
    if (!openTail || !inputLength || written < *inputLength)
        return;
    const std::uint64_t tailDone = written - *inputLength;
    const std::uint64_t certain = atCap ? tailDone + (held.size() - heldStart) / 2 : openTail->certain();
    if (certain > tailDone)
        commitHeld(static_cast<std::size_t>(certain - tailDone), write);
    if (finished) {
        held.clear();
        heldStart = 0;
    }
}

void RenderTimeline::add(const float* interleavedStereo, std::size_t frames, const Sink& write) {
    std::size_t frame = static_cast<std::size_t>(std::min<std::uint64_t>(toDrop, frames));
    toDrop -= frame;
    std::size_t runStart = frame; // of frames to write as they are
    const auto writeRun = [&](std::size_t end) {
        if (end > runStart) {
            write(interleavedStereo + 2 * runStart, end - runStart);
            written += end - runStart;
        }
        runStart = end;
    };
    bool atCap = false;
    for (; frame < frames && !finished; ++frame) {
        const std::uint64_t position = written + (frame - runStart) + (held.size() - heldStart) / 2;
        if (inputLength && position >= *inputLength + tailLimit) {
            finished = atCap = true;
            break;
        }
        const float* sample = interleavedStereo + 2 * frame;
        const float level = std::max(std::fabs(sample[0]), std::fabs(sample[1]));
        peak = std::max(peak, level);
        if (!openTail || !inputLength || position < *inputLength)
            continue;
        writeRun(frame);
        runStart = frame + 1;
        held.insert(held.end(), sample, sample + 2);
        openTail->add(level, peak);
        finished = openTail->length().has_value();
    }
    writeRun(std::max(runStart, frame));
    settleTail(atCap, write);
}

} // namespace varnelvst::tool
