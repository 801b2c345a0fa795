#pragma once

#include <stdexcept>
#include <string>

namespace varnelvst::tool {

// Exit codes of the tool.
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1; // the command line was fine, running it failed
constexpr int kExitUsage = 2;   // the command line itself is wrong

// A failure that ends the command. main prints it as the one line
// "varnel-vst: error: <message>" and exits with exitCode; everything the
// command had started (temporary files, plug-ins) is undone by destructors on
// the way out.
class ToolError : public std::runtime_error {
public:
    ToolError(int exitCode, const std::string& message) : std::runtime_error(message), code(exitCode) {}
    int exitCode() const noexcept { return code; }

private:
    int code;
};

inline ToolError usageError(const std::string& message) {
    return ToolError(kExitUsage, message);
}

inline ToolError failure(const std::string& message) {
    return ToolError(kExitFailure, message);
}

// The line a failure ends as, on standard error.
void printError(const std::string& message);

// Warnings and notes go to standard error, one line each, and never stop the command.
void printWarning(const std::string& message);
void printNote(const std::string& message);

} // namespace varnelvst::tool
