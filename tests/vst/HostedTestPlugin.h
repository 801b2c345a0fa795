#pragma once

#include "VSTModule.h"
#include "testplugin/TestPluginHandle.h"
#include "testsupport/AllocationCounter.h"
#include "testsupport/LockCounter.h"

#include <varnel/testing/LogCapture.h>

#include <gtest/gtest.h>

#include <iostream>
#include <memory>
#include <string>
#include <vector>

namespace vsttest {

// Planar stereo input and output for blocks of up to `capacity` frames.
struct StereoBuffers {
    explicit StereoBuffers(int capacity, float inputValue = 0.5f)
        : inL(capacity, inputValue), inR(capacity, inputValue), outL(capacity, 0.0f), outR(capacity, 0.0f) {}

    void process(varnel::extensions::vst::VSTModule& module, int frames) {
        module.process(inL.data(), inR.data(), outL.data(), outR.data(), frames);
    }

    std::vector<float> inL, inR, outL, outR;
};

// A test plug-in hosted by a VSTModule. The handle holds the library open on its
// own, so the plug-in's record outlives the module's unload and can be read after
// teardown. Built without a name, it hosts nothing until host(name) or load(name).
// What the calling thread allocates and (on Linux) locks while it lives: the audio
// thread's promise is none of either.
class AudioThreadCounters {
public:
    void expectNone() const {
        const std::size_t allocated = allocations_.count();
        EXPECT_EQ(allocated, 0u) << "allocations";
#if defined(__linux__)
        const std::size_t locked = locks_.count();
        EXPECT_EQ(locked, 0u) << "locks";
#endif
    }

private:
    testsupport::AllocationCounter allocations_;
#if defined(__linux__)
    testsupport::LockCounter locks_;
#endif
};

class HostedTestPlugin {
public:
    HostedTestPlugin() = default;
    explicit HostedTestPlugin(const std::string& pluginName) { host(pluginName); }

    // Takes hold of the test plug-in `pluginName` beside a fresh, empty module,
    // unloading whatever was hosted before.
    void host(const std::string& pluginName) {
        module.reset();
        handle.reset();
        name = pluginName;
        handle = std::make_unique<testplugin::TestPluginHandle>(pluginName);
        module = std::make_unique<varnel::extensions::vst::VSTModule>();
    }
    bool load() { return module->loadPlugin(testplugin::TestPluginHandle::bundlePath(name)); }
    bool load(const std::string& pluginName) {
        host(pluginName);
        return load();
    }
    void unload() { module.reset(); }
    // One block of `frames` through the module, in fresh buffers of that size.
    StereoBuffers processBlock(int frames) {
        StereoBuffers buffers(frames);
        buffers.process(*module, frames);
        return buffers;
    }
    testplugin::TestPluginProbe& probe() { return handle->probe(); }

    // Recorded calls of `method` with exactly these arguments.
    int count(const std::string& method, const std::string& arguments) {
        int matches = 0;
        for (const testplugin::CallRecord& call : probe().calls())
            matches += call.method == method && call.arguments == arguments;
        return matches;
    }

    // "method(arguments)" of every recorded call named in `methods`, in call order.
    std::vector<std::string> sequence(const std::vector<std::string>& methods) {
        std::vector<std::string> result;
        for (const testplugin::CallRecord& call : probe().calls()) {
            for (const std::string& method : methods) {
                if (call.method == method)
                    result.push_back(call.method + "(" + call.arguments + ")");
            }
        }
        return result;
    }

    std::string name;
    std::unique_ptr<testplugin::TestPluginHandle> handle;
    std::unique_ptr<varnel::extensions::vst::VSTModule> module;
};

#define EXPECT_NO_ORDER_VIOLATIONS(plugin)                                                                   \
    EXPECT_TRUE((plugin).probe().violations().empty()) << testplugin::describeViolations((plugin).probe())

// What most module tests open with: the log captured from the start, and a
// plug-in slot that `ASSERT_TRUE(plugin.load("TestSeparate"))` fills. Checks
// stay in the tests; the closing ones most of them share are one call each.
class HostedPluginTest : public testing::Test {
protected:
    // A failing test shows what was logged, which the capture would otherwise hide.
    void TearDown() override {
        if (HasFailure()) {
            for (const std::string& line : log.lines())
                std::cerr << "logged: " << line << '\n';
        }
    }
    // Unloads the plug-in, so its terminate calls are recorded too, and checks
    // that the host kept the VST 3 call order throughout.
    void expectUnloadsInOrder() {
        plugin.unload();
        EXPECT_NO_ORDER_VIOLATIONS(plugin);
    }
    // Nothing was logged since the capture began or was last cleared.
    void expectNothingLogged() {
        const std::vector<std::string> lines = log.lines();
        EXPECT_TRUE(lines.empty()) << lines.size() << " lines, the first: " << lines.front();
    }
    // The closing most tests share: nothing logged, then expectUnloadsInOrder.
    void expectCleanFinish() {
        expectNothingLogged();
        expectUnloadsInOrder();
    }

    varnel::LogCapture log; // declared first, so it outlives the plug-in's unload
    HostedTestPlugin plugin;
};

// The same with a parameter, for TEST_P.
template <typename Param>
class HostedPluginTestWithParam : public HostedPluginTest, public testing::WithParamInterface<Param> {};

} // namespace vsttest
