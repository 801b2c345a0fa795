#include <gtest/gtest.h>

#include "varnel/VarnelObject.h"

using namespace varnel;

namespace {

const VLAnyMap kDescription{
    {"name", "VST3 Plugin Name"}, {"type", "string"}, {"description", "Name"}, {"value", "ZamCompX2.vst3"}};

} // namespace

TEST(VarnelObjectConfiguration, RegisteredDescriptionReadsBackWhole) {
    VarnelObject object;
    object.registerConfiguration("pluginFileName", kDescription);
    EXPECT_EQ(object.getConfiguration("pluginFileName"), kDescription);
    EXPECT_EQ(object.getConfigurations().size(), 1u);
    EXPECT_FALSE(object.getConfiguration("missing").has_value());
}

TEST(VarnelObjectConfiguration, ValuesGoThroughRegisteredEntriesOnly) {
    VarnelObject object;
    object.registerConfiguration("pluginFileName", kDescription);
    EXPECT_EQ(object.getValue("pluginFileName").value(), VLAny("ZamCompX2.vst3"));
    EXPECT_TRUE(object.setValue("pluginFileName", "ZamVerb.vst3").ok());
    EXPECT_EQ(object.getValue("pluginFileName").value(), VLAny("ZamVerb.vst3"));

    const Result<void> refused = object.setValue("missing", 1);
    EXPECT_FALSE(refused);
    EXPECT_NE(refused.error().find("missing"), std::string::npos);
    EXPECT_FALSE(object.getValue("missing").ok());
}

TEST(VarnelObjectActions, DefaultRefusesEveryAction) {
    VarnelObject object;
    const Result<VLAny> result = object.callAction("reset", {});
    EXPECT_FALSE(result.ok());
    EXPECT_NE(result.error().find("unknown action"), std::string::npos);
}

TEST(EventEmitterEvents, ListenersOfTheEmittedEventRunInOrder) {
    VarnelObject object;
    std::vector<VLAny> seen;
    object.on("changed", [&](const VLAny& payload) { seen.push_back(payload); });
    object.on("changed", [&](const VLAny&) { seen.push_back("second"); });
    object.on("other", [&](const VLAny&) { seen.push_back("wrong event"); });
    EXPECT_EQ(object.emit("changed", 5), 2u);
    EXPECT_EQ(seen, (std::vector<VLAny>{5, "second"}));
}
