// The block hand-off between the host's audio thread and the helper's, with the
// helper side on a thread of this process, where ThreadSanitizer sees both.
#include "plugin/remote/BlockExchange.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <thread>

using varnel::extensions::vst::BlockReceiver;
using varnel::extensions::vst::BlockSender;
using varnel::extensions::vst::SharedBlock;

// The helper doubles each block, and takes far longer than its deadline over every
// third one. The host hands over a block only when the helper is free; every
// answer it takes is its own block's, doubled; never a late one's.
TEST(BlockExchange, ALateAnswerNeverReachesALaterBlock) {
    auto shared = std::make_unique<SharedBlock>();
    std::thread helper([&shared] {
        BlockReceiver receiver(*shared);
        while (true) {
            const std::uint32_t sequence = receiver.next();
            const int frames = shared->frames;
            if (frames < 0) {
                receiver.answer(sequence);
                return;
            }
            if (static_cast<int>(shared->audio[0][0]) % 3 == 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(3));
            std::transform(shared->audio[0], shared->audio[0] + frames, shared->audio[2],
                           [](float x) { return 2.0f * x; });
            receiver.answer(sequence);
        }
    });

    BlockSender sender(*shared);
    int answered = 0;
    int late = 0;
    int busy = 0;
    for (int block = 0; block < 300; ++block) {
        const BlockSender::Result ready = sender.ready();
        ASSERT_NE(ready, BlockSender::Result::ended);
        if (ready == BlockSender::Result::busy) {
            ++busy;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
            continue;
        }
        const int frames = 32 + block % 64;
        shared->frames = frames;
        std::fill_n(shared->audio[0], frames, static_cast<float>(block));
        const auto result = sender.exchange(BlockSender::Clock::now() + std::chrono::milliseconds(1));
        if (result == BlockSender::Result::late) {
            ++late;
            continue;
        }
        ASSERT_EQ(result, BlockSender::Result::answered);
        ++answered;
        EXPECT_TRUE(std::all_of(shared->audio[2], shared->audio[2] + frames,
                                [block](float x) { return x == 2.0f * static_cast<float>(block); }))
            << "block " << block;
    }
    while (sender.ready() == BlockSender::Result::busy)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    shared->frames = -1;
    sender.exchange(BlockSender::Clock::now() + std::chrono::seconds(1));
    helper.join();
    EXPECT_GT(answered, 0);
    EXPECT_GT(late, 0);
    EXPECT_GT(busy, 0);

    // Once the helper is gone, no block waits.
    BlockSender::markEnded(*shared);
    EXPECT_EQ(sender.ready(), BlockSender::Result::ended);
}
