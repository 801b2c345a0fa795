// The helper process's side of an isolated plug-in: requests in, answers out, and
// the blocks the host hands over.
#include "plugin/remote/PluginServer.h"

#if defined(__linux__)

#include "plugin/local/LocalPlugin.h"
#include "state/VSTPresetFile.h"
#include "thread/PluginThread.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <exception>

namespace varnel::extensions::vst {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

/// Points per input queue: the host sends one per id and block, as a rule.
constexpr int32 kPointsPerQueue = 4;
/// Queues beyond the listed ids, as the host keeps them.
constexpr int32 kExtraQueues = 16;

} // namespace

PluginServer::PluginServer(int control, SharedBlock& shared) : channel(control), shared(shared) {
    PluginThread::instance().call([this] { plugin = std::make_unique<LocalPlugin>(*this, edits); });
    blockThread = std::thread([this] { serveBlocks(); });
    // It waits for blocks for as long as the process lives; the process ends it.
    blockThread.detach();
}

PluginServer::~PluginServer() {
    PluginThread::instance().call([this] {
        gate.closeGate();
        plugin.reset();
    });
}

void PluginServer::run() {
    std::vector<std::uint8_t> body;
    while (channel.receive(body, ControlChannel::kNever) == ControlChannel::Receipt::done) {
        MessageReader in(body.data(), body.size());
        const auto request = in.get<Request>();
        MessageWriter out;
        PluginThread::instance().call([&] {
            noteCall(pluginCallOf(request));
            // What the plug-in throws goes back as such, for the host to handle as it
            // handles a throw of a plug-in in its own process.
            MessageWriter answer;
            try {
                serve(request, in, answer);
                out.put(false);
            } catch (const std::exception& error) {
                out.put(true).put(std::string(error.what()));
                answer = MessageWriter();
            } catch (...) {
                out.put(true).put(std::string("an unknown exception"));
                answer = MessageWriter();
            }
            const std::vector<std::uint8_t>& payload = answer.frame();
            out.put(std::vector<std::uint8_t>(payload.begin() + 4, payload.end()));
            writeStatus(out);
            noteCall(nullptr);
        });
        if (channel.send(out.frame(), ControlChannel::kNever) != ControlChannel::Receipt::done)
            break;
    }
}

void PluginServer::noteCall(const char* what) noexcept {
    const std::size_t length = what == nullptr ? 0 : std::min(std::strlen(what), sizeof(shared.call));
    if (length > 0)
        std::memcpy(shared.call, what, length);
    shared.callLength.store(static_cast<std::uint32_t>(length), std::memory_order_release);
}

void PluginServer::calling(const char* what) noexcept {
    noteCall(what);
}

void PluginServer::refused(const std::string& reason) {
    refusals.push_back(reason);
}

void PluginServer::editorResized(VSTEditorSize size) {
    resizes.push_back(size);
}

void PluginServer::stopBlocks() noexcept {
    gate.closeGate();
    blocksStopped = true;
    blocksStarted = false;
}

void PluginServer::startBlocks(int32 maxFrames, double sampleRate) {
    blocksStarted = true;
    startedFrames = std::min(maxFrames, SharedBlock::kMaxFrames);
    startedRate = sampleRate;
    gate.openGate();
}

void PluginServer::writeStatus(MessageWriter& out) {
    ReplyStatus status;
    status.lowest = plugin->lowestState();
    status.highest = plugin->highestState();
    if (const std::optional<ProcessSetup> setup = plugin->setupInForce()) {
        status.hasSetup = true;
        status.setup = *setup;
    }
    status.latency = plugin->latencySamples();
    status.tail = plugin->tailSamples();
    status.activations = plugin->activations();
    status.editorOpen = plugin->isEditorOpen();
    status.editorSize = plugin->editorSize();
    status.blocksStopped = std::exchange(blocksStopped, false);
    status.blocksStarted = std::exchange(blocksStarted, false);
    status.startedFrames = startedFrames;
    status.startedRate = startedRate;
    out.put(status).put(refusals);
    out.put(static_cast<std::uint32_t>(resizes.size()));
    for (const VSTEditorSize& size : resizes)
        out.put(size);
    refusals.clear();
    resizes.clear();
}

void PluginServer::listParameters(bool reserve) {
    std::vector<ParamID> listed;
    std::vector<ParamID> readOnly;
    for (const ParameterInfo& info : plugin->parameterInfos()) {
        listed.push_back(info.id);
        if ((info.flags & ParameterInfo::kIsReadOnly) != 0)
            readOnly.push_back(info.id);
    }
    std::sort(readOnly.begin(), readOnly.end());
    if (!reserve) {
        edits.relist(listed, readOnly);
        return;
    }
    edits.reserve(listed, readOnly);
    reports.reserve(listed);
    inputChanges.reserve(static_cast<int32>(listed.size() + ParameterSlots::kSpareSlots) + kExtraQueues,
                         kPointsPerQueue);
}

void PluginServer::serveLoad(MessageReader& in, MessageWriter& out) {
    const std::string path = in.getText();
    const std::string pluginClass = in.getText();
    PluginFacts facts;
    std::string error;
    const bool loaded = plugin->load(path, pluginClass, facts, error);
    out.put(loaded).put(error);
    if (!loaded)
        return;
    listParameters(true);
    out.put(facts.classInfo);
    out.put(static_cast<std::uint32_t>(facts.bundleClasses.size()));
    for (const VSTPluginClassInfo& info : facts.bundleClasses)
        out.put(info);
    std::array<char, sizeof(VST3::UID::TUID)> id{};
    std::memcpy(id.data(), facts.classId.data(), id.size());
    out.put(id);
    out.put(static_cast<std::uint32_t>(facts.buses.size()));
    for (const VSTBusInfo& bus : facts.buses)
        out.put(bus);
    out.put(facts.channelLayout).put(plugin->hasController());
}

void PluginServer::serve(Request request, MessageReader& in, MessageWriter& out) {
    LocalPlugin& local = *plugin;
    switch (request) {
    case Request::load:
        serveLoad(in, out);
        return;
    case Request::unload:
        local.unload();
        return;
    case Request::moveTo:
        out.put(local.moveTo(in.get<LifecycleState>()));
        return;
    case Request::applySetup: {
        const auto setup = in.get<ProcessSetup>();
        out.put(local.applySetup(setup, in.get<LifecycleState>()));
        return;
    }
    case Request::repeatRefusedSwitch:
        out.put(local.repeatRefusedSwitch(in.get<bool>()));
        return;
    case Request::currentLatency:
        out.put(local.currentLatency());
        return;
    case Request::readTiming:
        local.readTiming();
        return;
    case Request::parameterInfos: {
        const std::vector<ParameterInfo> infos = local.parameterInfos();
        out.put(static_cast<std::uint32_t>(infos.size()));
        for (const ParameterInfo& info : infos)
            out.put(info);
        return;
    }
    case Request::normalizedValue:
        out.put(local.normalizedValue(in.get<ParamID>()));
        return;
    case Request::setNormalizedValue: {
        const auto id = in.get<ParamID>();
        local.setNormalizedValue(id, in.get<double>());
        return;
    }
    case Request::valueText: {
        const auto id = in.get<ParamID>();
        out.put(local.valueText(id, in.get<double>()));
        return;
    }
    case Request::toPlain: {
        const auto id = in.get<ParamID>();
        out.put(local.toPlain(id, in.get<double>()));
        return;
    }
    case Request::toNormalized: {
        const auto id = in.get<ParamID>();
        out.put(local.toNormalized(id, in.get<double>()));
        return;
    }
    case Request::valueFromText: {
        const auto id = in.get<ParamID>();
        double value = 0.0;
        const bool read = local.valueFromText(id, in.getText(), value);
        out.put(read).put(value);
        return;
    }
    case Request::takeRestartRequests: {
        const int32 flags = local.takeRestartRequests();
        // New titles or flags: edits are kept for the ids listed now.
        if ((flags & kParamTitlesChanged) != 0)
            listParameters(false);
        out.put(flags);
        return;
    }
    case Request::putBackRestartRequests:
        local.putBackRestartRequests(in.get<int32>());
        return;
    case Request::takeEdits: {
        const std::vector<std::pair<ParamID, double>> taken = local.takeEdits();
        out.put(static_cast<std::uint32_t>(taken.size()));
        for (const auto& [id, value] : taken)
            out.put(id).put(value);
        ParamID lastId = 0;
        const std::uint64_t ignored = local.takeIgnoredEdits(lastId);
        out.put(ignored).put(lastId);
        return;
    }
    case Request::captureState: {
        PluginStateChunks chunks;
        std::string refusal;
        const bool captured = local.captureState(chunks, refusal);
        out.put(captured).put(refusal).put(chunks.component).put(chunks.controller.has_value());
        out.put(chunks.controller.value_or(std::vector<std::uint8_t>{}));
        return;
    }
    case Request::applyState: {
        PluginStateChunks chunks;
        chunks.component = in.getBytes();
        if (in.get<bool>())
            chunks.controller = in.getBytes();
        std::string refusal;
        const bool applied = local.applyState(chunks, refusal);
        out.put(applied).put(refusal);
        return;
    }
    case Request::processParametersOnly: {
        const auto count = in.get<std::uint32_t>();
        ParameterChanges changes(static_cast<int32>(count));
        for (std::uint32_t index = 0; index < count && in.ok(); ++index) {
            const auto point = in.get<SharedValue>();
            int32 queueIndex = 0;
            int32 pointIndex = 0;
            if (IParamValueQueue* queue = changes.addParameterData(point.id, queueIndex))
                queue->addPoint(point.sampleOffset, point.value, pointIndex);
        }
        out.put(local.processParametersOnly(changes));
        return;
    }
    case Request::editorAvailable: {
        std::string reason;
        const bool available = local.editorAvailable(in.getText(), reason);
        out.put(available).put(reason);
        return;
    }
    case Request::openEditor: {
        const auto parent = in.get<std::uint64_t>();
        std::string reason;
        const bool opened = local.openEditor(reinterpret_cast<void*>(parent), in.getText(), reason);
        out.put(opened).put(reason);
        return;
    }
    case Request::closeEditor:
        local.closeEditor();
        return;
    case Request::resizeEditor: {
        auto size = in.get<VSTEditorSize>();
        std::string reason;
        const bool resized = local.resizeEditor(size, reason);
        out.put(resized).put(size).put(reason);
        return;
    }
    case Request::setEditorContentScale: {
        std::string reason;
        const bool scaled = local.setEditorContentScale(in.get<float>(), reason);
        out.put(scaled).put(reason);
        return;
    }
    }
}

void PluginServer::serveBlocks() {
    BlockReceiver receiver(shared);
    while (true) {
        const std::uint32_t sequence = receiver.next();
        runBlock();
        receiver.answer(sequence);
    }
}

void PluginServer::runBlock() noexcept {
    // The helper's audio thread: no allocation, lock, wait or log.
    shared.reportCount = 0;
    shared.editCount = 0;
    const AudioGate::Block block(gate);
    if (!block || shared.frames < 0 || shared.frames > SharedBlock::kMaxFrames) {
        shared.outcomeKind = static_cast<std::int32_t>(BlockOutcome::Kind::dry);
        shared.outcomeCode = 0;
        return;
    }
    if (inputChanges.getParameterCount() != 0)
        inputChanges.clearQueue();
    for (std::uint32_t index = 0; index < std::min(shared.changeCount, SharedBlock::kMaxValues); ++index) {
        const SharedValue& point = shared.changes[index];
        int32 queueIndex = 0;
        int32 pointIndex = 0;
        if (IParamValueQueue* queue = inputChanges.addParameterData(point.id, queueIndex))
            queue->addPoint(point.sampleOffset, point.value, pointIndex);
    }
    context = shared.context;
    shared.inProcess.store(1, std::memory_order_relaxed);
    const BlockOutcome outcome =
        plugin->process(PluginBlock{shared.audio[0], shared.audio[1], shared.audio[2], shared.audio[3],
                                    shared.frames, &context, &inputChanges, &reports});
    shared.inProcess.store(0, std::memory_order_relaxed);
    shared.outcomeKind = static_cast<std::int32_t>(outcome.kind);
    shared.outcomeCode = outcome.code;
    // What the processor reported, and the edits its controller made since the
    // last block (from its audio callback, or its editor): the host has them when
    // the block is back.
    std::uint32_t count = 0;
    reports.collect([this, &count](ParamID id, double value) {
        if (count < SharedBlock::kMaxValues)
            shared.reports[count++] = SharedValue{id, 0, value};
    });
    shared.reportCount = count;
    count = 0;
    edits.collectEdits([this, &count](ParamID id, double value) {
        if (count < SharedBlock::kMaxValues)
            shared.edits[count++] = SharedValue{id, 0, value};
    });
    shared.editCount = count;
}

} // namespace varnel::extensions::vst

#endif
