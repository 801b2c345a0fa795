#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "varnel/VLAny.h"

using varnel::VLAny;
using varnel::VLAnyMap;

TEST(VLAnyMapGet, GivesThePresentStringOverTheLiteralDefault) {
    const VLAnyMap config{{"pluginFileName", "ZamCompX2.vst3"}};
    EXPECT_EQ(VLAnyMap::get<std::string>(config, "pluginFileName", ""), "ZamCompX2.vst3");
}

TEST(VLAnyMapGet, MissingKeyGivesTheDefaultOrNothing) {
    const VLAnyMap config{{"other", "x"}};
    EXPECT_EQ(VLAnyMap::get<std::string>(config, "pluginFileName", ""), std::string());
    EXPECT_FALSE(VLAnyMap::get<std::string>(config, "pluginFileName").has_value());
}

TEST(VLAnyMapGet, WrongKindGivesTheDefault) {
    const VLAnyMap config{{"pluginFileName", 42}, {"enabled", "yes"}, {"gain", true}};
    EXPECT_EQ(VLAnyMap::get<std::string>(config, "pluginFileName", "fallback"), "fallback");
    EXPECT_EQ(VLAnyMap::get<bool>(config, "enabled", false), false);
    EXPECT_FALSE(VLAnyMap::get<double>(config, "gain").has_value());
}

TEST(VLAnyConversion, NumbersConvertBetweenKindsOnlyWhenTheyFit) {
    EXPECT_EQ(VLAny(3).as<double>(), 3.0);
    EXPECT_EQ(VLAny(-2.75).as<int>(), -2);
    EXPECT_EQ(VLAny(0.5f).as<float>(), 0.5f);
    EXPECT_FALSE(VLAny(std::int64_t{1} << 40).as<int>().has_value());
    EXPECT_FALSE(VLAny(1e300).as<std::int64_t>().has_value());
    EXPECT_FALSE(VLAny(1e300).as<float>().has_value());
    EXPECT_FALSE(VLAny(std::numeric_limits<double>::quiet_NaN()).as<int>().has_value());
}

TEST(VLAnyConversion, KindsAreKeptAndCompared) {
    EXPECT_TRUE(VLAny().isEmpty());
    EXPECT_TRUE(VLAny(static_cast<const char*>(nullptr)).isEmpty());
    EXPECT_TRUE(VLAny(7u).isInteger());
    EXPECT_TRUE(VLAny(1.0f).isFloat());
    EXPECT_TRUE(VLAny(false).isBool());
    EXPECT_EQ(VLAny("a"), VLAny(std::string("a")));
    EXPECT_NE(VLAny(1), VLAny(1.0));
    EXPECT_NE(VLAny(1), VLAny(true));
}
