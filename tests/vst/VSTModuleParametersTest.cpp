// The parameter model of VSTModule: listing, the by-name table, value names, and
// the hand-off of values to the controller and the audio side.
#include "HostedTestPlugin.h"

#include <varnel/testing/LogCapture.h>

#include <cmath>
#include <cstdio>
#include <limits>

using varnel::LogCapture;
using varnel::extensions::vst::VSTParameter;
using vsttest::HostedTestPlugin;
using vsttest::StereoBuffers;

namespace {

std::string roundTrip(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

// The value of the queue for `id` in the last block, or NaN when it carried none.
double lastQueuedValue(HostedTestPlugin& plugin, unsigned id) {
    const auto processed = plugin.probe().lastProcesses(1);
    if (processed.empty())
        return std::nan("");
    for (int i = 0; i < processed[0].parameterCount && i < 8; ++i) {
        if (processed[0].queues[i].id == id)
            return processed[0].queues[i].lastValue;
    }
    return std::nan("");
}

class LoadedPlugin : public ::testing::Test {
protected:
    void load(const char* name) {
        plugin = std::make_unique<HostedTestPlugin>(name);
        ASSERT_TRUE(plugin->load());
        log.clear();
    }
    void runBlock() { buffers.process(*plugin->module, 16); }

    LogCapture log;
    std::unique_ptr<HostedTestPlugin> plugin;
    StereoBuffers buffers{16};
};

} // namespace

TEST_F(LoadedPlugin, ListsEveryParameterWithItsFlags) {
    load("TestSeparate");
    const auto parameters = plugin->module->getParameters();
    ASSERT_EQ(parameters.size(), 4u);
    EXPECT_EQ(parameters[0].name, "Gain");
    EXPECT_EQ(parameters[0].units, "x");
    EXPECT_EQ(parameters[0].defaultValue, 1.0);
    EXPECT_EQ(parameters[1].name, "Mode");
    EXPECT_EQ(parameters[1].stepCount, 2);
    EXPECT_EQ(parameters[2].name, "Meter");
    EXPECT_TRUE(parameters[2].readOnly);
    EXPECT_FALSE(parameters[0].readOnly);
    EXPECT_EQ(parameters[3].name, "Hidden") << "hidden parameters are listed too";
}

TEST_F(LoadedPlugin, ReadOnlyParameterIsRefusedByIdTitleAndValueName) {
    load("TestSeparate");
    ASSERT_TRUE(plugin->module->setValueNamesForPluginParameter("Meter", {"high"}));
    plugin->probe().reset();
    plugin->module->setParameter(3u, 0.5f);
    EXPECT_FALSE(plugin->module->setParameter(std::string("Meter"), 0.5f));
    EXPECT_FALSE(plugin->module->setParameterByValueName("Meter", "high"));
    EXPECT_FALSE(plugin->module->setParameterByValueName("Meter", "never-given"));
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"[VSTModule] Read-only parameter not set: 3",
                                                     "[VSTModule] Read-only parameter not set: Meter",
                                                     "[VSTModule] Read-only parameter not set: Meter",
                                                     "[VSTModule] Read-only parameter not set: Meter"}));
    EXPECT_EQ(plugin->probe().count("setParamNormalized"), 0) << "the controller is not asked";
    plugin->module->setParameter(1u, 0.5f); // a writable neighbour still passes
    runBlock();
    EXPECT_TRUE(std::isnan(lastQueuedValue(*plugin, 3))) << "nothing queued for the audio side";
    EXPECT_EQ(lastQueuedValue(*plugin, 1), 0.5);
    EXPECT_NO_ORDER_VIOLATIONS(*plugin);
}

TEST_F(LoadedPlugin, DuplicateTitlesLeadToTheLastListed) {
    load("TestDuplicateTitles");
    const auto parameters = plugin->module->getParameters();
    ASSERT_EQ(parameters.size(), 3u);
    EXPECT_EQ(parameters[0].id, 10u);
    EXPECT_EQ(parameters[2].id, 12u);
    plugin->probe().reset();
    EXPECT_TRUE(plugin->module->setParameter(std::string("A"), 0.5f));
    EXPECT_EQ(plugin->sequence({"setParamNormalized"}),
              std::vector<std::string>{"setParamNormalized(id=12 value=0.5)"});
    EXPECT_TRUE(plugin->module->setParameter(std::string("B"), 0.5f));
    EXPECT_EQ(plugin->sequence({"setParamNormalized"}).back(), "setParamNormalized(id=11 value=0.5)");
}

TEST_F(LoadedPlugin, ParameterWhoseInfoFailsIsLeftOutOfListAndTable) {
    load("TestInfoFails");
    const auto parameters = plugin->module->getParameters();
    ASSERT_EQ(parameters.size(), 3u);
    EXPECT_EQ(parameters[0].name, "Gain");
    EXPECT_EQ(parameters[1].name, "Meter") << "the indices after the failing one are listed";
    EXPECT_FALSE(plugin->module->setParameter(std::string("Mode"), 0.5f));
    EXPECT_EQ(log.lines(), std::vector<std::string>{"[VSTModule] Parameter not found: Mode"});
}

TEST_F(LoadedPlugin, ValueNameIOfOnePerStepStandsForIOverStepCount) {
    // i / stepCount selects step i whether the plug-in truncates or rounds; the
    // top name selects the top step.
    load("TestSeparate");
    ASSERT_TRUE(plugin->module->setValueNamesForPluginParameter("Mode", {"low", "mid", "high"}));
    EXPECT_TRUE(log.lines().empty());
    plugin->probe().reset();
    ASSERT_TRUE(plugin->module->setParameterByValueName("Mode", "high"));
    EXPECT_EQ(plugin->sequence({"setParamNormalized"}),
              std::vector<std::string>{"setParamNormalized(id=2 value=1)"});
    runBlock();
    EXPECT_EQ(lastQueuedValue(*plugin, 2), 1.0);
    ASSERT_TRUE(plugin->module->setParameterByValueName("Mode", "mid"));
    EXPECT_EQ(plugin->module->getParameterValue(2), 0.5f);
    ASSERT_TRUE(plugin->module->setParameterByValueName("Mode", "low"));
    EXPECT_EQ(plugin->module->getParameterValue(2), 0.0f);
}

TEST_F(LoadedPlugin, WrongNumberOfValueNamesIsReportedButAssigned) {
    load("TestSeparate");
    EXPECT_TRUE(plugin->module->setValueNamesForPluginParameter("Mode", {"off", "on"}));
    EXPECT_EQ(log.lines(),
              std::vector<std::string>{"[VSTModule] valueNames size should be equal to stepCount + 1"});
    ASSERT_TRUE(plugin->module->setParameterByValueName("Mode", "on"));
    EXPECT_EQ(plugin->module->getParameterValue(2), 0.5f);
}

TEST_F(LoadedPlugin, UnknownValueNameIsRefusedAndThePluginsOwnNamesStillWork) {
    load("TestSeparate");
    plugin->module->setParameter(2u, 0.9f);
    for (const bool named : {false, true}) {
        if (named) {
            EXPECT_TRUE(plugin->module->setValueNamesForPluginParameter("Mode", {"a", "b", "c"}));
        }
        log.clear();
        EXPECT_FALSE(plugin->module->setParameterByValueName("Mode", "never-given"));
        EXPECT_EQ(log.lines(), std::vector<std::string>{"[VSTModule] Mode has no value named never-given"});
        EXPECT_EQ(plugin->module->getLastError(), "Mode has no value named never-given");
        EXPECT_EQ(plugin->module->getParameterValue(2), 0.9f) << "named: " << named;
    }
    // The plug-in's own step names work beside the caller's.
    varnel::extensions::vst::VSTParameterRange range;
    ASSERT_TRUE(plugin->module->getParameterRange(2, range));
    ASSERT_EQ(range.valueNames.size(), 3u);
    EXPECT_TRUE(plugin->module->setParameterByValueName("Mode", range.valueNames[1]));
    EXPECT_EQ(plugin->module->getParameterValue(2), 0.5f);
    EXPECT_TRUE(plugin->module->setParameterByValueName("Mode", "c"));
    EXPECT_EQ(plugin->module->getParameterValue(2), 1.0f);
}

TEST_F(LoadedPlugin, LastValueBeforeABlockWinsWhileTheControllerSeesEach) {
    load("TestSeparate");
    plugin->probe().reset();
    plugin->module->setParameter(1u, 0.2f);
    plugin->module->setParameter(1u, 0.7f);
    EXPECT_EQ(plugin->sequence({"setParamNormalized"}),
              (std::vector<std::string>{"setParamNormalized(id=1 value=" + roundTrip(double(0.2f)) + ")",
                                        "setParamNormalized(id=1 value=" + roundTrip(double(0.7f)) + ")"}));
    runBlock();
    const auto processed = plugin->probe().lastProcesses(1);
    ASSERT_EQ(processed[0].parameterCount, 1);
    EXPECT_EQ(processed[0].queues[0].pointCount, 1);
    EXPECT_EQ(processed[0].queues[0].firstValue, static_cast<double>(0.7f));
}

TEST_F(LoadedPlugin, NamesAreExactAndReportedAsGiven) {
    load("TestSeparate");
    EXPECT_FALSE(plugin->module->setParameter(std::string("gain"), 0.5f));
    EXPECT_FALSE(plugin->module->setParameter(std::string("Gain "), 0.5f));
    EXPECT_FALSE(plugin->module->setValueNamesForPluginParameter("MODE", {"a"}));
    EXPECT_FALSE(plugin->module->setParameterByValueName("mode", "a"));
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"[VSTModule] Parameter not found: gain",
                                                     "[VSTModule] Parameter not found: Gain ",
                                                     "[VSTModule] Parameter not found: MODE",
                                                     "[VSTModule] Parameter not found: mode"}));
}

TEST_F(LoadedPlugin, UnknownIdIsAnsweredByTheController) {
    load("TestSeparate");
    EXPECT_EQ(plugin->module->getParameterValue(999), 0.0f);
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(LoadedPlugin, NonFiniteValuesAreRefusedEverywhere) {
    load("TestSeparate");
    plugin->probe().reset();
    plugin->module->setParameter(1u, std::numeric_limits<float>::quiet_NaN());
    plugin->module->setParameter(1u, std::numeric_limits<float>::infinity());
    EXPECT_FALSE(plugin->module->setParameter(std::string("Gain"), -std::numeric_limits<float>::infinity()));
    EXPECT_EQ(log.count("[VSTModule] Invalid parameter value"), 3u);
    EXPECT_EQ(plugin->probe().count("setParamNormalized"), 0);
    runBlock();
    EXPECT_EQ(plugin->probe().lastProcesses(1)[0].parameterCount, 0);
    // Finite values outside 0..1 pass unclamped.
    plugin->module->setParameter(1u, 1.5f);
    runBlock();
    EXPECT_EQ(lastQueuedValue(*plugin, 1), 1.5);
}

TEST_F(LoadedPlugin, EveryUnlistedIdReachesTheProcessorOverAsManyBlocksAsItTakes) {
    // Plug-ins add parameters after the load; no fixed room may silently run out.
    load("TestSeparate");
    for (unsigned id = 1000; id < 1200; ++id)
        plugin->module->setParameter(id, 0.5f);
    plugin->module->setParameter(1u, 0.5f);
    EXPECT_EQ(log.count("[VSTModule] Could not set parameter"), 0u);
    plugin->probe().reset();
    for (int block = 0; block < 40; ++block)
        runBlock();
    int carried = 0;
    for (const auto& record : plugin->probe().lastProcesses(40))
        carried += record.parameterCount;
    EXPECT_EQ(carried, 201);
}

using VSTModuleParametersWithoutController = vsttest::HostedPluginTest;

TEST_F(VSTModuleParametersWithoutController, ValuesStillReachTheAudioSide) {
    ASSERT_TRUE(plugin.load("TestNoController"));
    log.clear();
    EXPECT_EQ(plugin.module->getParameterValue(1), 0.0f);
    plugin.module->setParameter(1u, 0.5f);
    EXPECT_EQ(log.count("[VSTModule] Edit controller interface is not available."), 2u);
    StereoBuffers buffers(16, 1.0f);
    buffers.process(*plugin.module, 16);
    EXPECT_FLOAT_EQ(buffers.outL[3], 0.5f);
}

TEST(VSTModuleParametersBeforeLoad, ByNameCallsFindNothing) {
    LogCapture log;
    varnel::extensions::vst::VSTModule module;
    EXPECT_FALSE(module.setParameter(std::string("Gain"), 0.5f));
    EXPECT_FALSE(module.setValueNamesForPluginParameter("Gain", {}));
    EXPECT_FALSE(module.setParameterByValueName("Gain", "x"));
    EXPECT_EQ(log.count("[VSTModule] Parameter not found: Gain"), 3u);
    EXPECT_TRUE(module.getParameters().empty());
}
