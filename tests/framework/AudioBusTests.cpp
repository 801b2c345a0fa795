#include <gtest/gtest.h>

#include <vector>

#include "varnel/AudioBus.h"

using varnel::AudioBuffer;
using varnel::AudioBus;

namespace {

// Sample value that names its channel and frame, so a misplaced copy shows.
float marker(std::uint32_t channel, std::uint32_t frame) {
    return static_cast<float>(channel * 1000 + frame + 1);
}

void fill(AudioBuffer<float>& buffer) {
    for (std::uint32_t channel = 0; channel < buffer.getNumberOfChannels(); ++channel) {
        for (std::uint32_t frame = 0; frame < buffer.getNumberOfFrames(); ++frame) {
            buffer.getWritePointer(channel)[frame] = marker(channel, frame);
        }
    }
}

} // namespace

TEST(AudioBufferStorage, OwningBufferStartsZeroedAndKeepsItsCapacity) {
    AudioBuffer<float> buffer(2, 8);
    EXPECT_EQ(buffer.getReadPointer(1)[7], 0.0f);
    EXPECT_EQ(buffer.getReadPointer(2), nullptr);
    EXPECT_TRUE(buffer.setNumberOfFrames(4));
    EXPECT_FALSE(buffer.setNumberOfFrames(9));
    EXPECT_EQ(buffer.getNumberOfFrames(), 4u);
}

TEST(AudioBufferStorage, ViewWritesThroughToCallerMemoryAndClears) {
    std::vector<float> left(4, 1.0f), right(4, 2.0f);
    float* channels[] = {left.data(), right.data()};
    AudioBuffer<float> view(channels, 2, 4);
    view.getWritePointer(1)[3] = 5.0f;
    EXPECT_EQ(right[3], 5.0f);
    view.setNumberOfFrames(2);
    view.clear();
    EXPECT_EQ(left, (std::vector<float>{0, 0, 1, 1}));
}

TEST(AudioBusCopy, CopiesOnlyTheChannelsAndFramesBothSidesHave) {
    AudioBuffer<float> source(3, 8), destination(2, 16);
    fill(source);
    AudioBus in{&source}, out{&destination};
    out.copyFrom(in);
    for (std::uint32_t channel = 0; channel < 2; ++channel) {
        for (std::uint32_t frame = 0; frame < 8; ++frame) {
            EXPECT_EQ(destination.getReadPointer(channel)[frame], marker(channel, frame));
        }
        EXPECT_EQ(destination.getReadPointer(channel)[8], 0.0f) << "frames beyond the source stay untouched";
    }
}

TEST(AudioBusCopy, LeavesExtraDestinationChannelsUntouched) {
    AudioBuffer<float> source(1, 4), destination(2, 2);
    fill(source);
    AudioBus out{&destination};
    out.copyFrom(AudioBus{&source});
    EXPECT_EQ(destination.getReadPointer(0)[1], marker(0, 1));
    EXPECT_EQ(destination.getReadPointer(1)[0], 0.0f);
}

TEST(AudioBusCopy, SelfCopyAndNullBuffersChangeNothing) {
    AudioBuffer<float> buffer(2, 4);
    fill(buffer);
    AudioBus bus{&buffer}, empty{};
    bus.copyFrom(bus);
    bus.copyFrom(empty);
    empty.copyFrom(bus);
    EXPECT_EQ(buffer.getReadPointer(1)[3], marker(1, 3));
    EXPECT_EQ(empty.getBuffer(), nullptr);
}

TEST(AudioBusCopy, CopiesFromAViewOverCallerMemoryAndSkipsAliasedChannels) {
    std::vector<float> left{1, 2, 3}, right{4, 5, 6}, target(3, 0.0f);
    float* inChannels[] = {left.data(), right.data()};
    // Output channel 0 is the input's own memory, as when a host processes in place.
    float* outChannels[] = {left.data(), target.data()};
    AudioBuffer<float> inView(inChannels, 2, 3), outView(outChannels, 2, 3);
    AudioBus out{&outView};
    out.copyFrom(AudioBus{&inView});
    EXPECT_EQ(left, (std::vector<float>{1, 2, 3}));
    EXPECT_EQ(target, right);
}
