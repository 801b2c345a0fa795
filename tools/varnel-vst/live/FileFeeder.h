#pragma once

#include "live/SampleRing.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace varnelvst::tool {

class InputFile;

// Reads a sound file into a SampleRing on a thread of its own, ahead of the
// audio callback that plays it: mono as two equal channels, and from its start
// again at its end when looping. Control calls come from one thread.
class FileFeeder {
public:
    // Opens the file; throws a ToolError for one that cannot be read or has more
    // than two channels.
    FileFeeder(std::string path, bool loop);
    ~FileFeeder();
    FileFeeder(const FileFeeder&) = delete;
    FileFeeder& operator=(const FileFeeder&) = delete;

    int sampleRate() const { return rate; }
    int channels() const { return fileChannels; }

    // Fills `ring` as far as it holds (so that the sound starts with a full one),
    // then keeps it filled from a thread until stop or the file's end.
    void start(SampleRing& ring);
    // Ends the thread; the ring may go after this.
    void stop();

    // Any thread, the audio thread too: whether all of the file is in the ring
    // (never when looping). Once true, what the ring holds is the rest.
    bool finished() const noexcept { return done.load(std::memory_order_acquire); }

private:
    void fill(SampleRing& ring);
    void run(SampleRing& ring);
    std::size_t readStereo(std::size_t frames);

    std::string path;
    bool loop;
    std::unique_ptr<InputFile> file;
    int rate = 0;
    int fileChannels = 0;
    bool anythingRead = false; // in this pass through the file: an empty file is not looped
    std::vector<float> fileBlock;
    std::vector<float> stereoBlock;
    std::size_t pendingFrames = 0; // read into stereoBlock, not yet in the ring
    std::size_t pendingStart = 0;
    std::atomic<bool> done{false};
    std::mutex wakeMutex;
    std::condition_variable wake;
    bool stopping = false;
    std::thread thread;
};

} // namespace varnelvst::tool
