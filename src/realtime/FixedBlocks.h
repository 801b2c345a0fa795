#pragma once

#include <algorithm>
#include <vector>

namespace varnel::extensions::vst {

/// Runs a stereo processor in blocks of one fixed size whatever size the
/// caller's blocks have, for plug-ins that process only the block size they were
/// set up for. The input (and a side-chain beside it) is gathered into a block
/// while the output of the block before is handed out, so the output lags by
/// exactly one block.
///
/// The buffers are made on the control side (prepare); `run` never allocates,
/// locks or waits. prepare and reset must not overlap `run`.
class FixedBlocks {
public:
    /// Control side; allocates. Blocks of `frames` from now on, with silence
    /// buffered; 0 (or less) switches it off.
    void prepare(int frames) {
        size = std::max(frames, 0);
        storage.assign(static_cast<std::size_t>(size) * kChannels, 0.0f);
        position = 0;
    }
    /// Control side. Drops what is buffered: the next block starts from silence.
    void reset() { prepare(size); }
    /// The block size; 0 when off.
    int blockFrames() const { return size; }
    /// Audio thread. Frames taken in but not yet handed to `process`.
    int bufferedFrames() const noexcept { return position; }

    /// Audio thread. Takes `frames` of input and gives as many of output;
    /// `process(inL, inR, outL, outR, sideL, sideR, blockFrames)` runs on every
    /// block that fills. Input and output may be the same buffers. A side-chain
    /// (`sideL`, and `sideR` unless mono) is gathered alongside, silence where
    /// the caller gives none; the block's is always stereo, a mono one on both.
    template <typename Process>
    void run(const float* inL, const float* inR, float* outL, float* outR, const float* sideL,
             const float* sideR, int frames, Process&& process) noexcept {
        if (size <= 0)
            return;
        float* const blockInL = storage.data();
        float* const blockInR = blockInL + size;
        float* const blockOutL = blockInR + size;
        float* const blockOutR = blockOutL + size;
        float* const blockSideL = blockOutR + size;
        float* const blockSideR = blockSideL + size;
        int done = 0;
        while (done < frames) {
            const int count = std::min(frames - done, size - position);
            // Input first, so that an output that is also the input loses nothing.
            std::copy_n(inL + done, count, blockInL + position);
            std::copy_n(inR + done, count, blockInR + position);
            if (sideL != nullptr) {
                std::copy_n(sideL + done, count, blockSideL + position);
                std::copy_n((sideR != nullptr ? sideR : sideL) + done, count, blockSideR + position);
            } else {
                std::fill_n(blockSideL + position, count, 0.0f);
                std::fill_n(blockSideR + position, count, 0.0f);
            }
            std::copy_n(blockOutL + position, count, outL + done);
            std::copy_n(blockOutR + position, count, outR + done);
            position += count;
            done += count;
            if (position == size) {
                process(blockInL, blockInR, blockOutL, blockOutR, blockSideL, blockSideR, size);
                position = 0;
            }
        }
    }

private:
    /// Input left and right, output left and right, side-chain left and right.
    static constexpr std::size_t kChannels = 6;

    int size = 0;
    int position = 0;
    /// `kChannels` channels of `size` frames each.
    std::vector<float> storage;
};

} // namespace varnel::extensions::vst
