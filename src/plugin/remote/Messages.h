#pragma once

// The control messages between a host and its plug-in's helper process: a
// request kind and its arguments one way, the answer the other way, each as one
// length-prefixed frame of plain bytes. Both ends are the same build of this
// library, so fixed-layout records (the SDK's ParameterInfo and ProcessSetup) go
// over as they lie in memory.
#include "VSTEditorSize.h"
#include "VSTPluginInfo.h"
#include "plugin/HostedPlugin.h"
#include "plugin/remote/SharedBlock.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

namespace varnel::extensions::vst {

/// What the host asks of the helper; one HostedPlugin call each, plus the catch-up.
enum class Request : std::uint32_t {
    load,
    unload,
    moveTo,
    applySetup,
    repeatRefusedSwitch,
    currentLatency,
    readTiming,
    parameterInfos,
    normalizedValue,
    setNormalizedValue,
    valueText,
    toPlain,
    toNormalized,
    valueFromText,
    takeRestartRequests,
    putBackRestartRequests,
    takeEdits,
    captureState,
    applyState,
    processParametersOnly,
    editorAvailable,
    openEditor,
    closeEditor,
    resizeEditor,
    setEditorContentScale,
};

/// What every answer of the helper begins with: the state of the plug-in after
/// the call, which the host keeps for its own questions, and whether the call
/// stopped or started blocks. Refusals and editor sizes follow it.
struct ReplyStatus {
    LifecycleState lowest = LifecycleState::created;
    LifecycleState highest = LifecycleState::created;
    bool hasSetup = false;
    Steinberg::Vst::ProcessSetup setup{};
    std::uint32_t latency = 0;
    std::uint32_t tail = 0;
    std::uint64_t activations = 0;
    bool editorOpen = false;
    VSTEditorSize editorSize{};
    bool blocksStopped = false;
    bool blocksStarted = false;
    Steinberg::int32 startedFrames = 0;
    double startedRate = 0.0;
};

/// The plug-in call a request makes, as a reason names it ("during setState");
/// the helper names the lifecycle steps more closely as it makes them.
const char* pluginCallOf(Request request);

/// Builds one frame: a 4-byte length, then the values in the order written.
class MessageWriter {
public:
    MessageWriter() : bytes(4, 0) {}

    template <typename T>
    MessageWriter& put(const T& value) {
        static_assert(std::is_trivially_copyable_v<T>, "only plain records go over as bytes");
        const auto* raw = reinterpret_cast<const std::uint8_t*>(&value);
        bytes.insert(bytes.end(), raw, raw + sizeof(T));
        return *this;
    }
    MessageWriter& put(const std::string& text);
    MessageWriter& put(const std::vector<std::uint8_t>& data);
    MessageWriter& put(const std::vector<std::string>& texts);
    MessageWriter& put(const VSTPluginClassInfo& info);
    MessageWriter& put(const VSTBusInfo& bus);

    /// The finished frame, its length filled in.
    const std::vector<std::uint8_t>& frame();

private:
    std::vector<std::uint8_t> bytes;
};

/// Writes every point of every queue of `changes`, in queue order, as a count and
/// SharedValue records.
void putParameterChanges(MessageWriter& out, Steinberg::Vst::IParameterChanges& changes);

/// Reads the values of one frame's body back in the order they were written. A
/// read past the end gives zeroes and marks the reader failed, so that a short
/// or foreign frame is noticed once, after reading, not at each value.
class MessageReader {
public:
    MessageReader(const std::uint8_t* data, std::size_t size) : cursor(data), end(data + size) {}

    template <typename T>
    T get() {
        static_assert(std::is_trivially_copyable_v<T>, "only plain records go over as bytes");
        T value{};
        if (take(sizeof(T)))
            std::memcpy(&value, cursor - sizeof(T), sizeof(T));
        return value;
    }
    std::string getText();
    std::vector<std::uint8_t> getBytes();
    std::vector<std::string> getTexts();
    VSTPluginClassInfo getClassInfo();
    VSTBusInfo getBus();

    /// Whether every read so far was inside the frame.
    bool ok() const { return !failed; }

private:
    bool take(std::size_t count);

    const std::uint8_t* cursor;
    const std::uint8_t* end;
    bool failed = false;
};

} // namespace varnel::extensions::vst
