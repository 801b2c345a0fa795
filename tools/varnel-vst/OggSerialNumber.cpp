#include "OggSerialNumber.h"

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace varnelvst::tool {

namespace {

constexpr std::uint32_t kSerialNumber = 0x564e4c56; // "VLNV"
constexpr std::size_t kHeaderBytes = 27;            // before the segment table
constexpr std::size_t kSerialAt = 14, kChecksumAt = 22, kSegmentCountAt = 26;

// The Ogg page checksum: CRC-32 with polynomial 0x04c11db7, unreflected, from 0.
std::uint32_t pageChecksum(const std::vector<std::uint8_t>& page) {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> entries{};
        for (std::uint32_t index = 0; index < 256; ++index) {
            std::uint32_t value = index << 24;
            for (int bit = 0; bit < 8; ++bit)
                value = (value & 0x80000000u) != 0 ? (value << 1) ^ 0x04c11db7u : value << 1;
            entries[index] = value;
        }
        return entries;
    }();
    std::uint32_t checksum = 0;
    for (const std::uint8_t byte : page)
        checksum = (checksum << 8) ^ table[((checksum >> 24) & 0xffu) ^ byte];
    return checksum;
}

void putLittleEndian32(std::uint8_t* at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// Reads exactly `size` bytes at `offset`; false at the end of the file or on an error.
bool readAt(int descriptor, std::uint8_t* into, std::size_t size, off_t offset) {
    while (size > 0) {
        const ssize_t got = ::pread(descriptor, into, size, offset);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        into += got;
        size -= static_cast<std::size_t>(got);
        offset += got;
    }
    return true;
}

bool writeAt(int descriptor, const std::uint8_t* from, std::size_t size, off_t offset) {
    while (size > 0) {
        const ssize_t written = ::pwrite(descriptor, from, size, offset);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        from += written;
        size -= static_cast<std::size_t>(written);
        offset += written;
    }
    return true;
}

} // namespace

bool fixOggSerialNumber(const std::string& path, std::string& error) {
    const int descriptor = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (descriptor < 0) {
        error = std::strerror(errno);
        return false;
    }
    std::vector<std::uint8_t> page;
    off_t offset = 0;
    for (std::uint8_t header[kHeaderBytes]; readAt(descriptor, header, kHeaderBytes, offset);) {
        if (std::memcmp(header, "OggS", 4) != 0) {
            error = "it holds something other than Ogg pages";
            break;
        }
        const std::size_t segments = header[kSegmentCountAt];
        page.assign(header, header + kHeaderBytes);
        page.resize(kHeaderBytes + segments);
        if (!readAt(descriptor, page.data() + kHeaderBytes, segments,
                    offset + static_cast<off_t>(kHeaderBytes))) {
            error = "its last page is cut short";
            break;
        }
        std::size_t body = 0;
        for (std::size_t segment = 0; segment < segments; ++segment)
            body += page[kHeaderBytes + segment];
        const std::size_t bodyStart = page.size();
        page.resize(bodyStart + body);
        if (!readAt(descriptor, page.data() + bodyStart, body, offset + static_cast<off_t>(bodyStart))) {
            error = "its last page is cut short";
            break;
        }
        putLittleEndian32(page.data() + kSerialAt, kSerialNumber);
        putLittleEndian32(page.data() + kChecksumAt, 0);
        putLittleEndian32(page.data() + kChecksumAt, pageChecksum(page));
        if (!writeAt(descriptor, page.data(), page.size(), offset)) {
            error = std::strerror(errno);
            break;
        }
        offset += static_cast<off_t>(page.size());
    }
    if (::close(descriptor) != 0 && error.empty())
        error = std::strerror(errno);
    return error.empty();
}

} // namespace varnelvst::tool
