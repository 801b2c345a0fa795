#pragma once

// A strict, small JSON reader for checking the tool's --json output: it accepts
// exactly RFC 8259 JSON (no trailing commas, no comments, nothing after the
// value) and throws std::runtime_error naming the offset of the first fault.

#include <map>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace tooltest {

struct JsonValue;
using JsonArray = std::vector<JsonValue>;
using JsonObject = std::map<std::string, JsonValue>;

struct JsonValue {
    std::variant<std::nullptr_t, bool, double, std::string, std::shared_ptr<JsonArray>,
                 std::shared_ptr<JsonObject>>
        content;

    bool isNull() const { return std::holds_alternative<std::nullptr_t>(content); }
    bool asBool() const { return std::get<bool>(content); }
    double asNumber() const { return std::get<double>(content); }
    const std::string& asString() const { return std::get<std::string>(content); }
    const JsonArray& asArray() const { return *std::get<std::shared_ptr<JsonArray>>(content); }
    const JsonObject& asObject() const { return *std::get<std::shared_ptr<JsonObject>>(content); }
    // A member of an object; throws std::out_of_range when missing.
    const JsonValue& operator[](const std::string& key) const { return asObject().at(key); }
};

JsonValue parseJson(const std::string& text);

} // namespace tooltest
