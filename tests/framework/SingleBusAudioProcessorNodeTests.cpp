#include <gtest/gtest.h>

#include "varnel/SingleBusAudioProcessorNode.h"

using namespace varnel;

namespace {

// Records which buses and formats the list calls hand on.
class RecordingNode : public SingleBusAudioProcessorNode {
public:
    using SingleBusAudioProcessorNode::process;

    bool setBusFormat(AudioBusFormat& in, AudioBusFormat& out) override {
        formatIn = &in;
        formatOut = &out;
        return true;
    }
    bool process(AudioBus& in, AudioBus& out) override {
        busIn = &in;
        busOut = &out;
        return true;
    }

    AudioBusFormat* formatIn = nullptr;
    AudioBusFormat* formatOut = nullptr;
    AudioBus* busIn = nullptr;
    AudioBus* busOut = nullptr;
};

} // namespace

TEST(SingleBusDispatch, OneBusEachWayReachesTheSingleBusCallsWithElementZero) {
    RecordingNode node;
    AudioBusFormatList inFormats{{48000, 2}}, outFormats{{48000, 2}};
    AudioBusList inBuses(1), outBuses(1);
    AudioNode& asAudioNode = node;
    EXPECT_TRUE(asAudioNode.setBusFormats(inFormats, outFormats));
    EXPECT_TRUE(asAudioNode.process(inBuses, outBuses));
    EXPECT_EQ(node.formatIn, &inFormats[0]);
    EXPECT_EQ(node.formatOut, &outFormats[0]);
    EXPECT_EQ(node.busIn, &inBuses[0]);
    EXPECT_EQ(node.busOut, &outBuses[0]);
}

TEST(SingleBusDispatch, OtherBusCountsAreRefusedWithoutReachingTheNode) {
    RecordingNode node;
    AudioBusFormatList none, one{{48000, 2}}, two{{48000, 2}, {48000, 2}};
    AudioBusList noBuses, oneBus(1), twoBuses(2);
    EXPECT_FALSE(node.setBusFormats(none, one));
    EXPECT_FALSE(node.setBusFormats(one, two));
    EXPECT_FALSE(node.process(noBuses, oneBus));
    EXPECT_FALSE(node.process(twoBuses, oneBus));
    EXPECT_EQ(node.formatIn, nullptr);
    EXPECT_EQ(node.busIn, nullptr);
}

TEST(SingleBusDefaults, MatchFormatsAndPassAudioThrough) {
    SingleBusAudioProcessorNode node;
    AudioBusFormatList in{{48000, 2}}, sameOut{{48000, 2}}, otherRate{{44100, 2}};
    EXPECT_TRUE(node.setBusFormats(in, sameOut));
    EXPECT_FALSE(node.setBusFormats(in, otherRate));

    AudioBuffer<float> source(2, 4), destination(2, 4);
    source.getWritePointer(1)[2] = 0.5f;
    AudioBusList inBuses{AudioBus{&source}}, outBuses{AudioBus{&destination}};
    EXPECT_TRUE(node.process(inBuses, outBuses));
    EXPECT_EQ(destination.getReadPointer(1)[2], 0.5f);
}

TEST(AudioNodeDefaults, RefuseFormatsAndProcessing) {
    AudioProcessorNode node;
    AudioBusFormatList formats{{48000, 2}};
    AudioBusList buses(1);
    EXPECT_FALSE(node.setBusFormats(formats, formats));
    EXPECT_FALSE(node.process(buses, buses));
}
