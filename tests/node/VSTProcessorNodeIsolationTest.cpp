// A node whose plug-in runs in a process of its own: a crash costs the node a
// moment of dry audio, the application hears of it, and the node restarts the
// plug-in with its settings.
#include "NodeTestSupport.h"
#include "VSTProcessorNode.h"
#include "testplugin/TestPluginHandle.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <mutex>
#include <thread>

using nodetest::BusBuffers;
using testplugin::TestPluginHandle;
using varnel::VLAnyMap;
using varnel::extensions::vst::VSTModule;
using varnel::extensions::vst::VSTProcessorNode;

using ProcessorNodeIsolation = nodetest::ProcessorNodeTest;

TEST_F(ProcessorNodeIsolation, ACrashIsReportedAndTheNodeRestartsItsPluginWithItsSettings) {
    setenv(VSTModule::kPluginHostVariable, VARNELVST_PLUGIN_HOST_PROGRAM, 1);
    VSTProcessorNode node(VLAnyMap{{"pluginIsolation", "process"}, {"pluginRestartAfterCrash", true}});
    ASSERT_TRUE(node.loadPlugin(TestPluginHandle::bundlePath("TestCrashesOnNonFinite")));
    std::mutex heardMutex;
    std::vector<std::string> heard;
    node.on(VSTProcessorNode::kCrashedEvent, [&](const varnel::VLAny& how) {
        std::lock_guard lock(heardMutex);
        heard.push_back(how.as<std::string>().value_or("?"));
    });
    node.setPluginParameter(1u, 0.5f);
    BusBuffers in(2, 64, 0.8f), out(2, 64);
    // A block not back within its duration passes through dry: a slow machine
    // (or a sanitizer build) may need a few for the first one processed.
    const auto processedOnce = [&] {
        for (int block = 0; block < 200; ++block) {
            node.process(in.bus, out.bus);
            if (out.samples[1][5] != in.samples[1][5])
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return false;
    };
    ASSERT_TRUE(processedOnce());
    EXPECT_FLOAT_EQ(out.samples[1][5], 0.4f);

    BusBuffers poison(2, 64, std::numeric_limits<float>::quiet_NaN());
    node.process(poison.bus, out.bus);
    const auto heardCrash = [&] {
        std::lock_guard lock(heardMutex);
        return !heard.empty();
    };
    for (int attempt = 0; attempt < 4000 && !heardCrash(); ++attempt)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_TRUE(heardCrash());
    EXPECT_EQ(heard, std::vector<std::string>{"signal SIGSEGV"});
    EXPECT_EQ(node.getPluginLastError(), "The plug-in process ended with SIGSEGV during process");

    // Restarted by the node, with the gain it had.
    EXPECT_TRUE(node.getIsReadyToProcess());
    ASSERT_TRUE(processedOnce());
    EXPECT_FLOAT_EQ(out.samples[1][5], 0.4f);
    EXPECT_FLOAT_EQ(node.getParameterValue(1u), 0.5f);
}
