#pragma once

// Sound files through libsndfile, for the tests that link it.

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cstddef>
#include <string>
#include <vector>

namespace testsupport {

struct Sound {
    int sampleRate = 0;
    int channels = 0;
    int format = 0;
    std::vector<float> samples; // interleaved

    std::size_t frames() const {
        return channels == 0 ? 0 : samples.size() / static_cast<std::size_t>(channels);
    }
    // One channel, de-interleaved.
    std::vector<float> channel(int index) const {
        std::vector<float> result(frames());
        for (std::size_t frame = 0; frame < result.size(); ++frame)
            result[frame] =
                samples[frame * static_cast<std::size_t>(channels) + static_cast<std::size_t>(index)];
        return result;
    }
};

// Writes `sound`; fails the calling test on error.
inline void writeSound(const std::string& path, const Sound& sound) {
    SF_INFO info{};
    info.samplerate = sound.sampleRate;
    info.channels = sound.channels;
    info.format = sound.format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << path << ": " << sf_strerror(nullptr);
    const auto frames = static_cast<sf_count_t>(sound.frames());
    EXPECT_EQ(sf_writef_float(file, sound.samples.data(), frames), frames);
    sf_close(file);
}

// Reads a file; an empty Sound (channels 0) when it cannot be read.
inline Sound readSound(const std::string& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr)
        return {};
    Sound sound{info.samplerate, info.channels, info.format, {}};
    sound.samples.resize(static_cast<std::size_t>(info.frames * info.channels));
    sf_readf_float(file, sound.samples.data(), info.frames);
    sf_close(file);
    return sound;
}

} // namespace testsupport
