#pragma once

#include <cstdint>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace varnel {

// A configuration or parameter value: nothing, a bool, a 64-bit integer, a
// double or a string. Copying a string value allocates; the other kinds do not.
class VLAny {
public:
    VLAny() noexcept = default;
    // A null pointer gives an empty value rather than undefined behaviour.
    VLAny(const char* text);
    VLAny(std::string text) noexcept;
    VLAny(bool value) noexcept;
    VLAny(int value) noexcept;
    VLAny(unsigned value) noexcept;
    VLAny(std::int64_t value) noexcept;
    VLAny(double value) noexcept;
    VLAny(float value) noexcept;
    // Any other pointer would otherwise convert silently to bool.
    template <typename T>
    VLAny(const T*) = delete;

    bool isEmpty() const noexcept;
    bool isString() const noexcept;
    bool isBool() const noexcept;
    bool isInteger() const noexcept;
    bool isFloat() const noexcept;

    // The value as T when the kinds fit: a string only from a string, a bool only
    // from a bool, numbers from either numeric kind. A number that does not fit
    // T (out of range, or NaN for an integer) gives nothing; floating to integer
    // truncates toward zero.
    template <typename T>
    std::optional<T> as() const;

    // Equal when of the same kind with the same value: 1 and 1.0 differ.
    bool operator==(const VLAny& other) const;
    bool operator!=(const VLAny& other) const { return !(*this == other); }

private:
    std::variant<std::monostate, bool, std::int64_t, double, std::string> content;
};

template <typename T>
std::optional<T> VLAny::as() const {
    static_assert(sizeof(T) == 0,
                  "VLAny::as supports std::string, bool, std::int64_t, int, double and float");
    return std::nullopt;
}

template <>
std::optional<std::string> VLAny::as<std::string>() const;
template <>
std::optional<bool> VLAny::as<bool>() const;
template <>
std::optional<std::int64_t> VLAny::as<std::int64_t>() const;
template <>
std::optional<int> VLAny::as<int>() const;
template <>
std::optional<double> VLAny::as<double>() const;
template <>
std::optional<float> VLAny::as<float>() const;

// String-keyed map of values, used for node configurations and action arguments.
class VLAnyMap : public std::map<std::string, VLAny> {
public:
    using std::map<std::string, VLAny>::map;
    VLAnyMap() = default;

    // The value under key when present and convertible to T (see VLAny::as),
    // else defaultValue.
    template <typename T>
    static std::optional<T> get(const VLAnyMap& map, const std::string& key,
                                std::optional<T> defaultValue = std::nullopt) {
        const auto entry = map.find(key);
        if (entry == map.end()) {
            return defaultValue;
        }
        std::optional<T> value = entry->second.template as<T>();
        return value ? value : defaultValue;
    }
};

} // namespace varnel
