// A plug-in in a process of its own: the same audio and state bytes as in this
// process, and a crash, exit or hang that costs its module alone.
#include "HostedTestPlugin.h"

#include "testsupport/InstalledPlugins.h"

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <mutex>
#include <thread>

using varnel::extensions::vst::VSTIsolation;
using varnel::extensions::vst::VSTIsolationMode;
using varnel::extensions::vst::VSTModule;
using varnel::extensions::vst::VSTParameter;
using varnel::extensions::vst::VSTPluginEvent;
using varnel::extensions::vst::VSTProcessingMode;
using vsttest::StereoBuffers;

namespace {

// Limits short enough for a test to meet a hang soon; a generous block budget,
// so that a busy machine never turns a block dry where the audio is compared.
VSTIsolation isolation(int callTimeoutMilliseconds = 10000, int hangMilliseconds = 1000,
                       int blockBudgetMicroseconds = 2'000'000) {
    return VSTIsolation{VSTIsolationMode::process, blockBudgetMicroseconds, hangMilliseconds,
                        callTimeoutMilliseconds};
}

// Every module of these tests runs this build's helper program.
void useThisBuildsHelper() {
    setenv(VSTModule::kPluginHostVariable, VARNELVST_PLUGIN_HOST_PROGRAM, 1);
}

// A deterministic test signal: a sine under noise, loud enough to reach every
// compressor's threshold.
std::vector<float> testSignal(int frames, unsigned seed) {
    std::vector<float> signal(static_cast<std::size_t>(frames));
    unsigned state = seed;
    for (int frame = 0; frame < frames; ++frame) {
        state = state * 1664525u + 1013904223u;
        const float noise = static_cast<float>(state >> 8) / 16777216.0f - 0.5f;
        signal[static_cast<std::size_t>(frame)] =
            0.6f * std::sin(0.03f * static_cast<float>(frame)) + 0.2f * noise;
    }
    return signal;
}

struct Render {
    std::vector<float> left, right;
    std::uint32_t latency = 0;
    std::vector<std::uint8_t> state;
    std::uint64_t failures = 0;
};

// The signal through `module` in blocks of changing size, with a value set before
// the first block and one in the middle, as a session would.
void renderInto(VSTModule& module, Render& render, const std::vector<VSTParameter>& writable) {
    const std::vector<float> inL = testSignal(12000, 1);
    const std::vector<float> inR = testSignal(12000, 2);
    render.left.assign(inL.size(), 0.0f);
    render.right.assign(inR.size(), 0.0f);
    const int sizes[] = {512, 100, 256, 7, 333};
    std::size_t done = 0;
    for (int block = 0; done < inL.size(); ++block) {
        if (block == 9 && writable.size() > 1)
            module.setParameter(writable[1].id, 0.7f);
        const int frames = static_cast<int>(std::min<std::size_t>(sizes[block % 5], inL.size() - done));
        module.process(const_cast<float*>(inL.data() + done), const_cast<float*>(inR.data() + done),
                       render.left.data() + done, render.right.data() + done, frames);
        done += static_cast<std::size_t>(frames);
    }
    render.latency = module.getLatencySamples();
    module.getState(render.state);
    render.failures = module.getAudioThreadFailureCount();
}

Render renderInstalled(const std::string& name, bool isolated) {
    VSTModule module;
    if (isolated) {
        EXPECT_TRUE(module.setIsolation(isolation()));
    }
    Render render;
    EXPECT_TRUE(module.loadPlugin(testsupport::installedBundle(name)));
    EXPECT_TRUE(module.setupProcessing(VSTProcessingMode::Realtime, 512, 48000.0));
    std::vector<VSTParameter> writable;
    for (const VSTParameter& parameter : module.getParameters()) {
        if (!parameter.readOnly && parameter.stepCount == 0 && parameter.id >= 3)
            writable.push_back(parameter);
    }
    if (!writable.empty())
        module.setParameter(writable[0].id, 0.3f);
    renderInto(module, render, writable);
    return render;
}

bool sameBits(const std::vector<float>& a, const std::vector<float>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

// The module's events of one kind, heard on the plug-in thread, read on the test's.
class CrashListener {
public:
    void listen(VSTModule& module) {
        module.setEventListener([this](const VSTPluginEvent& event) {
            if (event.kind != VSTPluginEvent::Kind::pluginCrashed)
                return;
            std::lock_guard lock(mutex);
            crashes.push_back(event);
        });
    }
    std::vector<VSTPluginEvent> heard() {
        std::lock_guard lock(mutex);
        return crashes;
    }

private:
    std::mutex mutex;
    std::vector<VSTPluginEvent> crashes;
};

class VSTModuleIsolation : public vsttest::HostedPluginTest {
protected:
    VSTModuleIsolation() { useThisBuildsHelper(); }

    // Hosts the test plug-in `name` in a process of its own; the load's result.
    bool loadIsolated(const std::string& name, const VSTIsolation& limits) {
        plugin.host(name);
        listener.listen(*plugin.module);
        EXPECT_TRUE(plugin.module->setIsolation(limits));
        return plugin.load();
    }
    // Drives control calls until the module has told of its plug-in's end.
    void awaitCrash() {
        for (int attempt = 0; attempt < 4000 && listener.heard().empty(); ++attempt) {
            plugin.module->reportAudioThreadFailures();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        ASSERT_EQ(listener.heard().size(), 1u);
    }
    int linesSaying(const std::string& text) {
        int count = 0;
        for (const std::string& line : log.lines())
            count += line == text;
        return count;
    }

    CrashListener listener;
};

using VSTModuleIsolationRenders = testing::TestWithParam<const char*>;

} // namespace

// Stereo, dual mono (two instances in the helper) and a latency of 480: audio,
// latency and state bytes as in this process, and no block lost on the way.
TEST_P(VSTModuleIsolationRenders, EqualInProcessBitForBit) {
    if (!testsupport::isInstalled(GetParam()))
        GTEST_SKIP() << GetParam() << " is not installed";
    useThisBuildsHelper();
    const Render local = renderInstalled(GetParam(), false);
    const Render isolated = renderInstalled(GetParam(), true);
    EXPECT_TRUE(sameBits(local.left, isolated.left));
    EXPECT_TRUE(sameBits(local.right, isolated.right));
    EXPECT_EQ(local.latency, isolated.latency);
    EXPECT_EQ(local.state, isolated.state);
    EXPECT_FALSE(local.state.empty());
    EXPECT_EQ(isolated.failures, 0u);
    if (std::string(GetParam()) == "ZaMaximX2") {
        EXPECT_EQ(isolated.latency, 480u);
    }
}

INSTANTIATE_TEST_SUITE_P(Installed, VSTModuleIsolationRenders,
                         testing::Values("ZamCompX2", "ZamEQ2", "ZaMaximX2"));

namespace {

// A hostile plug-in, what makes it strike, and what the module must say after.
struct Hostile {
    const char* plugin;
    void (*strike)(VSTModule& module);
    VSTPluginEvent::Ending ending;
    int code;
    const char* reason;
};

StereoBuffers nonFiniteBlock() {
    return StereoBuffers(64, std::numeric_limits<float>::quiet_NaN());
}

const Hostile kHostile[] = {
    {"TestCrashesOnNonFinite", [](VSTModule& module) { nonFiniteBlock().process(module, 64); },
     VSTPluginEvent::Ending::signal, SIGSEGV, "The plug-in process ended with SIGSEGV during process"},
    // Blocks keep coming while the plug-in is stuck in one: dry, until it counts as hung.
    {"TestHangsOnNonFinite",
     [](VSTModule& module) {
         nonFiniteBlock().process(module, 64);
         for (int block = 0; block < 400 && module.getLastError().empty(); ++block) {
             StereoBuffers(64).process(module, 64);
             std::this_thread::sleep_for(std::chrono::milliseconds(2));
         }
     },
     VSTPluginEvent::Ending::hang, 0,
     "The plug-in hung during process (its blocks were behind for 200 ms); its process was ended"},
    // The load itself activates it.
    {"TestAbortsOnActivation", [](VSTModule&) {}, VSTPluginEvent::Ending::signal, SIGABRT,
     "The plug-in process ended with SIGABRT during setActive"},
    {"TestExitsInController", [](VSTModule& module) { module.getParameterValueText(1, 0.5); },
     VSTPluginEvent::Ending::exit, 0,
     "The plug-in process ended with exit status 0 during getParamStringByValue"},
    {"TestHangsInSetState",
     [](VSTModule& module) {
         std::vector<std::uint8_t> state;
         ASSERT_TRUE(module.getState(state));
         EXPECT_FALSE(module.setState(state));
     },
     VSTPluginEvent::Ending::hang, 0,
     "The plug-in hung during setState (no answer within 2000 ms); its process was ended"},
};

class VSTModuleIsolationHostile : public VSTModuleIsolation, public testing::WithParamInterface<Hostile> {};

} // namespace

// Each costs its module and nothing else: this process runs on, the listener hears
// how it ended, the reason is logged once and kept, control calls fail with it at
// once, and blocks pass through dry and are counted.
TEST_P(VSTModuleIsolationHostile, CostsItsModuleAlone) {
    const Hostile& hostile = GetParam();
    // Timeouts a sanitizer build's slow helper still meets, short enough to wait out.
    ASSERT_TRUE(loadIsolated(hostile.plugin, isolation(2000, 200, 0)));
    hostile.strike(*plugin.module);
    awaitCrash();
    const VSTPluginEvent crash = listener.heard().front();
    EXPECT_EQ(crash.ending, hostile.ending);
    EXPECT_EQ(crash.endingCode, hostile.code);
    EXPECT_EQ(plugin.module->getLastError(), hostile.reason);
    EXPECT_EQ(linesSaying(std::string("[VSTModule] ") + hostile.reason), 1);

    EXPECT_TRUE(plugin.module->getParameters().empty());
    EXPECT_FALSE(plugin.module->setProcessing(true));
    EXPECT_EQ(plugin.module->getLastError(), hostile.reason);
    EXPECT_FALSE(plugin.module->isReadyToProcess());

    const std::uint64_t failuresBefore = plugin.module->getAudioThreadFailureCount();
    StereoBuffers block(64, 0.25f);
    block.process(*plugin.module, 64);
    EXPECT_EQ(block.outL, block.inL);
    EXPECT_EQ(block.outR, block.inR);
    EXPECT_EQ(plugin.module->getAudioThreadFailureCount(), failuresBefore + 1);
    EXPECT_EQ(listener.heard().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Plugins, VSTModuleIsolationHostile, testing::ValuesIn(kHostile),
                         [](const testing::TestParamInfo<Hostile>& info) {
                             return std::string(info.param.plugin);
                         });

namespace {

// The helper of this process's one isolated plug-in, found among its children.
pid_t helperProcess() {
    namespace fs = std::filesystem;
    for (const auto& task : fs::directory_iterator("/proc/self/task")) {
        std::ifstream children(task.path() / "children");
        for (pid_t child = 0; children >> child;) {
            std::error_code error;
            const fs::path program = fs::read_symlink("/proc/" + std::to_string(child) + "/exe", error);
            if (!error && program.filename() == "varnel-vst-plugin-host")
                return child;
        }
    }
    return -1;
}

} // namespace

TEST_F(VSTModuleIsolation, AHelperKilledInTheMiddleOfABlockCostsThatBlockAndTellsWhy) {
    // Stuck in a block, and given up on by the audio thread, long before it counts as hung.
    ASSERT_TRUE(loadIsolated("TestHangsOnNonFinite", isolation(10000, 60000, 20000)));
    StereoBuffers stuck = nonFiniteBlock();
    stuck.process(*plugin.module, 64);
    const pid_t helper = helperProcess();
    ASSERT_GT(helper, 0);
    ASSERT_EQ(kill(helper, SIGKILL), 0);
    awaitCrash();
    EXPECT_EQ(listener.heard().front().ending, VSTPluginEvent::Ending::signal);
    EXPECT_EQ(listener.heard().front().endingCode, SIGKILL);
    EXPECT_EQ(plugin.module->getLastError(), "The plug-in process ended with SIGKILL during process");
    EXPECT_EQ(helperProcess(), -1); // reaped
    EXPECT_TRUE(std::all_of(stuck.outL.begin(), stuck.outL.end(), [](float x) { return std::isnan(x); }));
}

// After the crash the module holds the state set last and the value set after it;
// the reloaded plug-in sounds as one in this process restored to the same.
TEST_F(VSTModuleIsolation, AReloadRestoresTheLastStateAndSoundsAsInProcess) {
    ASSERT_TRUE(loadIsolated("TestCrashesOnNonFinite", isolation()));
    VSTModule& module = *plugin.module;
    module.setParameter(1, 0.3f);
    StereoBuffers(256).process(module, 256);
    std::vector<std::uint8_t> saved;
    ASSERT_TRUE(module.getState(saved));
    module.setParameter(2, 1.0f);
    module.setParameter(1, 0.6f);
    StereoBuffers(256).process(module, 256);
    nonFiniteBlock().process(module, 64);
    awaitCrash();

    ASSERT_TRUE(module.reloadPlugin());
    EXPECT_TRUE(module.isReadyToProcess());
    VSTModule local;
    ASSERT_TRUE(local.loadPlugin(testplugin::TestPluginHandle::bundlePath("TestCrashesOnNonFinite")));
    ASSERT_TRUE(local.setState(saved));
    local.setParameter(2, 1.0f);
    local.setParameter(1, 0.6f);
    for (int block = 0; block < 4; ++block) {
        StereoBuffers reloaded(256, 0.1f * static_cast<float>(block + 1));
        StereoBuffers reference(256, 0.1f * static_cast<float>(block + 1));
        reloaded.process(module, 256);
        reference.process(local, 256);
        EXPECT_EQ(reloaded.outL, reference.outL);
        EXPECT_EQ(reloaded.outR, reference.outR);
    }
    EXPECT_FLOAT_EQ(module.getParameterValue(1), 0.6f);
    std::vector<std::uint8_t> reloadedState, referenceState;
    ASSERT_TRUE(module.getState(reloadedState));
    ASSERT_TRUE(local.getState(referenceState));
    EXPECT_EQ(reloadedState, referenceState);
    EXPECT_TRUE(module.getLastError().find("SIGSEGV") != std::string::npos);
}
