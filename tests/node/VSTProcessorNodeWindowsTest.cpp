// VSTProcessorNode on Windows: the system-wide VST 3 folder and the file-name
// rules for Windows paths. Under Wine the test plug-ins are built into that
// folder of the build's private prefix, so a node finds them by name alone.
#include "NodeTestSupport.h"
#include "VSTProcessorNode.h"
#include "testplugin/TestPluginHandle.h"

#include <varnel/testing/LogCapture.h>

#include <gtest/gtest.h>

using nodetest::BusBuffers;
using testplugin::TestPluginHandle;
using varnel::AudioBusFormat;
using varnel::LogCapture;
using varnel::VLAnyMap;
using varnel::extensions::vst::VSTProcessorNode;

TEST(VSTProcessorNodeWindows, DriveLettersStreamsAndBothSeparatorsCannotLeaveTheFolder) {
    EXPECT_EQ(VSTProcessorNode::systemPluginFolder(), "C:\\Program Files\\Common Files\\VST3\\");
    for (const std::string name :
         {"C:\\Windows\\x.vst3", "C:x.vst3", "d:/x.vst3", "\\\\server\\share\\x.vst3", "sub\\..\\..\\x.vst3",
          "sub/..\\..\\x.vst3", "x.vst3:stream"}) {
        LogCapture log;
        VSTProcessorNode node(VLAnyMap{{"pluginFileName", name}});
        EXPECT_EQ(log.lines(),
                  std::vector<std::string>{"[VSTProcessorNode] Invalid plugin file name: " + name});
    }
    LogCapture log;
    VSTProcessorNode node(VLAnyMap{{"pluginFileName", "sub\\Missing.vst3"}});
    EXPECT_EQ(log.count("[VSTModule] Error loading plugin: "), 1u);
}

#ifdef VARNELVST_TEST_PLUGINS_IN_SYSTEM_FOLDER
TEST(VSTProcessorNodeWindows, LoadsProcessesAndTearsDownFromTheCommonVst3FolderInOrder) {
    TestPluginHandle handle("TestSeparate");
    ASSERT_TRUE(handle.loaded()) << handle.error();
    handle.probe().reset();
    LogCapture log;
    {
        VSTProcessorNode node(VLAnyMap{{"pluginFileName", "TestSeparate.vst3"}});
        ASSERT_TRUE(node.getIsPluginLoaded());
        AudioBusFormat format{44100, 2};
        ASSERT_TRUE(node.setBusFormat(format, format));
        node.setPluginParameter(1u, 0.5f);
        BusBuffers in(2, 64, 0.8f), out(2, 64);
        for (int block = 0; block < 4; ++block)
            ASSERT_TRUE(node.process(in.bus, out.bus));
        EXPECT_FLOAT_EQ(out.samples[1][5], 0.4f);
    }
    EXPECT_TRUE(log.lines().empty()) << log.lines()[0];
    EXPECT_EQ(handle.probe().count("ModuleEntry"), 1);
    EXPECT_EQ(handle.probe().processCount(), 4);
    EXPECT_EQ(handle.probe().count("ModuleExit"), 1);
    EXPECT_EQ(handle.probe().liveObjects(), 0);
    EXPECT_EQ(testplugin::describeViolations(handle.probe()), "no violations");
}

TEST(VSTProcessorNodeWindows, OlderSingleFilePluginLoadsFromTheFolder) {
    LogCapture log;
    VSTProcessorNode node(VLAnyMap{{"pluginFileName", "TestSeparateSingleFile.vst3"}});
    EXPECT_TRUE(node.getIsPluginLoaded());
    EXPECT_FALSE(node.getPluginParameters().empty());
    EXPECT_TRUE(log.lines().empty()) << log.lines()[0];
}
#endif
