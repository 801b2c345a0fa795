// The control calls of an isolated plug-in: each one request to its helper and
// one answer, within the call timeout.
#include "plugin/remote/RemotePlugin.h"

#if defined(__linux__)

#include "realtime/ParameterSlots.h"
#include "state/VSTPresetFile.h"

#include <array>
#include <stdexcept>

namespace varnel::extensions::vst {

using namespace Steinberg;
using namespace Steinberg::Vst;

RemotePlugin::RemotePlugin(PluginLink& link, ParameterSlots& edits, const VSTIsolation& limits)
    : link(link), edits(edits), limits(limits) {}

RemotePlugin::~RemotePlugin() {
    unload();
}

template <typename Write, typename Read>
bool RemotePlugin::ask(Request request, Write&& write, Read&& read) {
    if (ended.load(std::memory_order_acquire) || !channel)
        return false;
    MessageWriter out;
    out.put(request);
    write(out);
    const auto deadline = Clock::now() + std::chrono::milliseconds(limits.callTimeoutMilliseconds);
    requestInFlight.store(static_cast<int>(request), std::memory_order_release);
    std::vector<std::uint8_t> body;
    ControlChannel::Receipt receipt = channel->send(out.frame(), deadline, helper.endDescriptor());
    if (receipt == ControlChannel::Receipt::done)
        receipt = channel->receive(body, deadline, helper.endDescriptor());
    if (receipt != ControlChannel::Receipt::done) {
        conclude(receipt == ControlChannel::Receipt::timedOut ? Cause::callUnanswered : Cause::ended);
        requestInFlight.store(-1, std::memory_order_release);
        return false;
    }
    requestInFlight.store(-1, std::memory_order_release);
    MessageReader in(body.data(), body.size());
    const bool threw = in.get<bool>();
    const std::string thrown = threw ? in.getText() : std::string();
    const std::vector<std::uint8_t> payload = in.getBytes();
    takeStatus(in);
    if (!in.ok()) {
        conclude(Cause::garbled);
        return false;
    }
    if (threw)
        throw std::runtime_error(thrown);
    MessageReader answer(payload.data(), payload.size());
    read(answer);
    if (!answer.ok()) {
        conclude(Cause::garbled);
        return false;
    }
    return true;
}

bool RemotePlugin::ask(Request request) {
    return ask(
        request, [](MessageWriter&) {}, [](MessageReader&) {});
}

void RemotePlugin::takeStatus(MessageReader& in) {
    const auto said = in.get<ReplyStatus>();
    const std::vector<std::string> refusals = in.getTexts();
    std::vector<VSTEditorSize> resizes(in.get<std::uint32_t>());
    for (VSTEditorSize& size : resizes)
        size = in.get<VSTEditorSize>();
    if (!in.ok())
        return;
    // A step the host did not expect to stop blocks: stopped now all the same (the
    // helper's own gate kept its plug-in safe meanwhile).
    if (said.blocksStopped && blocksRunning) {
        link.stopBlocks();
        blocksRunning = false;
    }
    status = said;
    for (const std::string& refusal : refusals)
        link.refused(refusal);
    for (const VSTEditorSize& size : resizes)
        link.editorResized(size);
    if (said.blocksStarted) {
        if (blocksRunning)
            link.stopBlocks();
        sampleRate = said.startedRate;
        processMode = said.hasSetup ? said.setup.processMode : kRealtime;
        link.startBlocks(said.startedFrames, said.startedRate);
        blocksRunning = true;
    }
}

void RemotePlugin::stopBlocksBefore(LifecycleState target) {
    if (blocksRunning && target < LifecycleState::processing) {
        link.stopBlocks();
        blocksRunning = false;
    }
}

bool RemotePlugin::load(const std::string& path, const std::string& pluginClass, PluginFacts& facts,
                        std::string& error) {
    if (!startHelper(error))
        return false;
    bool accepted = false;
    const bool answered = ask(
        Request::load, [&](MessageWriter& out) { out.put(path).put(pluginClass); },
        [&](MessageReader& in) {
            accepted = in.get<bool>();
            error = in.getText();
            if (!accepted)
                return;
            facts.classInfo = in.getClassInfo();
            facts.bundleClasses.resize(in.get<std::uint32_t>());
            for (VSTPluginClassInfo& info : facts.bundleClasses)
                info = in.getClassInfo();
            const auto id = in.get<std::array<char, sizeof(VST3::UID::TUID)>>();
            facts.classId = VST3::UID::fromTUID(id.data());
            facts.buses.resize(in.get<std::uint32_t>());
            for (VSTBusInfo& bus : facts.buses)
                bus = in.getBus();
            facts.channelLayout = in.get<VSTChannelLayout>();
            controller = in.get<bool>();
        });
    if (!answered)
        error = ended.load() ? endRecord.reason : "The plug-in host program did not answer.";
    if (!answered || !accepted) {
        // Nothing of it is left running: a failed load is as in this process.
        unload();
        return false;
    }
    classId = facts.classId;
    loaded.store(true, std::memory_order_release);
    return true;
}

void RemotePlugin::unload() noexcept {
    if (!channel)
        return;
    if (blocksRunning)
        link.stopBlocks();
    blocksRunning = false;
    loaded.store(false, std::memory_order_release);
    const bool endedBefore = ended.load(std::memory_order_acquire);
    try {
        ask(Request::unload);
    } catch (...) {
        // The plug-in side fences its own throws; nothing is left to undo.
    }
    // A plug-in that crashes while it is taken down is told of, once.
    if (!endedBefore && ended.load(std::memory_order_acquire))
        link.refused(endRecord.reason);
    stopHelper();
    status = ReplyStatus{};
    controller = false;
    ended.store(false, std::memory_order_release);
    endRecord = PluginEnding{};
}

bool RemotePlugin::moveTo(LifecycleState target) {
    stopBlocksBefore(target);
    bool accepted = false;
    ask(
        Request::moveTo, [&](MessageWriter& out) { out.put(target); },
        [&](MessageReader& in) { accepted = in.get<bool>(); });
    return accepted;
}

LifecycleState RemotePlugin::lowestState() const {
    return ending() != nullptr ? LifecycleState::created : status.lowest;
}

LifecycleState RemotePlugin::highestState() const {
    return ending() != nullptr ? LifecycleState::created : status.highest;
}

bool RemotePlugin::applySetup(const ProcessSetup& setup, LifecycleState running) {
    stopBlocksBefore(LifecycleState::connected);
    bool accepted = false;
    ask(
        Request::applySetup, [&](MessageWriter& out) { out.put(setup).put(running); },
        [&](MessageReader& in) { accepted = in.get<bool>(); });
    return accepted;
}

std::optional<ProcessSetup> RemotePlugin::setupInForce() const {
    if (!status.hasSetup)
        return std::nullopt;
    return status.setup;
}

bool RemotePlugin::repeatRefusedSwitch(bool processing) {
    bool accepted = false;
    ask(
        Request::repeatRefusedSwitch, [&](MessageWriter& out) { out.put(processing); },
        [&](MessageReader& in) { accepted = in.get<bool>(); });
    return accepted;
}

std::uint32_t RemotePlugin::currentLatency() {
    std::uint32_t latency = status.latency;
    ask(
        Request::currentLatency, [](MessageWriter&) {},
        [&](MessageReader& in) { latency = in.get<std::uint32_t>(); });
    return latency;
}

void RemotePlugin::readTiming() {
    ask(Request::readTiming);
}

std::vector<ParameterInfo> RemotePlugin::parameterInfos() {
    std::vector<ParameterInfo> infos;
    ask(
        Request::parameterInfos, [](MessageWriter&) {},
        [&](MessageReader& in) {
            infos.resize(in.get<std::uint32_t>());
            for (ParameterInfo& info : infos)
                info = in.get<ParameterInfo>();
        });
    return infos;
}

double RemotePlugin::normalizedValue(ParamID id) {
    double value = 0.0;
    ask(
        Request::normalizedValue, [&](MessageWriter& out) { out.put(id); },
        [&](MessageReader& in) { value = in.get<double>(); });
    return value;
}

void RemotePlugin::setNormalizedValue(ParamID id, double value) {
    ask(
        Request::setNormalizedValue, [&](MessageWriter& out) { out.put(id).put(value); },
        [](MessageReader&) {});
}

std::string RemotePlugin::valueText(ParamID id, double value) {
    std::string text;
    ask(
        Request::valueText, [&](MessageWriter& out) { out.put(id).put(value); },
        [&](MessageReader& in) { text = in.getText(); });
    return text;
}

double RemotePlugin::toPlain(ParamID id, double normalized) {
    double plain = 0.0;
    ask(
        Request::toPlain, [&](MessageWriter& out) { out.put(id).put(normalized); },
        [&](MessageReader& in) { plain = in.get<double>(); });
    return plain;
}

double RemotePlugin::toNormalized(ParamID id, double plain) {
    double normalized = 0.0;
    ask(
        Request::toNormalized, [&](MessageWriter& out) { out.put(id).put(plain); },
        [&](MessageReader& in) { normalized = in.get<double>(); });
    return normalized;
}

bool RemotePlugin::valueFromText(ParamID id, const std::string& text, double& value) {
    bool read = false;
    ask(
        Request::valueFromText, [&](MessageWriter& out) { out.put(id).put(text); },
        [&](MessageReader& in) {
            read = in.get<bool>();
            const auto parsed = in.get<double>();
            if (read)
                value = parsed;
        });
    return read;
}

int32 RemotePlugin::takeRestartRequests() {
    int32 flags = 0;
    ask(
        Request::takeRestartRequests, [](MessageWriter&) {},
        [&](MessageReader& in) { flags = in.get<int32>(); });
    return flags;
}

void RemotePlugin::putBackRestartRequests(int32 flags) {
    ask(
        Request::putBackRestartRequests, [&](MessageWriter& out) { out.put(flags); }, [](MessageReader&) {});
}

std::vector<std::pair<ParamID, double>> RemotePlugin::takeEdits() {
    // The helper's edits join those its blocks brought back, in the slots the
    // processor is fed from; what the slots noted is what the module hears of.
    ask(
        Request::takeEdits, [](MessageWriter&) {},
        [&](MessageReader& in) {
            const auto count = in.get<std::uint32_t>();
            for (std::uint32_t index = 0; index < count && in.ok(); ++index) {
                const auto id = in.get<ParamID>();
                edits.publishEdit(id, in.get<double>());
            }
            ignoredEdits += in.get<std::uint64_t>();
            const auto lastId = in.get<ParamID>();
            if (ignoredEdits > 0)
                lastIgnoredId = lastId;
        });
    std::vector<std::pair<ParamID, double>> taken;
    edits.collectEdits([&taken](ParamID id, double value) { taken.emplace_back(id, value); });
    return taken;
}

std::uint64_t RemotePlugin::takeIgnoredEdits(ParamID& lastId) {
    lastId = lastIgnoredId;
    return std::exchange(ignoredEdits, 0);
}

bool RemotePlugin::captureState(PluginStateChunks& chunks, std::string& refusal) {
    bool captured = false;
    const bool answered = ask(
        Request::captureState, [](MessageWriter&) {},
        [&](MessageReader& in) {
            captured = in.get<bool>();
            refusal = in.getText();
            chunks.classId = classId;
            chunks.component = in.getBytes();
            const bool withController = in.get<bool>();
            std::vector<std::uint8_t> controllerState = in.getBytes();
            chunks.controller.reset();
            if (withController)
                chunks.controller = std::move(controllerState);
        });
    if (!answered)
        refusal = "IComponent::getState";
    return captured;
}

bool RemotePlugin::applyState(const PluginStateChunks& chunks, std::string& refusal) {
    bool applied = false;
    const bool answered = ask(
        Request::applyState,
        [&](MessageWriter& out) {
            out.put(chunks.component).put(chunks.controller.has_value());
            if (chunks.controller)
                out.put(*chunks.controller);
        },
        [&](MessageReader& in) {
            applied = in.get<bool>();
            refusal = in.getText();
        });
    if (!answered)
        refusal = "IComponent::setState";
    return applied;
}

bool RemotePlugin::processParametersOnly(IParameterChanges& changes) {
    bool accepted = false;
    ask(
        Request::processParametersOnly, [&](MessageWriter& out) { putParameterChanges(out, changes); },
        [&](MessageReader& in) { accepted = in.get<bool>(); });
    return accepted;
}

bool RemotePlugin::editorAvailable(const std::string& platformType, std::string& reason) {
    bool available = false;
    ask(
        Request::editorAvailable, [&](MessageWriter& out) { out.put(platformType); },
        [&](MessageReader& in) {
            available = in.get<bool>();
            reason = in.getText();
        });
    return available;
}

bool RemotePlugin::openEditor(void* parent, const std::string& platformType, std::string& reason) {
    bool opened = false;
    const bool answered = ask(
        Request::openEditor,
        [&](MessageWriter& out) {
            out.put(static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(parent))).put(platformType);
        },
        [&](MessageReader& in) {
            opened = in.get<bool>();
            reason = in.getText();
        });
    if (!answered && ending() != nullptr)
        reason = ending()->reason;
    return opened;
}

void RemotePlugin::closeEditor() noexcept {
    try {
        if (status.editorOpen)
            ask(Request::closeEditor);
    } catch (...) {
        // The editor's own fence reports what the plug-in throws there.
    }
}

bool RemotePlugin::isEditorOpen() const {
    return ending() == nullptr && status.editorOpen;
}

bool RemotePlugin::resizeEditor(VSTEditorSize& size, std::string& reason) {
    bool resized = false;
    ask(
        Request::resizeEditor, [&](MessageWriter& out) { out.put(size); },
        [&](MessageReader& in) {
            resized = in.get<bool>();
            size = in.get<VSTEditorSize>();
            reason = in.getText();
        });
    return resized;
}

bool RemotePlugin::setEditorContentScale(float factor, std::string& reason) {
    bool scaled = false;
    ask(
        Request::setEditorContentScale, [&](MessageWriter& out) { out.put(factor); },
        [&](MessageReader& in) {
            scaled = in.get<bool>();
            reason = in.getText();
        });
    return scaled;
}

} // namespace varnel::extensions::vst

#endif
