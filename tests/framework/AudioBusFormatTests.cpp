#include <gtest/gtest.h>

#include "varnel/AudioBusFormat.h"

using varnel::AudioBusFormat;

TEST(AudioBusFormatMatching, AcceptsEqualRateAndChannels) {
    AudioBusFormat in{48000, 2};
    AudioBusFormat out{48000, 2};
    EXPECT_TRUE(AudioBusFormat::matchBusFormats(in, out));
}

TEST(AudioBusFormatMatching, RefusesDifferentSampleRate) {
    AudioBusFormat in{48000, 2};
    AudioBusFormat out{44100, 2};
    EXPECT_FALSE(AudioBusFormat::matchBusFormats(in, out));
}

TEST(AudioBusFormatMatching, RefusesDifferentChannelCount) {
    AudioBusFormat in{48000, 1};
    AudioBusFormat out{48000, 2};
    EXPECT_FALSE(AudioBusFormat::matchBusFormats(in, out));
    EXPECT_FALSE(AudioBusFormat::matchBusFormats(out, in));
}
