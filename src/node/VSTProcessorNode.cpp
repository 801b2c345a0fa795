#include "VSTProcessorNode.h"

#include "InternalVisibility.h"
#include "VSTModule.h"
#include "plugin/remote/SignalName.h"
#include "state/Base64.h"
#include "thread/PluginThread.h"

#include <varnel/Logger.h>

#include <algorithm>
#include <atomic>
#include <cassert>

namespace varnel::extensions::vst {

struct VARNELVST_INTERNAL VSTProcessorNode::Internals {
    explicit Internals(std::uint32_t initialSampleRate) : sampleRate(initialSampleRate) {}

    /// Never null once constructed; replaced only on the plug-in thread, where
    /// every control call runs, so no call sees it go.
    std::unique_ptr<VSTModule> vstModule;
    /// Kept by setBusFormat for the next one.
    std::uint32_t sampleRate;
    /// Whether the plug-in accepted the graph's last rate. A refused rate leaves it
    /// at its previous one: it would process, but at the wrong rate.
    bool rateAccepted = true;
    std::uint32_t maxNumberOfChannels = 2;
    std::atomic<bool> isEnabled{true};
    std::string pluginFileName;
    /// The audio module class every load asks for; empty for the module's rule.
    std::string pluginClass;
    /// Written on the plug-in thread; read by the audio thread, which the caller
    /// keeps apart from reloads.
    bool pluginLoaded = false;
    int maxFramesPerBlock = 1024;
    VSTProcessingMode processMode = VSTProcessingMode::Realtime;
    /// Why the configured name was refused; the module's own reason otherwise.
    std::string refusedFileName;
    /// Why the last bus format was refused (empty once one is accepted), and the
    /// module's last error then: a newer refusal of the module's replaces it.
    std::string refusedFormat;
    std::string moduleErrorAtRefusedFormat;
    /// Blocks of one size for the plug-in (the module gathers them), 0 when off.
    int fixedBlockFrames = 0;
    /// The musical context, for a plug-in loaded later.
    double tempo = 120.0;
    int timeSignatureNumerator = 4;
    int timeSignatureDenominator = 4;
    bool transportPlaying = true;
    /// Whether the graph's formats give the node a side-chain input.
    bool sideChainInput = false;
    /// Where the next plug-in loaded runs, and whether a crashed one is reloaded.
    VSTIsolation isolation;
    bool restartAfterCrash = false;
};

namespace {

/// Every control call of the node runs on the plug-in thread, one at a time, like
/// the module calls it makes there.
template <typename Operation>
auto onPluginThread(Operation&& operation) {
    return PluginThread::instance().call(operation);
}

/// The "pluginIsolation" value `text` names; none, with a line, for an unknown one.
VSTIsolationMode isolationModeOf(const std::string& text) {
    if (text == "process")
        return VSTIsolationMode::process;
    if (text != "none" && !text.empty())
        Logger::error("[VSTProcessorNode] Unknown pluginIsolation \"" + text + "\" (none or process): none");
    return VSTIsolationMode::none;
}

/// The "pluginCrashed" payload: how the process ended, in a word and a code.
std::string describeEnding(const VSTPluginEvent& event) {
    switch (event.ending) {
    case VSTPluginEvent::Ending::signal:
        return "signal " + signalName(event.endingCode);
    case VSTPluginEvent::Ending::exit:
        return "exit " + std::to_string(event.endingCode);
    case VSTPluginEvent::Ending::hang:
        return "hang";
    }
    return "unknown";
}

} // namespace

std::string VSTProcessorNode::systemPluginFolder() {
#if defined(_WIN32)
    return "C:\\Program Files\\Common Files\\VST3\\";
#elif defined(__APPLE__)
    return "/Library/Audio/Plug-Ins/VST3/";
#else
    return "/usr/lib/vst3/";
#endif
}

bool VSTProcessorNode::isSafePluginFileName(const std::string& fileName) {
    // The name may come from a saved graph or another program: it must not reach
    // code outside the VST 3 folder.
    if (fileName.find('\0') != std::string::npos)
        return false;
    if (!fileName.empty() && (fileName.front() == '/' || fileName.front() == '\\'))
        return false;
#if defined(_WIN32)
    if (fileName.find(':') != std::string::npos)
        return false;
#endif
    std::size_t start = 0;
    while (start <= fileName.size()) {
        const std::size_t end = std::min(fileName.find_first_of("/\\", start), fileName.size());
        if (fileName.compare(start, end - start, "..") == 0)
            return false;
        start = end + 1;
    }
    return true;
}

VSTProcessorNode::VSTProcessorNode(const VLAnyMap& config) : internals(std::make_unique<Internals>(48000)) {
    typeName = "VSTProcessorNode";
    const std::string fileName = VLAnyMap::get<std::string>(config, "pluginFileName", "").value_or("");
    setPluginFileName(fileName);
    internals->pluginClass = VLAnyMap::get<std::string>(config, "pluginClass", "").value_or("");
    const std::string isolation =
        VLAnyMap::get<std::string>(config, "pluginIsolation", "none").value_or("none");
    internals->isolation.mode = isolationModeOf(isolation);
    internals->restartAfterCrash =
        VLAnyMap::get<bool>(config, "pluginRestartAfterCrash", false).value_or(false);
    registerConfiguration("pluginFileName", VLAnyMap{
                                                {"name", "VST3 Plugin Name"},
                                                {"type", "string"},
                                                {"description", "Name of the VST3 plugin to load"},
                                                {"value", fileName},
                                            });
    registerConfiguration("pluginClass",
                          VLAnyMap{
                              {"name", "VST3 Plugin Class"},
                              {"type", "string"},
                              {"description", "Name or class id of the audio module class to load from the "
                                              "plugin; empty for the last one it declares"},
                              {"value", internals->pluginClass},
                          });
    registerConfiguration(
        "pluginIsolation",
        VLAnyMap{
            {"name", "VST3 Plugin Isolation"},
            {"type", "string"},
            {"description", "Where the plugin runs: none (in this process) or process (in a "
                            "helper process of its own, which a crash or hang of the plugin "
                            "costs alone)"},
            {"value", isolation},
        });
    registerConfiguration(
        "pluginRestartAfterCrash",
        VLAnyMap{
            {"name", "VST3 Plugin Restart After Crash"},
            {"type", "bool"},
            {"description", "Whether an isolated plugin whose process ended is started again "
                            "with its last state"},
            {"value", internals->restartAfterCrash},
        });
    if (isSafePluginFileName(fileName)) {
        loadPlugin(systemPluginFolder() + fileName);
    } else {
        internals->refusedFileName = "Invalid plugin file name: " + fileName;
        Logger::error("[VSTProcessorNode] " + internals->refusedFileName);
        // Like a node whose plug-in did not load: a module without a plug-in.
        onPluginThread([this] { internals->vstModule = std::make_unique<VSTModule>(); });
    }

    const std::string stateText = VLAnyMap::get<std::string>(config, "pluginState", "").value_or("");
    registerConfiguration("pluginState", VLAnyMap{
                                             {"name", "VST3 Plugin State"},
                                             {"type", "string"},
                                             {"description", "The plugin's state as base64 text of a VST3 "
                                                             "preset; empty for the plugin's defaults"},
                                             {"value", stateText},
                                         });
    if (!stateText.empty() && internals->pluginLoaded)
        setPluginStateText(stateText);
}

VSTProcessorNode::~VSTProcessorNode() {
    // What the last blocks counted is not lost with the module, which goes on the
    // plug-in thread like every plug-in object.
    onPluginThread([this] {
        if (internals->vstModule)
            internals->vstModule->reportAudioThreadFailures();
        internals->vstModule.reset();
    });
}

void VSTProcessorNode::emitPluginEvent(const VSTPluginEvent& event) {
    switch (event.kind) {
    case VSTPluginEvent::Kind::parameterChanged:
        emit(kParameterChangedEvent, VLAny(static_cast<std::int64_t>(event.parameterId)));
        return;
    case VSTPluginEvent::Kind::latencyChanged:
        emit(kLatencyChangedEvent, VLAny(static_cast<std::int64_t>(event.latencySamples)));
        return;
    case VSTPluginEvent::Kind::restarted:
        emit(kRestartedEvent, VLAny(static_cast<std::int64_t>(event.restartFlags)));
        return;
    case VSTPluginEvent::Kind::editorResized:
        emit(kEditorResizedEvent,
             VLAny(std::to_string(event.editorSize.width) + "x" + std::to_string(event.editorSize.height)));
        return;
    case VSTPluginEvent::Kind::pluginCrashed:
        emit(kCrashedEvent, VLAny(describeEnding(event)));
        // After the application heard of it: a listener may have replaced the plug-in.
        if (internals->restartAfterCrash &&
            internals->vstModule->getIsolation().mode == VSTIsolationMode::process)
            internals->vstModule->reloadPlugin();
        return;
    }
}

void VSTProcessorNode::prepareModule(VSTModule& module) {
    const Internals& in = *internals;
    if (in.isolation.mode != VSTIsolationMode::none)
        module.setIsolation(in.isolation);
    // The load's own set-up already announces what the graph said.
    module.setMaxSamplesPerBlock(in.maxFramesPerBlock);
    module.setFixedBlockSize(in.fixedBlockFrames);
    module.setProcessMode(in.processMode);
    module.setTempo(in.tempo);
    module.setTimeSignature(in.timeSignatureNumerator, in.timeSignatureDenominator);
    module.setTransportPlaying(in.transportPlaying);
}

bool VSTProcessorNode::setTempo(double beatsPerMinute) {
    return onPluginThread([&] {
        if (!internals->vstModule->setTempo(beatsPerMinute))
            return false;
        internals->tempo = beatsPerMinute;
        return true;
    });
}

bool VSTProcessorNode::setTimeSignature(int numerator, int denominator) {
    return onPluginThread([&] {
        if (!internals->vstModule->setTimeSignature(numerator, denominator))
            return false;
        internals->timeSignatureNumerator = numerator;
        internals->timeSignatureDenominator = denominator;
        return true;
    });
}

void VSTProcessorNode::setTransportPlaying(bool playing) {
    onPluginThread([&] {
        internals->transportPlaying = playing;
        internals->vstModule->setTransportPlaying(playing);
    });
}

void VSTProcessorNode::setTransportPosition(std::int64_t projectTimeSamples) {
    onPluginThread([&] { internals->vstModule->setTransportPosition(projectTimeSamples); });
}

bool VSTProcessorNode::loadPlugin(const std::string& path) {
    return onPluginThread([&] { return replacePlugin(path); });
}

bool VSTProcessorNode::replacePlugin(const std::string& path) {
    Internals& in = *internals;
    // The previous plug-in is torn down before the new one loads, after what it
    // counted on the audio thread has been logged.
    if (in.vstModule)
        in.vstModule->reportAudioThreadFailures();
    in.vstModule.reset();
    in.vstModule = std::make_unique<VSTModule>();
    in.refusedFileName.clear();
    prepareModule(*in.vstModule);
    in.vstModule->setEventListener([this](const VSTPluginEvent& event) { emitPluginEvent(event); });
    std::string error;
    in.pluginLoaded = in.vstModule->loadPlugin(path, in.pluginClass, error);
    if (in.pluginLoaded)
        followSideChainInput(*in.vstModule);
    // A replacement follows the rate the graph already announced; a first load's
    // guess of 48000 Hz is then the rate in force, and nothing more happens.
    in.rateAccepted = !in.pluginLoaded || in.vstModule->setSampleRate(in.sampleRate);
    // A load switches processing on; a disabled node keeps its plug-in switched off.
    if (in.pluginLoaded && !in.isEnabled.load())
        in.vstModule->setProcessing(false);
    return in.pluginLoaded;
}

std::string VSTProcessorNode::getPluginLoadError() const {
    return onPluginThread([this] {
        if (!internals->refusedFileName.empty())
            return internals->refusedFileName;
        return internals->vstModule->getLoadError();
    });
}

std::string VSTProcessorNode::getPluginLastError() const {
    return onPluginThread([this] {
        std::string moduleError = internals->vstModule->getLastError();
        if (!internals->refusedFormat.empty() && moduleError == internals->moduleErrorAtRefusedFormat)
            return internals->refusedFormat;
        return moduleError;
    });
}

bool VSTProcessorNode::reloadPlugin() {
    return onPluginThread([this] { return internals->vstModule->reloadPlugin(); });
}

bool VSTProcessorNode::getIsPluginLoaded() const {
    return onPluginThread([this] { return internals->pluginLoaded; });
}

bool VSTProcessorNode::setFixedBlockSize(int frames) {
    return onPluginThread([&] {
        const bool accepted = internals->vstModule->setFixedBlockSize(frames);
        // Kept for a plug-in loaded later, even when this one refused the set-up.
        if (frames >= 0)
            internals->fixedBlockFrames = frames;
        return accepted;
    });
}

int VSTProcessorNode::getFixedBlockSize() const {
    return onPluginThread([this] { return internals->vstModule->getFixedBlockSize(); });
}

bool VSTProcessorNode::setMaxFramesPerBlock(int maxFrames) {
    return onPluginThread([&] {
        const bool accepted = internals->vstModule->setMaxSamplesPerBlock(maxFrames);
        // Kept for later set-ups even when this plug-in refused it; an invalid
        // value, which the module refused and logged, is not.
        if (maxFrames > 0)
            internals->maxFramesPerBlock = maxFrames;
        return accepted;
    });
}

bool VSTProcessorNode::setProcessMode(VSTProcessingMode mode) {
    return onPluginThread([&] {
        const bool accepted = internals->vstModule->setProcessMode(mode);
        if (mode >= VSTProcessingMode::Realtime && mode <= VSTProcessingMode::Offline)
            internals->processMode = mode;
        return accepted;
    });
}

bool VSTProcessorNode::getIsReadyToProcess() const {
    return onPluginThread([this] {
        return internals->pluginLoaded && internals->rateAccepted && internals->vstModule->isReadyToProcess();
    });
}

std::uint32_t VSTProcessorNode::getPluginLatencySamples() const {
    return onPluginThread([this] { return internals->vstModule->getLatencySamples(); });
}

std::uint32_t VSTProcessorNode::getPluginTailSamples() const {
    return onPluginThread([this] { return internals->vstModule->getTailSamples(); });
}

void VSTProcessorNode::handlePluginRestartRequests() {
    onPluginThread([this] { internals->vstModule->handleRestartRequests(); });
}

bool VSTProcessorNode::getIsEnabled() const {
    return internals->isEnabled.load();
}

void VSTProcessorNode::setEnabled(bool enabled) {
    onPluginThread([&] {
        internals->isEnabled.store(enabled);
        internals->vstModule->reportAudioThreadFailures();
        internals->vstModule->setProcessing(enabled);
    });
}

std::string VSTProcessorNode::getPluginFileName() const {
    return onPluginThread([this] { return internals->pluginFileName; });
}

void VSTProcessorNode::setPluginFileName(const std::string& fileName) {
    internals->pluginFileName = fileName;
}

std::vector<VSTParameter> VSTProcessorNode::getPluginParameters() {
    return onPluginThread([&] { return internals->vstModule->getParameters(); });
}

void VSTProcessorNode::setPluginParameter(unsigned int id, float value) {
    onPluginThread([&] { internals->vstModule->setParameter(id, value); });
}

bool VSTProcessorNode::setPluginParameter(std::string name, float value) {
    return onPluginThread([&] { return internals->vstModule->setParameter(std::move(name), value); });
}

bool VSTProcessorNode::setValueNamesForPluginParameter(std::string name,
                                                       std::vector<std::string> valueNames) {
    return onPluginThread([&] {
        return internals->vstModule->setValueNamesForPluginParameter(std::move(name), std::move(valueNames));
    });
}

bool VSTProcessorNode::setPluginParameterByValueName(std::string name, std::string valueName) {
    return onPluginThread(
        [&] { return internals->vstModule->setParameterByValueName(std::move(name), std::move(valueName)); });
}

float VSTProcessorNode::getParameterValue(unsigned int id) {
    return onPluginThread([&] { return internals->vstModule->getParameterValue(id); });
}

bool VSTProcessorNode::setPluginParameterEnvelope(unsigned int id, std::vector<VSTAutomationPoint> points) {
    return onPluginThread([&] { return internals->vstModule->setParameterEnvelope(id, std::move(points)); });
}

void VSTProcessorNode::clearPluginParameterEnvelopes() {
    onPluginThread([&] { internals->vstModule->clearParameterEnvelopes(); });
}

bool VSTProcessorNode::setPluginParameterAt(unsigned int id, float value, int frameOffset) {
    return onPluginThread([&] { return internals->vstModule->setParameterAt(id, value, frameOffset); });
}

bool VSTProcessorNode::getPluginState(std::vector<std::uint8_t>& state) {
    return onPluginThread([&] { return internals->vstModule->getState(state); });
}

bool VSTProcessorNode::setPluginState(const std::vector<std::uint8_t>& state) {
    return onPluginThread([&] { return internals->vstModule->setState(state); });
}

bool VSTProcessorNode::loadPluginPreset(const std::string& path) {
    return onPluginThread([&] { return internals->vstModule->loadPreset(path); });
}

bool VSTProcessorNode::savePluginPreset(const std::string& path) {
    return onPluginThread([&] { return internals->vstModule->savePreset(path); });
}

bool VSTProcessorNode::setPluginStateText(const std::string& text) {
    const std::optional<std::vector<std::uint8_t>> state = decodeBase64(text);
    if (!state) {
        Logger::error("[VSTProcessorNode] Invalid plugin state: not base64 text");
        return false;
    }
    return onPluginThread([&] { return internals->vstModule->setState(*state); });
}

Result<VLAny> VSTProcessorNode::getValue(const std::string& key) {
    if (key != "pluginState")
        return SingleBusAudioProcessorNode::getValue(key);
    std::vector<std::uint8_t> state;
    const bool given =
        onPluginThread([&] { return internals->pluginLoaded && internals->vstModule->getState(state); });
    if (!given)
        return Result<VLAny>::failure("the plugin gave no state");
    return Result<VLAny>::success(encodeBase64(state));
}

Result<void> VSTProcessorNode::setValue(const std::string& key, const VLAny& value) {
    if (key == "pluginFileName")
        return setPluginFileNameValue(value);
    if (key == "pluginIsolation" || key == "pluginRestartAfterCrash") {
        const std::optional<std::string> mode = value.as<std::string>();
        const std::optional<bool> restart = value.as<bool>();
        if (key == "pluginIsolation" ? !mode : !restart)
            return Result<void>::failure(key +
                                         (key == "pluginIsolation" ? " takes a string" : " takes a bool"));
        onPluginThread([&] {
            if (mode)
                internals->isolation.mode = isolationModeOf(*mode);
            else
                internals->restartAfterCrash = *restart;
        });
        return SingleBusAudioProcessorNode::setValue(key, value);
    }
    if (key == "pluginClass") {
        const std::optional<std::string> pluginClass = value.as<std::string>();
        if (!pluginClass)
            return Result<void>::failure("pluginClass takes a string");
        onPluginThread([&] { internals->pluginClass = *pluginClass; });
        return SingleBusAudioProcessorNode::setValue(key, value);
    }
    if (key != "pluginState")
        return SingleBusAudioProcessorNode::setValue(key, value);
    const std::optional<std::string> text = value.as<std::string>();
    if (!text || !setPluginStateText(*text))
        return Result<void>::failure("the plugin did not take the state");
    return SingleBusAudioProcessorNode::setValue(key, value);
}

Result<void> VSTProcessorNode::setPluginFileNameValue(const VLAny& value) {
    const std::optional<std::string> fileName = value.as<std::string>();
    if (!fileName)
        return Result<void>::failure("pluginFileName takes a string");
    if (!isSafePluginFileName(*fileName)) {
        Logger::error("[VSTProcessorNode] Invalid plugin file name: " + *fileName);
        return Result<void>::failure("Invalid plugin file name: " + *fileName);
    }
    // The new plug-in loads beside the running one, which stays when it fails:
    // a refused name changes nothing, an accepted one is the plug-in that runs.
    std::string error;
    const bool loaded = onPluginThread([&] {
        Internals& in = *internals;
        auto candidate = std::make_unique<VSTModule>();
        prepareModule(*candidate);
        if (!candidate->loadPlugin(systemPluginFolder() + *fileName, in.pluginClass, error))
            return false;
        candidate->setEventListener([this](const VSTPluginEvent& event) { emitPluginEvent(event); });
        followSideChainInput(*candidate);
        in.rateAccepted = candidate->setSampleRate(in.sampleRate);
        if (!in.isEnabled.load())
            candidate->setProcessing(false);
        in.vstModule->reportAudioThreadFailures();
        in.vstModule = std::move(candidate);
        in.pluginLoaded = true;
        in.refusedFileName.clear();
        in.pluginFileName = *fileName;
        return true;
    });
    if (!loaded)
        return Result<void>::failure(error);
    return SingleBusAudioProcessorNode::setValue("pluginFileName", value);
}

VSTPluginClassInfo VSTProcessorNode::getPluginClassInfo() const {
    return onPluginThread([&] { return internals->vstModule->getPluginClassInfo(); });
}

std::uint64_t VSTProcessorNode::getAudioThreadFailureCount() const {
    return onPluginThread([&] { return internals->vstModule->getAudioThreadFailureCount(); });
}

std::vector<VSTBusInfo> VSTProcessorNode::getPluginBuses() const {
    return onPluginThread([&] { return internals->vstModule->getBuses(); });
}

VSTChannelLayout VSTProcessorNode::getPluginChannelLayout() const {
    return onPluginThread([&] { return internals->vstModule->getChannelLayout(); });
}

std::vector<VSTParameterDetails> VSTProcessorNode::getPluginParameterDetails() {
    return onPluginThread([&] { return internals->vstModule->getParameterDetails(); });
}

std::string VSTProcessorNode::getPluginParameterValueText(unsigned int id, double normalizedValue) {
    return onPluginThread([&] { return internals->vstModule->getParameterValueText(id, normalizedValue); });
}

bool VSTProcessorNode::getPluginParameterRange(unsigned int id, VSTParameterRange& range) {
    return onPluginThread([&] { return internals->vstModule->getParameterRange(id, range); });
}

bool VSTProcessorNode::setPluginParameterPlain(std::string name, double plain) {
    return onPluginThread([&] { return internals->vstModule->setParameterPlain(std::move(name), plain); });
}

bool VSTProcessorNode::setPluginParameterByText(std::string name, std::string text) {
    return onPluginThread(
        [&] { return internals->vstModule->setParameterByText(std::move(name), std::move(text)); });
}

bool VSTProcessorNode::getPluginHasEditor() {
    return onPluginThread([&] { return internals->vstModule->hasEditor(); });
}

bool VSTProcessorNode::openPluginEditor(void* parentWindow, const std::string& platformType) {
    return onPluginThread([&] { return internals->vstModule->openEditor(parentWindow, platformType); });
}

void VSTProcessorNode::closePluginEditor() {
    onPluginThread([&] { internals->vstModule->closeEditor(); });
}

bool VSTProcessorNode::getIsPluginEditorOpen() const {
    return onPluginThread([&] { return internals->vstModule->isEditorOpen(); });
}

VSTEditorSize VSTProcessorNode::getPluginEditorSize() const {
    return onPluginThread([&] { return internals->vstModule->getEditorSize(); });
}

bool VSTProcessorNode::resizePluginEditor(VSTEditorSize& size) {
    return onPluginThread([&] { return internals->vstModule->resizeEditor(size); });
}

bool VSTProcessorNode::setPluginEditorContentScale(float factor) {
    return onPluginThread([&] { return internals->vstModule->setEditorContentScale(factor); });
}

bool VSTProcessorNode::setBusFormat(AudioBusFormat& in, AudioBusFormat& out) {
    return setBusFormat(static_cast<const AudioBusFormat&>(in), static_cast<const AudioBusFormat&>(out));
}

namespace {

/// Why the node cannot run on these formats; empty when it can.
std::string formatRefusal(const AudioBusFormat& in, const AudioBusFormat& out) {
    const auto describe = [](const AudioBusFormat& format) {
        return std::to_string(format.sampleRate) + " Hz, " + std::to_string(format.numberOfChannels) +
               (format.numberOfChannels == 1 ? " channel" : " channels");
    };
    if (in != out)
        return "Bus formats refused: the input (" + describe(in) + ") and the output (" + describe(out) +
               ") differ";
    if (in.sampleRate == 0)
        return "Bus format refused: a sample rate of 0 Hz";
    if (in.numberOfChannels != 2)
        return "Bus format refused: the node processes stereo buses, not " + describe(in);
    return {};
}

} // namespace

bool VSTProcessorNode::setBusFormat(const AudioBusFormat& in, const AudioBusFormat& out) {
    return onPluginThread([&] {
        Internals& node = *internals;
        const std::string refusal = formatRefusal(in, out);
        node.refusedFormat = refusal;
        if (!refusal.empty()) {
            node.moduleErrorAtRefusedFormat = node.vstModule->getLastError();
            Logger::error("[VSTProcessorNode] " + refusal);
        }
        // Formats that differ, or a rate of 0, change nothing; a narrower bus
        // still sets the rate, as its blocks pass through.
        if (in != out || in.sampleRate == 0)
            return false;
        node.sampleRate = in.sampleRate;
        node.vstModule->reportAudioThreadFailures();
        if (node.pluginLoaded)
            node.rateAccepted = node.vstModule->setSampleRate(in.sampleRate);
        return refusal.empty();
    });
}

bool VSTProcessorNode::followSideChainInput(VSTModule& module) {
    // A plug-in without one is left alone unless the graph wants one.
    const bool wanted = internals->sideChainInput;
    return wanted == module.isSideChainActive() || module.setSideChainActive(wanted);
}

bool VSTProcessorNode::setBusFormats(AudioBusFormatList& inputs, AudioBusFormatList& outputs) {
    if (inputs.size() != 2 || outputs.size() != 1) {
        const bool accepted = SingleBusAudioProcessorNode::setBusFormats(inputs, outputs);
        if (accepted)
            onPluginThread([this] {
                internals->sideChainInput = false;
                followSideChainInput(*internals->vstModule);
            });
        return accepted;
    }
    const AudioBusFormat& sideChain = inputs[1];
    if (sideChain.sampleRate != inputs[0].sampleRate || sideChain.numberOfChannels < 1 ||
        sideChain.numberOfChannels > 2) {
        Logger::error("[VSTProcessorNode] A side-chain input takes one or two channels at the input's rate");
        return false;
    }
    if (!setBusFormat(inputs[0], outputs[0]))
        return false;
    return onPluginThread([this] {
        internals->sideChainInput = true;
        // Without a plug-in there is nothing to feed yet; the load activates it.
        if (!internals->pluginLoaded || followSideChainInput(*internals->vstModule))
            return true;
        internals->sideChainInput = false;
        return false;
    });
}

bool VSTProcessorNode::process(AudioBus& inBus, AudioBus& outBus) {
    return processBlock(inBus, outBus, nullptr);
}

bool VSTProcessorNode::process(AudioBusList& inputs, AudioBusList& outputs) {
    // Audio thread: no allocation, lock, wait or log.
    if (inputs.size() == 2 && outputs.size() == 1)
        return processBlock(inputs[0], outputs[0], &inputs[1]);
    return SingleBusAudioProcessorNode::process(inputs, outputs);
}

bool VSTProcessorNode::processBlock(AudioBus& inBus, AudioBus& outBus, const AudioBus* sideChain) {
    // Audio thread: no allocation, lock, wait or log.
    outBus.copyFrom(inBus);
    // Without a plug-in the block passes through; the failed load was logged once.
    if (!internals->isEnabled.load() || !internals->pluginLoaded)
        return true;
    AudioBuffer<float>* input = inBus.buffer;
    AudioBuffer<float>* output = outBus.buffer;
    if (!input || !output)
        return true;
    assert(inBus.buffer->getNumberOfChannels() <= internals->maxNumberOfChannels);
    // Channel 1 must exist on both sides; a narrower bus passes through as copied.
    if (input->getNumberOfChannels() < 2 || output->getNumberOfChannels() < 2)
        return true;
    const std::uint32_t frames = std::min(input->getNumberOfFrames(), output->getNumberOfFrames());
    // A side-chain bus shorter than the block, or without channels, gives none.
    const AudioBuffer<float>* key = sideChain != nullptr ? sideChain->buffer : nullptr;
    if (key != nullptr && (key->getNumberOfChannels() == 0 || key->getNumberOfFrames() < frames))
        key = nullptr;
    VSTModule& module = *internals->vstModule;
    // The plug-in reads the input through non-const pointers but does not write it.
    module.process(const_cast<float*>(input->getReadPointer(0)), const_cast<float*>(input->getReadPointer(1)),
                   output->getWritePointer(0), output->getWritePointer(1),
                   key != nullptr ? key->getReadPointer(0) : nullptr,
                   key != nullptr ? key->getReadPointer(1) : nullptr, static_cast<int>(frames));
    return true;
}

} // namespace varnel::extensions::vst
