#include "ToolError.h"

#include "Chatter.h"

#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

namespace varnelvst::tool {

namespace {

int errorDescriptor = STDERR_FILENO;
bool quiet = false;

NoticeSink& noticeSink() {
    static NoticeSink sink;
    return sink;
}

void notice(NoticeKind kind, const std::string& file, const std::string& message) {
    if (quiet)
        return;
    if (const NoticeSink& sink = noticeSink()) {
        sink(kind, file, message);
        return;
    }
    std::fprintf(stderr, "varnel-vst: %s: %s%s\n", kind == NoticeKind::note ? "note" : "warning",
                 file.empty() ? "" : (file + ": ").c_str(), message.c_str());
}

} // namespace

void printError(const std::string& message) {
    std::fflush(stderr); // what came before it stays before it
    ::dprintf(errorDescriptor, "varnel-vst: error: %s\n", message.c_str());
}

void quietenChatter() {
    const int errors = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
    const int discarding = openDiscardingDescriptor();
    if (errors >= 0 && discarding >= 0) {
        errorDescriptor = errors;
        // Descriptor 1 leads to standard error too (claimStandardOutput).
        std::fflush(stdout);
        std::fflush(stderr);
        ::dup2(discarding, STDOUT_FILENO);
        ::dup2(discarding, STDERR_FILENO);
    } else if (errors >= 0) {
        ::close(errors);
    }
    if (discarding >= 0)
        ::close(discarding);
    quiet = true;
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
