#pragma once

#include <cassert>
#include <optional>
#include <string>
#include <utility>

namespace varnel {

// The outcome of a framework call: a value, or a readable reason for failing.
template <typename T>
class Result {
public:
    static Result success(T value) { return Result(std::move(value)); }
    static Result failure(std::string message) { return Result(std::nullopt, std::move(message)); }

    bool ok() const noexcept { return content.has_value(); }
    explicit operator bool() const noexcept { return ok(); }

    // Only when ok(): a failed result holds no value.
    const T& value() const {
        assert(ok());
        return *content;
    }
    // The value when ok(), else fallback; safe on either outcome.
    T valueOr(T fallback) const { return content ? *content : std::move(fallback); }
    // Empty when ok().
    const std::string& error() const noexcept { return message; }

private:
    explicit Result(std::optional<T> value, std::string reason = {})
        : content(std::move(value)), message(std::move(reason)) {}

    std::optional<T> content;
    std::string message;
};

template <>
class Result<void> {
public:
    static Result success() { return Result(true, {}); }
    static Result failure(std::string message) { return Result(false, std::move(message)); }

    bool ok() const noexcept { return succeeded; }
    explicit operator bool() const noexcept { return ok(); }
    // Empty when ok().
    const std::string& error() const noexcept { return message; }

private:
    Result(bool outcome, std::string reason) : succeeded(outcome), message(std::move(reason)) {}

    bool succeeded;
    std::string message;
};

} // namespace varnel
