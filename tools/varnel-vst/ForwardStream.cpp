#include "ForwardStream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <unistd.h>

namespace varnelvst::tool {

namespace {

ForwardStream& streamOf(void* user) {
    return *static_cast<ForwardStream*>(user);
}

void putLittleEndian32(std::uint8_t* at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t littleEndian32(const std::uint8_t* at) {
    return std::uint32_t{at[0]} | std::uint32_t{at[1]} << 8 | std::uint32_t{at[2]} << 16 |
           std::uint32_t{at[3]} << 24;
}

} // namespace

ForwardStream::ForwardStream(int target, bool wav) : descriptor(target), isWav(wav) {
    held.reserve(kHeldBytes);
}

SF_VIRTUAL_IO* ForwardStream::io() {
    static SF_VIRTUAL_IO table{
        [](void* user) { return streamOf(user).length(); },
        [](sf_count_t offset, int whence, void* user) { return streamOf(user).seek(offset, whence); },
        // Nothing written is read back when only writing.
        [](void*, sf_count_t, void*) -> sf_count_t { return 0; },
        [](const void* bytes, sf_count_t count, void* user) {
            return streamOf(user).write(static_cast<const std::uint8_t*>(bytes), count);
        },
        [](void* user) { return static_cast<sf_count_t>(streamOf(user).position); },
    };
    return &table;
}

sf_count_t ForwardStream::seek(sf_count_t offset, int whence) {
    const sf_count_t base = whence == SEEK_CUR   ? static_cast<sf_count_t>(position)
                            : whence == SEEK_END ? length()
                                                 : 0;
    if (base + offset < 0)
        return -1;
    position = static_cast<std::uint64_t>(base + offset);
    return static_cast<sf_count_t>(position);
}

sf_count_t ForwardStream::write(const std::uint8_t* bytes, sf_count_t count) {
    if (!problem.empty() || count < 0)
        return 0;
    const auto total = static_cast<std::uint64_t>(count);
    std::uint64_t at = position;
    position += total;
    // Bytes that left already: a header being finished, which a stream keeps as sent.
    const std::uint64_t gone = at < sent ? std::min(sent - at, total) : 0;
    at += gone;
    const std::uint64_t left = total - gone;
    if (left == 0)
        return count;
    const auto offset = static_cast<std::size_t>(at - sent);
    if (held.size() < offset + left)
        held.resize(offset + left);
    std::memcpy(held.data() + offset, bytes + gone, static_cast<std::size_t>(left));
    if (held.size() >= kHeldBytes) {
        if (sent == 0 && isWav)
            markLengthUnknown();
        if (!pass(held.size()))
            return 0;
    }
    return count;
}

bool ForwardStream::finish() {
    return problem.empty() && pass(held.size());
}

bool ForwardStream::pass(std::size_t count) {
    const std::uint8_t* data = held.data();
    std::size_t left = count;
    while (left > 0) {
        const ssize_t written = ::write(descriptor, data, left);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            problem = written < 0 ? std::strerror(errno) : "the stream took nothing";
            return false;
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
    held.erase(held.begin(), held.begin() + static_cast<std::ptrdiff_t>(count));
    sent += count;
    return true;
}

void ForwardStream::markLengthUnknown() {
    // RIFF <size> WAVE, then chunks of <id> <size> <body, padded to even>.
    if (held.size() < 12 || std::memcmp(held.data(), "RIFF", 4) != 0)
        return;
    putLittleEndian32(held.data() + 4, 0xFFFFFFFFu);
    for (std::size_t chunk = 12; chunk + 8 <= held.size();) {
        if (std::memcmp(held.data() + chunk, "data", 4) == 0) {
            putLittleEndian32(held.data() + chunk + 4, 0xFFFFFFFFu);
            return;
        }
        const std::uint32_t size = littleEndian32(held.data() + chunk + 4);
        chunk += 8 + std::size_t{size} + (size & 1u);
    }
}

} // namespace varnelvst::tool
