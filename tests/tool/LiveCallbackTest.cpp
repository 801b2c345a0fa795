// The live audio callback inside a real JACK server's audio thread: a file read
// ahead through the ring and played through ZamCompX2, with every call the
// server makes counted for allocations and locks.
#include "JackServer.h"
#include "ToolHarness.h"

#include "live/FileFeeder.h"
#include "live/JackSession.h"
#include "live/LivePlayer.h"
#include "live/SampleRing.h"

#include "VSTProcessorNode.h"
#include "testsupport/AllocationCounter.h"
#include "testsupport/InstalledPlugins.h"
#include "testsupport/LockCounter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

using namespace tooltest;
using namespace varnelvst::tool;
using testsupport::AllocationCounter;
using testsupport::LockCounter;
using varnel::extensions::vst::VSTProcessorNode;

namespace {

// Counts, around each call of the callback it wraps, what that call allocated
// and locked on the server's audio thread.
class CountingCallback final : public AudioCallback {
public:
    explicit CountingCallback(AudioCallback& counted) : inner(counted) {}

    void process(const float* const* inputs, float* const* outputs, std::uint32_t frames) noexcept override {
        const AllocationCounter allocations;
        const LockCounter locks;
        inner.process(inputs, outputs, frames);
        allocated.fetch_add(allocations.count(), std::memory_order_relaxed);
        locked.fetch_add(locks.count(), std::memory_order_relaxed);
        calls.fetch_add(1, std::memory_order_relaxed);
    }

    std::atomic<std::size_t> allocated{0};
    std::atomic<std::size_t> locked{0};
    std::atomic<std::size_t> calls{0};

private:
    AudioCallback& inner;
};

// The server this process's JACK clients connect to, for as long as it lives.
class ServerChoice {
public:
    explicit ServerChoice(const std::string& name) { setenv("JACK_DEFAULT_SERVER", name.c_str(), 1); }
    ~ServerChoice() { unsetenv("JACK_DEFAULT_SERVER"); }
};

} // namespace

TEST(LiveCallback, PlaysAFileThroughZamCompX2InARealServerWithoutAllocatingOrLocking) {
    if (!JackServer::installed())
        GTEST_SKIP() << "jackd is not installed (scripts/setup.sh installs jackd2)";
    const JackServer server(256);
    ASSERT_TRUE(server.started()) << server.failure();
    const ServerChoice choice(server.name());
    const ScratchFolder folder;
    writeSound(folder.file("in.wav"), makeSignal(2, 24000));

    std::unique_ptr<JackSession> session = JackSession::open("varnel-vst-test");
    ASSERT_NE(session, nullptr);
    VSTProcessorNode node{varnel::VLAnyMap{{"pluginFileName", std::string("ZamCompX2.vst3")}}};
    ASSERT_TRUE(node.getIsPluginLoaded());
    node.setProcessMode(varnel::extensions::vst::VSTProcessingMode::Realtime);
    node.setMaxFramesPerBlock(static_cast<int>(session->bufferFrames()));
    varnel::AudioBusFormat format{static_cast<std::uint32_t>(session->sampleRate()), 2};
    ASSERT_TRUE(node.setBusFormat(format, format));
    node.setPluginParameter("Threshold", 0.7f);

    FileFeeder feeder(folder.file("in.wav"), false);
    SampleRing ring(8 * session->bufferFrames());
    LivePlayer player({&node}, session->bufferFrames(), session->sampleRate(), &ring, &feeder, 0);
    CountingCallback counting(player);
    feeder.start(ring);
    session->start(counting, "", false);
    player.begin();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!player.ended() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    session->stop();
    feeder.stop();

    ASSERT_TRUE(player.ended()) << "the file did not play to its end";
    EXPECT_GE(counting.calls.load() * session->bufferFrames(), 24000u);
    EXPECT_EQ(player.meters().lateFrames(), 0u);
    EXPECT_GT(player.outputLevels().peakDbfs(), -20.0);
    EXPECT_EQ(counting.allocated.load(), 0u);
    EXPECT_EQ(counting.locked.load(), 0u);
}
