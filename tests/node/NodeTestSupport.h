#pragma once

#include "VSTProcessorNode.h"
#include "testplugin/TestPluginHandle.h"

#include <varnel/AudioBuffer.h>
#include <varnel/AudioBus.h>
#include <varnel/testing/LogCapture.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

namespace nodetest {

// Planar buffers of `channels` x `frames` behind framework views, for driving a
// node as the graph would.
struct BusBuffers {
    BusBuffers(std::uint32_t channels, std::uint32_t frames, float value = 0.0f)
        : samples(channels, std::vector<float>(frames, value)), pointers(channels) {
        for (std::uint32_t c = 0; c < channels; ++c)
            pointers[c] = samples[c].data();
        buffer = varnel::AudioBuffer<float>(pointers.data(), channels, frames);
        bus.buffer = &buffer;
    }

    std::vector<std::vector<float>> samples;
    std::vector<float*> pointers;
    varnel::AudioBuffer<float> buffer;
    varnel::AudioBus bus;
};

// A node whose plug-in is a test plug-in, loaded through the public loadPlugin.
// The handle holds the library open on its own, so the plug-in's record can be
// read after the node is gone.
struct TestPluginNode {
    explicit TestPluginNode(const std::string& name)
        : handle(name),
          node(std::make_unique<varnel::extensions::vst::VSTProcessorNode>(varnel::VLAnyMap{})) {
        loaded = node->loadPlugin(testplugin::TestPluginHandle::bundlePath(name));
        EXPECT_EQ(node->getIsPluginLoaded(), loaded);
    }
    testplugin::TestPluginHandle handle;
    std::unique_ptr<varnel::extensions::vst::VSTProcessorNode> node;
    bool loaded = false;
};

// What most node tests open with: the log captured from the start, and a node
// that `ASSERT_TRUE(load("TestSeparate"))` gives a test plug-in. Checks stay in
// the tests; the closing ones several of them share are one call each.
class ProcessorNodeTest : public testing::Test {
protected:
    // A failing test shows what was logged, which the capture would otherwise hide.
    void TearDown() override {
        if (HasFailure()) {
            for (const std::string& line : log.lines())
                std::cerr << "logged: " << line << '\n';
        }
    }
    // A fresh node given the test plug-in `name`; the log is cleared of the
    // nameless node's failed first load, which every such node makes.
    bool load(const std::string& name) {
        plugin = std::make_unique<TestPluginNode>(name);
        log.clear();
        return plugin->loaded;
    }
    varnel::extensions::vst::VSTProcessorNode& node() { return *plugin->node; }
    testplugin::TestPluginProbe& probe() { return plugin->handle.probe(); }
    // The node goes; its plug-in's record stays readable.
    void unloadNode() { plugin->node.reset(); }

    // Nothing was logged since the capture began or was last cleared.
    void expectNothingLogged() {
        const std::vector<std::string> lines = log.lines();
        EXPECT_TRUE(lines.empty()) << lines.size() << " lines, the first: " << lines.front();
    }
    // The host kept the VST 3 call order with the loaded test plug-in.
    void expectNoViolations() {
        EXPECT_TRUE(probe().violations().empty()) << testplugin::describeViolations(probe());
    }
    // The closing several tests share: no order violations, then nothing logged.
    void expectCleanFinish() {
        expectNoViolations();
        expectNothingLogged();
    }

    varnel::LogCapture log; // declared first, so it outlives the node
    std::unique_ptr<TestPluginNode> plugin;
};

} // namespace nodetest
