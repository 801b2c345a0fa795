// The audio thread's guarantees: no allocation in process, and control threads
// that set parameters, switch processing and change the rate while blocks run.
#include "HostedTestPlugin.h"

#include <atomic>
#include <chrono>
#include <thread>

using varnel::extensions::vst::VSTChannelLayout;
using vsttest::HostedTestPlugin;
using vsttest::StereoBuffers;

using VSTModuleRealtimeLayouts = vsttest::HostedPluginTestWithParam<const char*>;

// One instance (stereo) and two (dual mono, both fed from the same hand-off).
TEST_P(VSTModuleRealtimeLayouts, ProcessAllocatesAndLocksNothingWhileParametersArrive) {
    ASSERT_TRUE(plugin.load(GetParam()));
    std::atomic<bool> done{false};
    std::thread control([&] {
        unsigned step = 0;
        while (!done.load()) {
            plugin.module->setParameter(1u, static_cast<float>(step % 100) / 100.0f);
            plugin.module->setParameter(2000u + step % 32, 0.5f); // unlisted ids take spare slots
            ++step;
            std::this_thread::yield();
        }
    });

    StereoBuffers buffers(256);
    {
        vsttest::AudioThreadCounters counters;
        for (int block = 0; block < 10000; ++block)
            buffers.process(*plugin.module, block % 2 ? 256 : 100);
        counters.expectNone();
    }
    done.store(true);
    control.join();
    const int instances = plugin.module->getChannelLayout() == VSTChannelLayout::dualMono ? 2 : 1;
    EXPECT_EQ(plugin.probe().processCount(), 10000 * instances);
    EXPECT_TRUE(log.lines().empty()) << log.lines()[0];
}

INSTANTIATE_TEST_SUITE_P(Plugins, VSTModuleRealtimeLayouts, testing::Values("TestSeparate", "TestMono"));

using VSTModuleRealtime = vsttest::HostedPluginTest;

TEST_F(VSTModuleRealtime, ControlThreadsRunAlongsideTheAudioThread) {
    ASSERT_TRUE(plugin.load("TestSeparate"));
    std::atomic<bool> done{false};

    auto setter = [&](unsigned firstId) {
        unsigned step = 0;
        while (!done.load()) {
            plugin.module->setParameter(firstId, static_cast<float>(step % 10) / 10.0f);
            plugin.module->setParameter(std::string("Mode"), 0.5f);
            (void)plugin.module->getParameterValue(firstId);
            ++step;
        }
    };
    std::thread first(setter, 1u);
    std::thread second(setter, 3000u);
    std::thread switcher([&] {
        unsigned step = 0;
        while (!done.load()) {
            plugin.module->setProcessing(step % 2 == 1);
            if (step % 50 == 0)
                plugin.module->setSampleRate(step % 100 == 0 ? 44100 : 48000);
            ++step;
            std::this_thread::yield();
        }
        plugin.module->setProcessing(true);
    });

    StereoBuffers buffers(512);
    for (int block = 0; block < 3000; ++block)
        buffers.process(*plugin.module, 512);
    done.store(true);
    first.join();
    second.join();
    switcher.join();

    buffers.process(*plugin.module, 512);
    plugin.unload();
    // The checker flags any block that reached the plug-in while its processing
    // was off, or a set-up while active.
    EXPECT_NO_ORDER_VIOLATIONS(plugin);
    EXPECT_EQ(log.count("[VSTModule]"), 0u);
}

TEST_F(VSTModuleRealtime, SwitchOffWaitsForTheBlockInFlightAndNoBlockStartsAfter) {
    ASSERT_TRUE(plugin.load("TestHoldsBlocks"));
    StereoBuffers buffers(64);
    plugin.probe().holdBlocks(true);
    std::thread audio([&] { buffers.process(*plugin.module, 64); });
    while (!plugin.probe().blockHeld())
        std::this_thread::yield();

    std::atomic<bool> switchedOff{false};
    std::thread control([&] {
        EXPECT_TRUE(plugin.module->setProcessing(false));
        switchedOff.store(true);
    });
    // Ample time for a switch-off that does not wait to reach the plug-in, which
    // records setProcessing(false) during a block as a violation.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(switchedOff.load()) << "returned while a block was in flight";
    plugin.probe().holdBlocks(false);
    audio.join();
    control.join();

    buffers.process(*plugin.module, 64);
    EXPECT_EQ(plugin.probe().processCount(), 1) << "no block after the switch-off";
    expectUnloadsInOrder();
    expectNothingLogged();
}
