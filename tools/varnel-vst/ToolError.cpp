#include "ToolError.h"

#include <cstdio>

namespace varnelvst::tool {

void printError(const std::string& message) {
    std::fprintf(stderr, "varnel-vst: error: %s\n", message.c_str());
}

void printWarning(const std::string& message) {
    std::fprintf(stderr, "varnel-vst: warning: %s\n", message.c_str());
}

void printNote(const std::string& message) {
    std::fprintf(stderr, "varnel-vst: note: %s\n", message.c_str());
}

} // namespace varnelvst::tool
