#include "StandardOutput.h"

#include <cerrno>
#include <cstdlib>
#include <ostream>
#include <streambuf>

#include <fcntl.h>
#include <unistd.h>

namespace varnelvst::tool {

namespace {

int toolDescriptor = STDOUT_FILENO;

// toolOutput()'s buffer once the real standard output has moved to another descriptor.
class DescriptorBuffer : public std::streambuf {
public:
    explicit DescriptorBuffer(int descriptor) : target(descriptor) { setp(buffer, buffer + sizeof buffer); }

protected:
    int_type overflow(int_type character) override {
        if (!drain())
            return traits_type::eof();
        if (!traits_type::eq_int_type(character, traits_type::eof()))
            sputc(traits_type::to_char_type(character));
        return traits_type::not_eof(character);
    }

    int sync() override { return drain() ? 0 : -1; }

private:
    bool drain() {
        const char* data = pbase();
        auto size = static_cast<std::size_t>(pptr() - pbase());
        setp(buffer, buffer + sizeof buffer);
        while (size > 0) {
            const ssize_t written = ::write(target, data, size);
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0)
                return false;
            data += written;
            size -= static_cast<std::size_t>(written);
        }
        return true;
    }

    int target;
    char buffer[1 << 16];
};

// Made once and never destroyed, so that no static outlives it; flushed when the
// tool exits.
std::ostream* toolStream = nullptr;

void flushAtExit() {
    toolStream->flush();
}

void openToolStream(int descriptor) {
    toolStream = new std::ostream(new DescriptorBuffer(descriptor));
    std::atexit(flushAtExit);
}

} // namespace

void claimStandardOutput() {
    const int moved = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    if (moved < 0) {
        // Started with standard output closed: nothing of the tool's reaches it,
        // and descriptor 1 is not left free for whatever opens next.
        toolDescriptor = -1;
        ::dup2(STDERR_FILENO, STDOUT_FILENO);
        openToolStream(-1);
        return;
    }
    if (::dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
        ::close(moved);
        openToolStream(STDOUT_FILENO);
        return;
    }
    toolDescriptor = moved;
    openToolStream(moved);
}

std::ostream& toolOutput() {
    if (toolStream == nullptr)
        openToolStream(toolDescriptor);
    return *toolStream;
}

int standardOutputDescriptor() {
    return toolDescriptor;
}

} // namespace varnelvst::tool
