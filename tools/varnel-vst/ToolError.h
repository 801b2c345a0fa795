#pragma once

#include <functional>
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

// The line a failure ends as, on standard error (or where quietenChatter keeps it).
void printError(const std::string& message);

// Warnings and notes go to standard error, one line each, and never stop the command.
void printWarning(const std::string& message);
void printNote(const std::string& message);

enum class NoticeKind { note, warning };

// A note or warning about one input file, "<file>: <message>". The message says
// "the input" and "the output" rather than naming them, so that a batch can give
// it once for every file it concerns.
void printFileNotice(NoticeKind kind, const std::string& file, const std::string& message);

// Where notes and warnings go instead of standard error (a batch worker's channel
// to its batch); `file` is empty for those about no file. An empty sink restores
// standard error.
using NoticeSink = std::function<void(NoticeKind kind, const std::string& file, const std::string& message)>;
void divertNotices(NoticeSink sink);

// -q: from now on notes and warnings are dropped, and standard error, which the
// plug-ins and the library write to, leads nowhere; the tool's error lines still
// reach it (through a descriptor of their own), as does standard output.
void quietenChatter();

} // namespace varnelvst::tool
