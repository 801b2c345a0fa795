#include "live/FileFeeder.h"

#include "AudioFile.h"
#include "ToolError.h"

#include <algorithm>
#include <chrono>

namespace varnelvst::tool {

namespace {

// Frames read from the file at a time.
constexpr std::size_t kReadFrames = 4096;

} // namespace

FileFeeder::FileFeeder(std::string filePath, bool looping)
    : path(std::move(filePath)), loop(looping), file(std::make_unique<InputFile>(path)) {
    if (file->channels() > 2)
        throw failure(path + " has " + std::to_string(file->channels()) +
                      " channels; varnel-vst plays mono and stereo files only");
    rate = file->sampleRate();
    fileChannels = file->channels();
    fileBlock.resize(kReadFrames * static_cast<std::size_t>(fileChannels));
    stereoBlock.resize(kReadFrames * 2);
}

FileFeeder::~FileFeeder() {
    stop();
}

void FileFeeder::start(SampleRing& ring) {
    fill(ring);
    if (finished())
        return;
    thread = std::thread([this, &ring] { run(ring); });
}

void FileFeeder::stop() {
    {
        const std::lock_guard<std::mutex> lock(wakeMutex);
        stopping = true;
    }
    wake.notify_all();
    if (thread.joinable())
        thread.join();
}

// Up to `frames` frames of the file as stereo into stereoBlock; at its end,
// from its start again when looping. 0 only at the end.
std::size_t FileFeeder::readStereo(std::size_t frames) {
    std::size_t got = file->read(fileBlock.data(), frames);
    if (got == 0 && loop && anythingRead) {
        file = std::make_unique<InputFile>(path);
        anythingRead = false;
        got = file->read(fileBlock.data(), frames);
    }
    anythingRead = anythingRead || got > 0;
    const auto channels = static_cast<std::size_t>(fileChannels);
    for (std::size_t frame = 0; frame < got; ++frame) {
        stereoBlock[2 * frame] = fileBlock[frame * channels];
        stereoBlock[2 * frame + 1] = fileBlock[frame * channels + channels - 1];
    }
    return got;
}

void FileFeeder::fill(SampleRing& ring) {
    while (!finished()) {
        if (pendingFrames == 0) {
            const std::size_t room = ring.writableFrames();
            if (room == 0)
                return;
            pendingStart = 0;
            pendingFrames = readStereo(std::min(room, kReadFrames));
            if (pendingFrames == 0) {
                done.store(true, std::memory_order_release);
                return;
            }
        }
        const std::size_t written = ring.write(stereoBlock.data() + 2 * pendingStart, pendingFrames);
        pendingStart += written;
        pendingFrames -= written;
        if (pendingFrames > 0)
            return;
    }
}

void FileFeeder::run(SampleRing& ring) {
    // A check every eighth of what the ring holds keeps it at least seven
    // eighths full, whatever the server's period.
    const auto pause = std::chrono::duration<double>(static_cast<double>(ring.capacityFrames()) / rate / 8);
    std::unique_lock<std::mutex> lock(wakeMutex);
    while (!stopping && !finished()) {
        lock.unlock();
        try {
            fill(ring);
        } catch (const ToolError& error) {
            // The file went or changed while playing (a loop opens it again): the
            // sound ends where it stops.
            printWarning(std::string(error.what()) + "; the sound ends here");
            done.store(true, std::memory_order_release);
        }
        lock.lock();
        wake.wait_for(lock, pause, [this] { return stopping; });
    }
}

} // namespace varnelvst::tool
