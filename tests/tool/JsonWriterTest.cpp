// The tool's JSON writer: whatever titles, units and texts a plug-in reports,
// the output must stay valid JSON and read back as what was written.
#include "JsonValue.h"

#include "JsonWriter.h"

#include <gtest/gtest.h>

#include <limits>
#include <sstream>

using tooltest::JsonValue;
using tooltest::parseJson;
using varnelvst::tool::JsonWriter;

TEST(JsonWriter, StringsWithQuotesBackslashesAndControlCharactersReadBackUnchanged) {
    const std::string awkward =
        std::string("say \"hi\"\\ \n\t\r\x01 caf\xC3\xA9 \xE2\x88\x9E") + '\0' + "end";
    std::ostringstream out;
    JsonWriter json(out);
    json.beginObject();
    json.key(awkward);
    json.string(awkward);
    json.endObject();
    const JsonValue value = parseJson(out.str());
    EXPECT_EQ(value[awkward].asString(), awkward) << out.str();
}

TEST(JsonWriter, NumbersReadBackExactlyAndNonFiniteOnesBecomeNull) {
    std::ostringstream out;
    JsonWriter json(out);
    json.beginArray();
    json.number(0.15789473684210525);
    json.number(0.6f);
    json.integer(-2147483648LL);
    json.number(std::numeric_limits<double>::infinity());
    json.number(std::numeric_limits<float>::quiet_NaN());
    json.endArray();
    const JsonValue value = parseJson(out.str());
    const auto& items = value.asArray();
    ASSERT_EQ(items.size(), 5u) << out.str();
    EXPECT_EQ(items[0].asNumber(), 0.15789473684210525);
    // A float is written as its own shortest form, not its widened double's digits.
    EXPECT_EQ(static_cast<float>(items[1].asNumber()), 0.6f);
    EXPECT_NE(out.str().find("0.6,"), std::string::npos) << out.str();
    EXPECT_EQ(items[2].asNumber(), -2147483648.0);
    EXPECT_TRUE(items[3].isNull());
    EXPECT_TRUE(items[4].isNull());
}

TEST(JsonWriter, NestedAndEmptyContainersAreSeparatedCorrectly) {
    std::ostringstream out;
    JsonWriter json(out);
    json.beginObject();
    json.key("empty");
    json.beginArray();
    json.endArray();
    json.key("list");
    json.beginArray();
    json.beginObject();
    json.key("on");
    json.boolean(true);
    json.endObject();
    json.beginObject();
    json.endObject();
    json.endArray();
    json.key("off");
    json.boolean(false);
    json.endObject();
    const JsonValue value = parseJson(out.str());
    EXPECT_TRUE(value["empty"].asArray().empty());
    ASSERT_EQ(value["list"].asArray().size(), 2u);
    EXPECT_TRUE(value["list"].asArray()[0]["on"].asBool());
    EXPECT_TRUE(value["list"].asArray()[1].asObject().empty());
    EXPECT_FALSE(value["off"].asBool());
}

TEST(JsonReader, RejectsWhatIsNotJson) {
    // The checks above are only as good as the reader's strictness.
    for (const std::string text :
         {"{\"a\":1,}", "[1,]", "{a:1}", "[01]", "[1.]", "\"tab\there\"", "[1] 2", "nul", "[\"\\x\"]", ""}) {
        EXPECT_THROW(parseJson(text), std::runtime_error) << text;
    }
    EXPECT_EQ(parseJson(" [ -0.5e1 , \"\\u00e9\\ud83d\\ude00\" ] ").asArray()[1].asString(),
              "\xC3\xA9\xF0\x9F\x98\x80");
}
