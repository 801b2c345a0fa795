#include "ToolError.h"

#include <cstdio>

namespace varnelvst::tool {

namespace {

NoticeSink& noticeSink() {
    static NoticeSink sink;
    return sink;
}

void notice(NoticeKind kind, const std::string& file, const std::string& message) {
    if (const NoticeSink& sink = noticeSink()) {
        sink(kind, file, message);
        return;
    }
    std::fprintf(stderr, "varnel-vst: %s: %s%s\n", kind == NoticeKind::note ? "note" : "warning",
                 file.empty() ? "" : (file + ": ").c_str(), message.c_str());
}

} // namespace

void printError(const std::string& message) {
    std::fprintf(stderr, "varnel-vst: error: %s\n", message.c_str());
}

void printWarning(const std::string& message) {
    notice(NoticeKind::warning, {}, message);
}

void printNote(const std::string& message) {
    notice(NoticeKind::note, {}, message);
}

void printFileNotice(NoticeKind kind, const std::string& file, const std::string& message) {
    notice(kind, file, message);
}

void divertNotices(NoticeSink sink) {
    noticeSink() = std::move(sink);
}

} // namespace varnelvst::tool
