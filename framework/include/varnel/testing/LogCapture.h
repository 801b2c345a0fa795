#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "varnel/Logger.h"

namespace varnel {

// Captures Logger lines for its lifetime instead of writing them to standard
// error; the destructor restores the default sink (not an outer capture's).
class LogCapture {
public:
    LogCapture() {
        Logger::setSink([this](const std::string& line) {
            const std::lock_guard<std::mutex> lock(linesMutex);
            captured.push_back(line);
        });
    }
    // Logger::setSink waits for calls still in the sink, so none touches this
    // object after it is gone.
    ~LogCapture() { Logger::setSink({}); }

    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<std::string> lines() const {
        const std::lock_guard<std::mutex> lock(linesMutex);
        return captured;
    }

    void clear() {
        const std::lock_guard<std::mutex> lock(linesMutex);
        captured.clear();
    }

    // How many captured lines contain substring.
    std::size_t count(std::string_view substring) const {
        const std::lock_guard<std::mutex> lock(linesMutex);
        std::size_t matches = 0;
        for (const std::string& line : captured) {
            if (line.find(substring) != std::string::npos) {
                ++matches;
            }
        }
        return matches;
    }

private:
    mutable std::mutex linesMutex;
    std::vector<std::string> captured;
};

} // namespace varnel
