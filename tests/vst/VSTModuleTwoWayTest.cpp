// The host is two-way and keeps VST 3's threads: what the plug-in reports comes
// back to the application, and every call but process is made on one thread.
#include "HostedTestPlugin.h"
#include "VSTPluginThread.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <thread>
#include <utility>
#include <vector>

using varnel::extensions::vst::VSTPluginEvent;
using varnel::extensions::vst::VSTPluginThread;
using vsttest::HostedTestPlugin;
using vsttest::StereoBuffers;

using VSTModuleTwoWay = vsttest::HostedPluginTest;

TEST_F(VSTModuleTwoWay, EveryCallButProcessIsMadeOnThePluginThreadWhicheverThreadAsks) {
    // Dual mono: two instances and a controller, all called on one thread.
    ASSERT_TRUE(plugin.load("TestMono"));
    std::atomic<bool> running{true};
    std::thread audio([&] {
        StereoBuffers buffers(64);
        while (running.load())
            buffers.process(*plugin.module, 64);
    });
    std::vector<std::thread> controls;
    for (int thread = 0; thread < 4; ++thread) {
        controls.emplace_back([this, thread] {
            std::vector<std::uint8_t> state;
            for (int round = 0; round < 20; ++round) {
                plugin.module->setParameter(1u, 0.1f * static_cast<float>(thread + 1));
                plugin.module->getParameterValue(1);
                plugin.module->setProcessing(round % 2 == 0);
                plugin.module->getState(state);
                plugin.module->setSampleRate(round % 3 == 0 ? 44100 : 48000);
            }
        });
    }
    for (std::thread& control : controls)
        control.join();
    running.store(false);
    audio.join();
    EXPECT_FALSE(VSTPluginThread::isPluginThread());
    plugin.unload();

    std::set<std::uint64_t> threads;
    for (const testplugin::CallRecord& call : plugin.probe().calls())
        threads.insert(call.thread);
    EXPECT_EQ(threads.size(), 1u) << "calls came from " << threads.size() << " threads";
    EXPECT_NE(*threads.begin(), testplugin::currentThreadToken());
    EXPECT_NO_ORDER_VIOLATIONS(plugin);
}

TEST_F(VSTModuleTwoWay, WhatTheProcessorReportsReachesTheControllerAndTheListener) {
    ASSERT_TRUE(plugin.load("TestSeparate"));
    // The listener runs on the plug-in thread, also between this thread's calls.
    std::mutex eventsMutex;
    std::vector<VSTPluginEvent> events;
    const auto heard = [&] {
        std::lock_guard lock(eventsMutex);
        return std::exchange(events, {});
    };
    plugin.module->setEventListener([&](const VSTPluginEvent& event) {
        EXPECT_TRUE(VSTPluginThread::isPluginThread());
        std::lock_guard lock(eventsMutex);
        events.push_back(event);
    });
    // The meter (read-only, id 3) reports each block's peak.
    StereoBuffers buffers(64, 0.25f);
    buffers.process(*plugin.module, 64);
    EXPECT_EQ(plugin.module->getParameterValue(3), 0.25f);
    const std::vector<VSTPluginEvent> meter = heard();
    ASSERT_EQ(meter.size(), 1u);
    EXPECT_EQ(meter[0].kind, VSTPluginEvent::Kind::parameterChanged);
    EXPECT_EQ(meter[0].parameterId, 3u);
    EXPECT_EQ(meter[0].value, 0.25);
    EXPECT_TRUE(meter[0].readOnly);

    // Without any control call, the plug-in thread catches up on its own.
    std::fill(buffers.inL.begin(), buffers.inL.end(), 0.75f);
    buffers.process(*plugin.module, 64);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < deadline &&
           plugin.count("setParamNormalized", "id=3 value=0.75") == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_EQ(plugin.count("setParamNormalized", "id=3 value=0.75"), 1);

    // The controller's own edit reaches the processor and the listener.
    heard();
    ASSERT_TRUE(plugin.probe().performEdit(1, 0.5));
    buffers.process(*plugin.module, 64);
    plugin.module->handleRestartRequests();
    EXPECT_EQ(plugin.probe().lastProcesses(1).at(0).gain, 0.5);
    const std::vector<VSTPluginEvent> edits = heard();
    EXPECT_TRUE(std::any_of(edits.begin(), edits.end(), [](const VSTPluginEvent& event) {
        return event.parameterId == 1u && event.value == 0.5 && !event.readOnly;
    }));
    expectCleanFinish();
}

TEST_F(VSTModuleTwoWay, AnAdoptedThreadMakesEveryPluginCallWhileItRunsThePendingOnes) {
    // ctest runs each test in a process of its own, where nothing has started the
    // library's own plug-in thread yet; a run of the whole binary has.
    if (!VSTPluginThread::adoptCurrentThread())
        GTEST_SKIP() << "the plug-in thread runs already: run this test alone";
    EXPECT_FALSE(VSTPluginThread::adoptCurrentThread()) << "one plug-in thread per process";
    EXPECT_TRUE(VSTPluginThread::isPluginThread());
    plugin.host("TestSeparate");
    std::atomic<bool> done{false};
    std::thread application([&] {
        EXPECT_TRUE(plugin.load());
        plugin.module->setParameter(1u, 0.5f);
        EXPECT_EQ(plugin.module->getParameterValue(1), 0.5f);
        plugin.unload();
        done.store(true);
    });
    while (!done.load())
        VSTPluginThread::runPendingCalls(10);
    application.join();
    ASSERT_FALSE(plugin.probe().calls().empty());
    for (const testplugin::CallRecord& call : plugin.probe().calls())
        EXPECT_EQ(call.thread, testplugin::currentThreadToken()) << call.method;
}

namespace {

// TestTwoWay's parameters (see tests/plugins/variants/TestTwoWay.cpp).
constexpr unsigned kGain = 1, kProgram = 5, kChoice = 6, kLatency = 7;

double lastGain(HostedTestPlugin& plugin) {
    return plugin.probe().lastProcesses(1).at(0).gain;
}

} // namespace

TEST_F(VSTModuleTwoWay, AProgramChosenAfterASetValueIsHeardAndStays) {
    ASSERT_TRUE(plugin.load("TestTwoWay"));
    plugin.module->setParameter(kGain, 0.75f);
    plugin.processBlock(64);
    ASSERT_EQ(lastGain(plugin), 0.75);
    // Program "Half" sets the processor's Gain itself and reports it.
    ASSERT_TRUE(plugin.module->setParameterByValueName("Program", "Half"));
    for (int block = 0; block < 4; ++block)
        plugin.processBlock(64);
    EXPECT_EQ(lastGain(plugin), 0.5) << "the host's earlier 0.75 must not come back";
    EXPECT_EQ(plugin.module->getParameterValue(kGain), 0.5f) << "the controller follows the processor";
    expectCleanFinish();
}

TEST_F(VSTModuleTwoWay, TheControllersOwnProgramAndARoundingChoiceReachTheProcessor) {
    ASSERT_TRUE(plugin.load("TestTwoWay"));
    // A program loaded on the controller side, announced with kParamValuesChanged.
    ASSERT_TRUE(plugin.probe().loadProgramOnController({{kGain, 0.3}}));
    plugin.module->handleRestartRequests();
    plugin.processBlock(64);
    EXPECT_EQ(lastGain(plugin), 0.3);
    // Choice rounds (JUCE's choices): the top name must select the top step.
    ASSERT_TRUE(plugin.module->setValueNamesForPluginParameter("Choice", {"one", "two", "three"}));
    ASSERT_TRUE(plugin.module->setParameterByValueName("Choice", "three"));
    StereoBuffers quarter = plugin.processBlock(64);
    EXPECT_FLOAT_EQ(quarter.outL[0], 0.5f * 0.3f * 0.25f);
    ASSERT_TRUE(plugin.module->setParameterByValueName("Choice", "two"));
    StereoBuffers half = plugin.processBlock(64);
    EXPECT_FLOAT_EQ(half.outL[0], 0.5f * 0.3f * 0.5f);
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(VSTModuleTwoWay, LatencyOnlyChangesWhenItChangesAndThenOnce) {
    ASSERT_TRUE(plugin.load("TestTwoWay"));
    std::atomic<int> latencyEvents{0};
    plugin.module->setEventListener([&](const VSTPluginEvent& event) {
        latencyEvents += event.kind == VSTPluginEvent::Kind::latencyChanged;
    });
    plugin.probe().reset();
    // JUCE asks from its own thread with the latency unchanged: no gap.
    ASSERT_TRUE(plugin.probe().announceUnchangedLatency());
    plugin.module->handleRestartRequests();
    EXPECT_TRUE(plugin.sequence({"setActive", "setProcessing"}).empty());
    // The processor tells its controller of a new latency; the controller asks
    // for the restart, which is carried out once.
    ASSERT_TRUE(plugin.probe().reportLatencyFromProcessor(256));
    plugin.processBlock(64);
    plugin.module->handleRestartRequests(); // passes the report on; the restart follows
    EXPECT_EQ(plugin.module->getLatencySamples(), 256u);
    EXPECT_EQ(plugin.module->getParameterValue(kLatency), static_cast<float>(256.0 / 4096.0));
    EXPECT_EQ(plugin.count("setActive", "true"), 1);
    EXPECT_EQ(latencyEvents.load(), 1);
    expectCleanFinish();
}

TEST_F(VSTModuleTwoWay, ValuesKeepTheirSoundAcrossARestoreAndEveryReactivationOnAPluginThatResetsThere) {
    ASSERT_TRUE(plugin.load("TestResetsOnActivation"));
    plugin.module->setParameter(kGain, 0.5f);
    plugin.processBlock(64);
    std::vector<std::uint8_t> halfGain;
    ASSERT_TRUE(plugin.module->getState(halfGain));
    plugin.module->setParameter(kGain, 0.25f);
    plugin.processBlock(64);
    ASSERT_TRUE(plugin.module->setState(halfGain));
    plugin.processBlock(64);
    EXPECT_EQ(lastGain(plugin), 0.5);
    // A new rate, block size or mode reactivates the plug-in, and so does a new latency.
    ASSERT_TRUE(plugin.module->setSampleRate(44100));
    plugin.processBlock(64);
    EXPECT_EQ(lastGain(plugin), 0.5) << "after a rate change";
    ASSERT_TRUE(plugin.module->setMaxSamplesPerBlock(512));
    ASSERT_TRUE(plugin.probe().changeLatency(64));
    plugin.module->handleRestartRequests();
    plugin.processBlock(64);
    EXPECT_EQ(lastGain(plugin), 0.5) << "after a latency restart";
    expectNothingLogged();
}

TEST_F(VSTModuleTwoWay, WhatAPluginThrowsIsAnErrorNeverAHangOrACrash) {
    ASSERT_TRUE(plugin.load("TestSeparate"));
    plugin.probe().throwFrom(testplugin::ThrowingCall::process, true);
    const std::uint64_t failedBefore = plugin.module->getAudioThreadFailureCount();
    plugin.processBlock(64);
    plugin.processBlock(64);
    EXPECT_EQ(plugin.module->getAudioThreadFailureCount(), failedBefore + 2);
    // Stopping audio waits for no block: the throwing one has ended.
    EXPECT_TRUE(plugin.module->setProcessing(false));
    EXPECT_GE(log.count("[VSTModule] The plug-in threw during process"), 1u);
    plugin.probe().throwFrom(testplugin::ThrowingCall::process, false);

    plugin.probe().throwFrom(testplugin::ThrowingCall::setupProcessing, true);
    EXPECT_FALSE(plugin.module->setSampleRate(44100));
    EXPECT_EQ(plugin.module->getLastError().rfind("The plug-in threw during setupProcessing: ", 0), 0u)
        << plugin.module->getLastError();
    plugin.probe().throwFrom(testplugin::ThrowingCall::setupProcessing, false);
    EXPECT_TRUE(plugin.module->setSampleRate(44100));

    plugin.probe().throwFrom(testplugin::ThrowingCall::setParamNormalized, true);
    EXPECT_FALSE(plugin.module->setParameter(std::string("Gain"), 0.5f));
    EXPECT_EQ(plugin.module->getLastError().rfind("The plug-in threw during setParamNormalized", 0), 0u);
    plugin.probe().throwFrom(testplugin::ThrowingCall::setParamNormalized, false);
    EXPECT_TRUE(plugin.module->setProcessing(true));
    plugin.unload();
}

TEST_F(VSTModuleTwoWay, AStrictThreadsPluginSeesOneThreadFromFourApplicationThreads) {
    ASSERT_TRUE(plugin.load("TestStrictThreads"));
    std::vector<std::thread> controls;
    for (int thread = 0; thread < 4; ++thread)
        controls.emplace_back([this] {
            std::vector<std::uint8_t> state;
            for (int round = 0; round < 10; ++round) {
                EXPECT_TRUE(plugin.module->setParameter(std::string("Gain"), 0.5f));
                EXPECT_TRUE(plugin.module->getState(state));
                EXPECT_TRUE(plugin.module->setState(state));
            }
        });
    for (std::thread& control : controls)
        control.join();
    plugin.processBlock(64);
    expectUnloadsInOrder();
    expectNothingLogged();
}

TEST_F(VSTModuleTwoWay, ChangesReachTheProcessorInTheCallersOrderWithinOneBlock) {
    // This plug-in applies a block's queues in their order, as JUCE's wrapper does.
    ASSERT_TRUE(plugin.load("TestOrderedChanges"));
    plugin.module->setParameter(kGain, 0.75f);
    ASSERT_TRUE(plugin.module->setParameterByValueName("Program", "Half"));
    plugin.processBlock(64);
    EXPECT_EQ(lastGain(plugin), 0.5) << "a program chosen after a value wins";

    ASSERT_TRUE(plugin.module->setParameterByValueName("Program", "Quarter"));
    plugin.module->setParameter(kGain, 0.75f);
    plugin.processBlock(64);
    EXPECT_EQ(lastGain(plugin), static_cast<double>(0.75f)) << "a value set after a program wins";

    std::vector<std::uint8_t> state;
    ASSERT_TRUE(plugin.module->getState(state));
    ASSERT_TRUE(plugin.module->setState(state));
    ASSERT_TRUE(plugin.module->setParameterByValueName("Program", "Half"));
    plugin.processBlock(64);
    EXPECT_EQ(lastGain(plugin), 0.5) << "a preset and then a program give the program";
    expectCleanFinish();
}

TEST_F(VSTModuleTwoWay, EditsFromTheAudioCallbackAllocateAndLockNothingAndUnlistedOnesAreIgnoredWithOneLine) {
    ASSERT_TRUE(plugin.load("TestEditsFromProcess"));
    plugin.processBlock(64); // the first block's own allocations are the plug-in's
    StereoBuffers buffers(64);
    {
        vsttest::AudioThreadCounters counters;
        for (int block = 0; block < 100; ++block)
            buffers.process(*plugin.module, 64);
        counters.expectNone();
    }
    plugin.module->setParameter(1u, 0.5f);
    plugin.processBlock(64);
    EXPECT_EQ(lastGain(plugin), 0.5) << "its own Gain edits reached its processor and ours stands";
    EXPECT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.count("[VSTModule] Ignored "), 1u) << log.lines().front();
    expectUnloadsInOrder();
}

TEST_F(VSTModuleTwoWay, AMessageSentFromProcessReachesTheControllerOnThePluginThread) {
    // Its controller refuses, as a violation, a notify on any other thread.
    ASSERT_TRUE(plugin.load("TestMessageFromProcess"));
    StereoBuffers buffers(64);
    {
        vsttest::AudioThreadCounters counters;
        buffers.process(*plugin.module, 64); // sends the message
        counters.expectNone();
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (plugin.count("notify", "id=FromProcess") == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_EQ(plugin.count("notify", "id=FromProcess"), 1);
    for (const testplugin::CallRecord& call : plugin.probe().calls()) {
        if (call.method == "notify") {
            EXPECT_EQ(call.thread, plugin.probe().uiThread()) << call.object;
        }
    }
    expectCleanFinish();
}
