#pragma once

#include <sndfile.h>

#include <cstdint>
#include <string>
#include <vector>

namespace varnelvst::tool {

// A sound file written to a stream (standard output, a FIFO, a device) as it is
// rendered, in bounded memory. libsndfile writes a header, then the samples, and
// seeks back to finish the header at the end (and a FLAC stream's STREAMINFO),
// which no stream can do. Through its virtual I/O it gets a file it may seek in:
// the first bytes are held back while they may still change and pass on once
// kHeldBytes have gathered or the file is complete; a later rewrite of bytes gone
// already is dropped. A WAV header that leaves before the end says its length is
// unknown (0xFFFFFFFF), as streamed WAV does; a file short enough to be held whole
// arrives with its final header.
class ForwardStream {
public:
    static constexpr std::size_t kHeldBytes = 1 << 16;

    // `descriptor` stays the caller's; `isWav` chooses the header fix-up.
    ForwardStream(int descriptor, bool isWav);
    ForwardStream(const ForwardStream&) = delete;
    ForwardStream& operator=(const ForwardStream&) = delete;

    // For sf_open_virtual, with this object as its user data.
    static SF_VIRTUAL_IO* io();

    // Passes on what is still held; after sf_close. False when the stream refused
    // it (see failure()).
    bool finish();
    // Whether any byte has reached the stream: what went cannot be taken back.
    bool started() const { return sent > 0; }
    // Why a write to the stream failed; empty while none has.
    const std::string& failure() const { return problem; }

private:
    sf_count_t write(const std::uint8_t* bytes, sf_count_t count);
    sf_count_t seek(sf_count_t offset, int whence);
    sf_count_t length() const { return static_cast<sf_count_t>(sent + held.size()); }
    bool pass(std::size_t count);
    void markLengthUnknown();

    int descriptor;
    bool isWav;
    std::uint64_t sent = 0;         // bytes passed on; held[0] is byte `sent` of the file
    std::uint64_t position = 0;     // libsndfile's position in the file
    std::vector<std::uint8_t> held; // bytes not yet passed on
    std::string problem;
};

} // namespace varnelvst::tool
