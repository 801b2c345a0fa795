#pragma once

#include <algorithm>
#include <vector>

namespace varnel::extensions::vst {

/// Runs a stereo processor in blocks of one fixed size whatever size the
/// caller's blocks have, for plug-ins that process only the block size they were
/// set up for. The input is gathered into a block while the output of the block
/// before is handed out, so the output lags by exactly one block.
///
/// The buffers are made on the control side (prepare); `run` never allocates,
/// locks or waits. prepare and reset must not overlap `run`.
class FixedBlocks {
public:
    /// Control side; allocates. Blocks of `frames` from now on, with silence
    /// buffered; 0 (or less) switches it off.
    void prepare(int frames) {
        size = std::max(frames, 0);
        storage.assign(static_cast<std::size_t>(size) * 4, 0.0f);
        position = 0;
    }
    /// Control side. Drops what is buffered: the next block starts from silence.
    void reset() { prepare(size); }
    /// The block size; 0 when off.
    int blockFrames() const { return size; }
    /// Audio thread. Frames taken in but not yet handed to `process`.
    int bufferedFrames() const noexcept { return position; }

    /// Audio thread. Takes `frames` of input and gives as many of output;
    /// `process(inL, inR, outL, outR, blockFrames)` runs on every block that
    /// fills. Input and output may be the same buffers.
    template <typename Process>
    void run(const float* inL, const float* inR, float* outL, float* outR, int frames,
             Process&& process) noexcept {
        if (size <= 0)
            return;
        float* const blockInL = storage.data();
        float* const blockInR = blockInL + size;
        float* const blockOutL = blockInR + size;
        float* const blockOutR = blockOutL + size;
        int done = 0;
        while (done < frames) {
            const int count = std::min(frames - done, size - position);
            // Input first, so that an output that is also the input loses nothing.
            std::copy_n(inL + done, count, blockInL + position);
            std::copy_n(inR + done, count, blockInR + position);
            std::copy_n(blockOutL + position, count, outL + done);
            std::copy_n(blockOutR + position, count, outR + done);
            position += count;
            done += count;
            if (position == size) {
                process(blockInL, blockInR, blockOutL, blockOutR, size);
                position = 0;
            }
        }
    }

private:
    int size = 0;
    int position = 0;
    /// Input left and right, then output left and right, `size` frames each.
    std::vector<float> storage;
};

} // namespace varnel::extensions::vst
