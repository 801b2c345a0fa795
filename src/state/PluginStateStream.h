#pragma once

#include "pluginterfaces/base/ibstream.h"

#include <atomic>
#include <cstdint>
#include <vector>

namespace varnel::extensions::vst {

/// The stream a plug-in writes its state into and reads it back from: bytes in a
/// vector, growing on write. Positions stay inside [0, size], whatever a plug-in
/// asks of seek, so a plug-in that misreads its own state can read short but never
/// outside the bytes. Reference counted like any VST 3 object (create with `new`,
/// hold through Steinberg::owned); one thread at a time.
class PluginStateStream final : public Steinberg::IBStream {
public:
    PluginStateStream() = default;
    explicit PluginStateStream(std::vector<std::uint8_t> content) : bytes(std::move(content)) {}

    const std::vector<std::uint8_t>& data() const { return bytes; }

    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** object) override;
    Steinberg::uint32 PLUGIN_API addRef() override;
    Steinberg::uint32 PLUGIN_API release() override;

    Steinberg::tresult PLUGIN_API read(void* buffer, Steinberg::int32 numBytes,
                                       Steinberg::int32* numBytesRead) override;
    Steinberg::tresult PLUGIN_API write(void* buffer, Steinberg::int32 numBytes,
                                        Steinberg::int32* numBytesWritten) override;
    Steinberg::tresult PLUGIN_API seek(Steinberg::int64 pos, Steinberg::int32 mode,
                                       Steinberg::int64* result) override;
    Steinberg::tresult PLUGIN_API tell(Steinberg::int64* pos) override;

private:
    ~PluginStateStream() = default;

    std::vector<std::uint8_t> bytes;
    std::size_t cursor = 0;
    std::atomic<Steinberg::uint32> references{1};
};

} // namespace varnel::extensions::vst
