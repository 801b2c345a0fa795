#pragma once

#include <functional>
#include <string>

namespace varnel {

// The framework's one log channel. Control threads only: it locks and may
// allocate, so the audio thread must not log on its success path.
class Logger {
public:
    using Sink = std::function<void(const std::string& line)>;

    Logger() = delete;

    // Hands one error line to the sink. Any thread; calls are serialised, so lines
    // from several threads never interleave and none is lost. A sink that throws
    // loses its line; a sink that logs again writes that line to standard error.
    static void error(const std::string& message) noexcept;

    // Replaces the sink; an empty sink restores the default, which writes the line
    // and '\n' to standard error. Returns once no call is still using the old sink,
    // so its captured state may be destroyed right after.
    static void setSink(Sink sink) noexcept;
};

} // namespace varnel
