#include "varnel/Logger.h"

#include <cstdio>
#include <memory>
#include <mutex>
#include <utility>

namespace varnel {

namespace {

void writeToStandardError(const std::string& line) noexcept {
    // One write per line keeps the line whole beside other writers of stderr.
    try {
        std::string text;
        text.reserve(line.size() + 1);
        text.append(line).push_back('\n');
        std::fwrite(text.data(), 1, text.size(), stderr);
    } catch (...) {
        std::fwrite(line.data(), 1, line.size(), stderr);
        std::fputc('\n', stderr);
    }
}

struct LoggerState {
    // Held while a line is handed to the sink and while the sink is replaced, so
    // sink calls never overlap and a replaced sink is no longer running.
    std::mutex mutex;
    std::shared_ptr<const Logger::Sink> sink;
};

LoggerState& state() noexcept {
    // Never destroyed, so that code running during static destruction can log.
    static LoggerState* const instance = new LoggerState;
    return *instance;
}

// Set while this thread is inside the sink and holds the mutex, so that a sink
// that logs or replaces the sink does not deadlock on it.
thread_local bool insideSink = false;

void emit(const std::shared_ptr<const Logger::Sink>& sink, const std::string& line) noexcept {
    if (!sink) {
        writeToStandardError(line);
        return;
    }
    insideSink = true;
    try {
        (*sink)(line);
    } catch (...) {
        // The sink could not take the line; there is nowhere better to report it.
    }
    insideSink = false;
}

} // namespace

void Logger::error(const std::string& message) noexcept {
    if (insideSink) {
        writeToStandardError(message);
        return;
    }
    try {
        LoggerState& logger = state();
        const std::lock_guard<std::mutex> lock(logger.mutex);
        // The local owner keeps the sink alive should it replace itself.
        const std::shared_ptr<const Sink> sink = logger.sink;
        emit(sink, message);
    } catch (...) {
        // Locking failed: write the line unserialised rather than lose it.
        writeToStandardError(message);
    }
}

void Logger::setSink(Sink sink) noexcept {
    std::shared_ptr<const Sink> replacement;
    try {
        if (sink) {
            replacement = std::make_shared<const Sink>(std::move(sink));
        }
    } catch (...) {
        // Without memory for the new sink, the default is the safe fallback.
    }
    LoggerState& logger = state();
    if (insideSink) {
        // This thread already holds the mutex, inside the sink being replaced.
        logger.sink = std::move(replacement);
        return;
    }
    // The old sink is destroyed after unlocking, in case its captured state logs.
    std::shared_ptr<const Sink> previous;
    try {
        const std::lock_guard<std::mutex> lock(logger.mutex);
        previous = std::exchange(logger.sink, std::move(replacement));
    } catch (...) {
        // Locking failed; the old sink stays rather than race with a running call.
    }
}

} // namespace varnel
