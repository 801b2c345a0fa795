#include "varnel/VLAny.h"

#include <cmath>
#include <limits>

namespace varnel {

namespace {

// Converts a double to an integer type only when the truncated value is
// representable; a plain cast would be undefined behaviour otherwise.
template <typename Integer>
std::optional<Integer> truncatedIfInRange(double value) {
    if (!std::isfinite(value)) {
        return std::nullopt;
    }
    const double truncated = std::trunc(value);
    // The bounds are powers of two, so they are exact as doubles; max + 1 is the
    // first value that does not fit.
    const double lowest = static_cast<double>(std::numeric_limits<Integer>::min());
    const double beyondHighest = -lowest;
    if (truncated < lowest || truncated >= beyondHighest) {
        return std::nullopt;
    }
    return static_cast<Integer>(truncated);
}

} // namespace

VLAny::VLAny(const char* text) {
    if (text != nullptr) {
        content = std::string(text);
    }
}

VLAny::VLAny(std::string text) noexcept : content(std::move(text)) {}
VLAny::VLAny(bool value) noexcept : content(value) {}
VLAny::VLAny(int value) noexcept : content(static_cast<std::int64_t>(value)) {}
VLAny::VLAny(unsigned value) noexcept : content(static_cast<std::int64_t>(value)) {}
VLAny::VLAny(std::int64_t value) noexcept : content(value) {}
VLAny::VLAny(double value) noexcept : content(value) {}
VLAny::VLAny(float value) noexcept : content(static_cast<double>(value)) {}

bool VLAny::isEmpty() const noexcept {
    return std::holds_alternative<std::monostate>(content);
}
bool VLAny::isString() const noexcept {
    return std::holds_alternative<std::string>(content);
}
bool VLAny::isBool() const noexcept {
    return std::holds_alternative<bool>(content);
}
bool VLAny::isInteger() const noexcept {
    return std::holds_alternative<std::int64_t>(content);
}
bool VLAny::isFloat() const noexcept {
    return std::holds_alternative<double>(content);
}

template <>
std::optional<std::string> VLAny::as<std::string>() const {
    if (const auto* text = std::get_if<std::string>(&content)) {
        return *text;
    }
    return std::nullopt;
}

template <>
std::optional<bool> VLAny::as<bool>() const {
    if (const auto* flag = std::get_if<bool>(&content)) {
        return *flag;
    }
    return std::nullopt;
}

template <>
std::optional<std::int64_t> VLAny::as<std::int64_t>() const {
    if (const auto* integer = std::get_if<std::int64_t>(&content)) {
        return *integer;
    }
    if (const auto* floating = std::get_if<double>(&content)) {
        return truncatedIfInRange<std::int64_t>(*floating);
    }
    return std::nullopt;
}

template <>
std::optional<int> VLAny::as<int>() const {
    const std::optional<std::int64_t> wide = as<std::int64_t>();
    if (!wide || *wide < std::numeric_limits<int>::min() || *wide > std::numeric_limits<int>::max()) {
        return std::nullopt;
    }
    return static_cast<int>(*wide);
}

template <>
std::optional<double> VLAny::as<double>() const {
    if (const auto* floating = std::get_if<double>(&content)) {
        return *floating;
    }
    if (const auto* integer = std::get_if<std::int64_t>(&content)) {
        return static_cast<double>(*integer);
    }
    return std::nullopt;
}

template <>
std::optional<float> VLAny::as<float>() const {
    const std::optional<double> wide = as<double>();
    if (!wide) {
        return std::nullopt;
    }
    // A finite double beyond float's range has no float value (the cast would be
    // undefined); infinities and NaN carry over.
    if (std::isfinite(*wide) && std::fabs(*wide) > static_cast<double>(std::numeric_limits<float>::max())) {
        return std::nullopt;
    }
    return static_cast<float>(*wide);
}

bool VLAny::operator==(const VLAny& other) const {
    return content == other.content;
}

} // namespace varnel
