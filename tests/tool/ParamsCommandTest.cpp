// `varnel-vst params`: the JSON is valid and lists what VSTModule lists, plus
// the controller's hidden flags and value texts.
#include "JsonValue.h"
#include "ToolHarness.h"

#include "testplugin/TestPluginHandle.h"

#include <VSTModule.h>

#include <varnel/testing/LogCapture.h>

#include <gtest/gtest.h>

#include <filesystem>

using namespace tooltest;
using testplugin::TestPluginHandle;
using varnel::extensions::vst::VSTModule;
using varnel::extensions::vst::VSTParameter;

namespace {

JsonValue paramsJson(const std::string& plugin) {
    const ToolRun run = runTool({"params", plugin, "--json"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    return parseJson(run.out);
}

// Every field the library reports, compared entry by entry and in order.
void expectListsWhatTheLibraryLists(const JsonValue& json, const std::string& path) {
    varnel::LogCapture quiet;
    VSTModule module;
    ASSERT_TRUE(module.loadPlugin(path));
    const std::vector<VSTParameter> expected = module.getParameters();
    const JsonArray& listed = json["parameters"].asArray();
    ASSERT_EQ(listed.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(expected[i].name);
        EXPECT_EQ(listed[i]["id"].asNumber(), expected[i].id);
        EXPECT_EQ(listed[i]["title"].asString(), expected[i].name);
        EXPECT_EQ(listed[i]["units"].asString(), expected[i].units);
        EXPECT_EQ(listed[i]["default"].asNumber(), expected[i].defaultValue);
        EXPECT_EQ(listed[i]["stepCount"].asNumber(), expected[i].stepCount);
        EXPECT_EQ(listed[i]["readOnly"].asBool(), expected[i].readOnly);
        EXPECT_FLOAT_EQ(static_cast<float>(listed[i]["value"].asNumber()),
                        module.getParameterValue(expected[i].id));
    }
}

const JsonValue& parameterWithId(const JsonValue& json, double id) {
    for (const JsonValue& parameter : json["parameters"].asArray()) {
        if (parameter["id"].asNumber() == id)
            return parameter;
    }
    throw std::runtime_error("no parameter with id " + std::to_string(id));
}

} // namespace

TEST(ParamsCommand, JsonOfATestPluginListsWhatTheLibraryLists) {
    const std::string path = TestPluginHandle::bundlePath("TestSeparate");
    const JsonValue json = paramsJson(path);
    EXPECT_EQ(json["path"].asString(), path);
    expectListsWhatTheLibraryLists(json, path);
}

TEST(ParamsCommand, HiddenFlagAndValueTextComeFromTheController) {
    const JsonValue json = paramsJson(TestPluginHandle::bundlePath("TestSeparate"));
    EXPECT_FALSE(parameterWithId(json, 1)["hidden"].asBool());
    EXPECT_TRUE(parameterWithId(json, 4)["hidden"].asBool());
    // The test controller writes values with four decimals: Gain's default 1, Hidden's 0.5.
    EXPECT_EQ(parameterWithId(json, 1)["text"].asString(), "1.0000");
    EXPECT_EQ(parameterWithId(json, 4)["text"].asString(), "0.5000");
}

TEST(ParamsCommand, JsonOfZamCompX2ListsWhatTheLibraryListsWithPlainValueTexts) {
    if (!std::filesystem::exists("/usr/lib/vst3/ZamCompX2.vst3"))
        GTEST_SKIP() << "ZamCompX2 is not installed (scripts/setup.sh installs zam-plugins)";
    const JsonValue json = paramsJson("ZamCompX2");
    EXPECT_EQ(json["path"].asString(), "/usr/lib/vst3/ZamCompX2.vst3");
    expectListsWhatTheLibraryLists(json, "/usr/lib/vst3/ZamCompX2.vst3");
    // The three internal parameters are hidden, the real ones not.
    for (const double id : {0.0, 1.0, 2.0})
        EXPECT_TRUE(parameterWithId(json, id)["hidden"].asBool()) << id;
    EXPECT_FALSE(parameterWithId(json, 7)["hidden"].asBool());
    // Ratio spans 1..20 linearly: its text is the plain value of its normalised one.
    const JsonValue& ratio = parameterWithId(json, 6);
    EXPECT_NEAR(std::stod(ratio["text"].asString()), 1.0 + 19.0 * ratio["value"].asNumber(), 1e-3);
}

TEST(ParamsCommand, TextListingHasARowPerParameterWithItsFlags) {
    const ToolRun run = runTool({"params", TestPluginHandle::bundlePath("TestSeparate")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find(": 4 parameters\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\n3   Meter   0.0000  0.0000         0.0000   0      read-only\n"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("\n4   Hidden  0.5000  0.5000         0.5000   0      hidden\n"),
              std::string::npos)
        << run.out;
}
