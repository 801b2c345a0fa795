// `varnel-vst params`: the JSON is valid and lists what VSTModule lists, plus
// the controller's hidden flags and value texts, the class and the buses.
#include "ToolHarness.h"

#include "testplugin/TestPluginHandle.h"

#include <VSTModule.h>

#include <varnel/testing/LogCapture.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>

using namespace tooltest;
using testplugin::TestPluginHandle;
using varnel::extensions::vst::VSTModule;
using varnel::extensions::vst::VSTParameter;
using Json = nlohmann::json;

namespace {

Json paramsJson(const std::string& plugin) {
    const ToolRun run = runTool({"params", plugin, "--json"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    return Json::parse(run.out);
}

// Every field the library reports, compared entry by entry and in order.
void expectListsWhatTheLibraryLists(const Json& json, const std::string& path) {
    varnel::LogCapture quiet;
    VSTModule module;
    ASSERT_TRUE(module.loadPlugin(path));
    const std::vector<VSTParameter> expected = module.getParameters();
    const Json& listed = json.at("parameters");
    ASSERT_EQ(listed.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(expected[i].name);
        EXPECT_EQ(listed[i].at("id"), expected[i].id);
        EXPECT_EQ(listed[i].at("title"), expected[i].name);
        EXPECT_EQ(listed[i].at("units"), expected[i].units);
        EXPECT_EQ(listed[i].at("default"), expected[i].defaultValue);
        EXPECT_EQ(listed[i].at("stepCount"), expected[i].stepCount);
        EXPECT_EQ(listed[i].at("readOnly"), expected[i].readOnly);
        EXPECT_FLOAT_EQ(listed[i].at("value").get<float>(), module.getParameterValue(expected[i].id));
    }
}

const Json& parameterWithId(const Json& json, std::uint32_t id) {
    for (const Json& parameter : json.at("parameters")) {
        if (parameter.at("id") == id)
            return parameter;
    }
    throw std::runtime_error("no parameter with id " + std::to_string(id));
}

} // namespace

TEST(ParamsCommand, JsonOfATestPluginListsWhatTheLibraryLists) {
    const std::string path = TestPluginHandle::bundlePath("TestSeparate");
    const Json json = paramsJson(path);
    EXPECT_EQ(json.at("path"), path);
    EXPECT_EQ(json.at("channelLayout"), "stereo");
    expectListsWhatTheLibraryLists(json, path);
    EXPECT_EQ(paramsJson(TestPluginHandle::bundlePath("TestMono")).at("channelLayout"),
              "dual mono (two mono instances, one per channel)");
}

TEST(ParamsCommand, ShowsThePluginsLatencyAndTail) {
    const std::string path = TestPluginHandle::bundlePath("TestLatencyTail");
    const Json json = paramsJson(path);
    EXPECT_EQ(json.at("latencySamples"), 300);
    EXPECT_EQ(json.at("tailSamples"), 2400);
    const ToolRun run = runTool({"params", path});
    EXPECT_NE(run.out.find("latency 300 samples, tail 2400 samples (0.050 s) (at 48000 Hz)"),
              std::string::npos)
        << run.out;
}

TEST(ParamsCommand, OneClassOfSeveralIsChosenOrNamedInANote) {
    const std::string plugin = TestPluginHandle::bundlePath("TestTwoClasses");
    ToolRun run = runTool({"params", plugin});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("): TestTwoClasses B by"), std::string::npos) << run.out;
    EXPECT_EQ(run.err,
              "varnel-vst: note: " + plugin +
                  " declares 2 effects (TestTwoClasses A, TestTwoClasses B); loaded TestTwoClasses B "
                  "(choose one with --class)\n");
    run = runTool({"params", plugin, "--class", "TestTwoClasses A"});
    EXPECT_NE(run.out.find("): TestTwoClasses A by"), std::string::npos) << run.out;
    EXPECT_EQ(run.err, "");
}

TEST(ParamsCommand, HiddenFlagAndValueTextComeFromTheController) {
    const Json json = paramsJson(TestPluginHandle::bundlePath("TestSeparate"));
    EXPECT_EQ(parameterWithId(json, 1).at("hidden"), false);
    EXPECT_EQ(parameterWithId(json, 4).at("hidden"), true);
    // The test controller writes values with four decimals: Gain's default 1, Hidden's 0.5.
    EXPECT_EQ(parameterWithId(json, 1).at("text"), "1.0000");
    EXPECT_EQ(parameterWithId(json, 4).at("text"), "0.5000");
}

TEST(ParamsCommand, JsonOfZamCompX2ListsWhatTheLibraryListsWithPlainValueTexts) {
    if (!std::filesystem::exists("/usr/lib/vst3/ZamCompX2.vst3"))
        GTEST_SKIP() << "ZamCompX2 is not installed (scripts/setup.sh installs zam-plugins)";
    const Json json = paramsJson("ZamCompX2");
    EXPECT_EQ(json.at("path"), "/usr/lib/vst3/ZamCompX2.vst3");
    expectListsWhatTheLibraryLists(json, "/usr/lib/vst3/ZamCompX2.vst3");
    // The three internal parameters are hidden, the real ones not.
    for (const std::uint32_t id : {0u, 1u, 2u})
        EXPECT_EQ(parameterWithId(json, id).at("hidden"), true) << id;
    EXPECT_EQ(parameterWithId(json, 7).at("hidden"), false);
    // Its side-chain input: an auxiliary mono bus, off by default.
    EXPECT_EQ(json.at("class").at("vendor"), "Damien Zammit");
    const Json& sideChain = json.at("buses").at(1);
    EXPECT_EQ(sideChain.at("direction"), "input");
    EXPECT_EQ(sideChain.at("channels"), 1);
    EXPECT_EQ(sideChain.at("auxiliary"), true);
    EXPECT_EQ(sideChain.at("defaultActive"), false);
    // Ratio spans 1..20 linearly: its text is the plain value of its normalised one.
    const Json& ratio = parameterWithId(json, 6);
    EXPECT_NEAR(std::stod(ratio.at("text").get<std::string>()), 1.0 + 19.0 * ratio.at("value").get<double>(),
                1e-3);
    EXPECT_EQ(ratio.at("plain"), Json({{"min", 1.0}, {"max", 20.0}, {"default", 4.0}, {"value", 4.0}}));
    EXPECT_EQ(ratio.at("valueNames"), Json::array());
    // Sidechain has one step: its two values carry the plug-in's names for them.
    VSTModule module;
    std::string reason;
    ASSERT_TRUE(module.loadPlugin("/usr/lib/vst3/ZamCompX2.vst3", reason)) << reason;
    varnel::extensions::vst::VSTParameterRange range;
    ASSERT_TRUE(module.getParameterRange(11, range));
    ASSERT_EQ(range.valueNames.size(), 2u);
    const Json& sideChainSwitch = parameterWithId(json, 11);
    EXPECT_EQ(sideChainSwitch.at("stepCount"), 1);
    EXPECT_EQ(sideChainSwitch.at("valueNames"), Json(range.valueNames));
}

TEST(ParamsCommand, TextListingHasARowPerParameterWithItsFlags) {
    const ToolRun run = runTool({"params", TestPluginHandle::bundlePath("TestSeparate")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find(": TestSeparate by Varnel Tests, version 1.0.0, Fx\n"), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("\ninput 0   Input   2         main  active\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\n4 parameters\n"), std::string::npos) << run.out;
    EXPECT_NE(
        run.out.find("\n3   Meter   0.0000  0.0000         0.0000   0          1          0              "
                     "0      read-only\n"),
        std::string::npos)
        << run.out;
    EXPECT_NE(
        run.out.find("\n4   Hidden  0.5000  0.5000         0.5000   0          1          0.5            "
                     "0      hidden\n"),
        std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("\n  Mode: 0.0000, 0.5000, 1.0000\n"), std::string::npos) << run.out;
}
