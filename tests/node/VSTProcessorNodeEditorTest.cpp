// The node's editor calls and event, and a node that goes, or changes its
// plug-in, while the editor is open and blocks run.
#include "NodeTestSupport.h"
#include "VSTProcessorNode.h"
#include "testplugin/TestPluginHandle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <thread>

using nodetest::BusBuffers;
using testplugin::TestPluginHandle;
using varnel::extensions::vst::VSTEditorSize;
using varnel::extensions::vst::VSTProcessorNode;

#if !defined(_WIN32) // the test plug-in's view needs a real HWND there (see VSTModuleEditorTest)

using VSTProcessorNodeEditor = nodetest::ProcessorNodeTest;

TEST_F(VSTProcessorNodeEditor, TellsTheApplicationTheEditorsSizesAndSurvivesAReloadAndItsOwnEndWhileOpen) {
    ASSERT_TRUE(load("TestEditor"));
    std::mutex heardMutex;
    std::vector<std::string> heard;
    node().on(VSTProcessorNode::kEditorResizedEvent, [&](const varnel::VLAny& size) {
        std::lock_guard lock(heardMutex);
        heard.push_back(size.as<std::string>().value_or("?"));
    });
    std::atomic<bool> running{true};
    std::thread audio([&] {
        BusBuffers in(2, 64, 0.5f), out(2, 64);
        while (running.load())
            node().process(in.bus, out.bus);
    });

    void* const parent = reinterpret_cast<void*>(std::uintptr_t{0x3c00005});
    EXPECT_TRUE(node().getPluginHasEditor());
    ASSERT_TRUE(node().openPluginEditor(parent));
    EXPECT_TRUE(node().getIsPluginEditorOpen());
    EXPECT_EQ(node().getPluginEditorSize(), (VSTEditorSize{400, 300}));
    ASSERT_TRUE(probe().resizeFromEditor(420, 310));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    const auto heardSize = [&] {
        std::lock_guard lock(heardMutex);
        return std::find(heard.begin(), heard.end(), "420x310") != heard.end();
    };
    while (!heardSize() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_TRUE(heardSize());
    EXPECT_TRUE(node().setPluginEditorContentScale(2.0f));
    VSTEditorSize size{805, 605};
    EXPECT_TRUE(node().resizePluginEditor(size));
    EXPECT_EQ(size, (VSTEditorSize{800, 600}));
    node().closePluginEditor();
    EXPECT_FALSE(node().getIsPluginEditorOpen());

    // A new plug-in closes the old one's editor; its own opens as the first did.
    ASSERT_TRUE(node().openPluginEditor(parent));
    running.store(false);
    audio.join();
    ASSERT_TRUE(node().loadPlugin(TestPluginHandle::bundlePath("TestEditor")));
    EXPECT_FALSE(node().getIsPluginEditorOpen());
    ASSERT_TRUE(node().openPluginEditor(parent));
    unloadNode();
    EXPECT_EQ(probe().liveObjects(), 0);
    expectCleanFinish();
}

#endif
