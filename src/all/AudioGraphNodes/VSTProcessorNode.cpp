#include "VSTProcessorNode.h"

#include "Base64.h"
#include "InternalVisibility.h"
#include "VSTModule.h"

#include <varnel/Logger.h>

#include <algorithm>
#include <atomic>
#include <cassert>
#include <mutex>
#include <shared_mutex>

namespace varnel::extensions::vst {

struct VARNELVST_INTERNAL VSTProcessorNode::Internals {
    explicit Internals(std::uint32_t initialSampleRate) : sampleRate(initialSampleRate) {}

    /// Never null once constructed; replaced only under an exclusive controlLock.
    std::unique_ptr<VSTModule> vstModule;
    /// Kept by setBusFormat for the next one; atomic as formats may come from
    /// several control threads.
    std::atomic<std::uint32_t> sampleRate;
    /// Whether the plug-in accepted the graph's last rate. A refused rate leaves it
    /// at its previous one: it would process, but at the wrong rate.
    std::atomic<bool> rateAccepted{true};
    std::uint32_t maxNumberOfChannels = 2;
    std::atomic<bool> isEnabled{true};
    std::string pluginFileName;
    /// Written under an exclusive controlLock; read by the audio thread, which the
    /// caller keeps apart from reloads.
    bool pluginLoaded = false;
    int maxFramesPerBlock = 1024;
    VSTProcessingMode processMode = VSTProcessingMode::Realtime;
    /// Why the configured name was refused; the module's own reason otherwise.
    std::string refusedFileName;

    /// Control threads: a reload holds it exclusively, every other control call
    /// shares it, so the module a call uses stays alive until the call returns. The
    /// module serialises the shared callers itself. The audio thread never takes it.
    mutable std::shared_mutex controlLock;
    /// Keeps the enable flag and the plug-in's processing switch in step when
    /// several threads switch at once.
    std::mutex switchMutex;
};

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
    registerConfiguration("pluginFileName", VLAnyMap{
                                                {"name", "VST3 Plugin Name"},
                                                {"type", "string"},
                                                {"description", "Name of the VST3 plugin to load"},
                                                {"value", fileName},
                                            });
    if (isSafePluginFileName(fileName)) {
        loadPlugin(systemPluginFolder() + fileName);
    } else {
        internals->refusedFileName = "Invalid plugin file name: " + fileName;
        Logger::error("[VSTProcessorNode] " + internals->refusedFileName);
        // Like a node whose plug-in did not load: a module without a plug-in.
        internals->vstModule = std::make_unique<VSTModule>();
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
    // What the last blocks counted is not lost with the module.
    if (internals->vstModule)
        internals->vstModule->reportAudioThreadFailures();
}

bool VSTProcessorNode::loadPlugin(const std::string& path) {
    Internals& in = *internals;
    std::unique_lock lock(in.controlLock);
    // The previous plug-in is torn down before the new one loads, after what it
    // counted on the audio thread has been logged.
    if (in.vstModule)
        in.vstModule->reportAudioThreadFailures();
    in.vstModule.reset();
    in.vstModule = std::make_unique<VSTModule>();
    in.refusedFileName.clear();
    // The load's own set-up already announces what the graph said.
    in.vstModule->setMaxSamplesPerBlock(in.maxFramesPerBlock);
    in.vstModule->setProcessMode(in.processMode);
    in.pluginLoaded = in.vstModule->loadPlugin(path);
    // A replacement follows the rate the graph already announced; a first load's
    // guess of 48000 Hz is then the rate in force, and nothing more happens.
    in.rateAccepted.store(!in.pluginLoaded || in.vstModule->setSampleRate(in.sampleRate.load()));
    // A load switches processing on; a disabled node keeps its plug-in switched off.
    if (in.pluginLoaded && !in.isEnabled.load())
        in.vstModule->setProcessing(false);
    return in.pluginLoaded;
}

std::string VSTProcessorNode::getPluginLoadError() const {
    std::shared_lock lock(internals->controlLock);
    if (!internals->refusedFileName.empty())
        return internals->refusedFileName;
    return internals->vstModule->getLoadError();
}

bool VSTProcessorNode::getIsPluginLoaded() const {
    std::shared_lock lock(internals->controlLock);
    return internals->pluginLoaded;
}

bool VSTProcessorNode::setMaxFramesPerBlock(int maxFrames) {
    // Exclusive: the value is the node's own, read by every later load.
    std::unique_lock lock(internals->controlLock);
    const bool accepted = internals->vstModule->setMaxSamplesPerBlock(maxFrames);
    // Kept for later set-ups even when this plug-in refused it; an invalid value,
    // which the module refused and logged, is not.
    if (maxFrames > 0)
        internals->maxFramesPerBlock = maxFrames;
    return accepted;
}

bool VSTProcessorNode::setProcessMode(VSTProcessingMode mode) {
    std::unique_lock lock(internals->controlLock);
    const bool accepted = internals->vstModule->setProcessMode(mode);
    if (mode >= VSTProcessingMode::Realtime && mode <= VSTProcessingMode::Offline)
        internals->processMode = mode;
    return accepted;
}

bool VSTProcessorNode::getIsReadyToProcess() const {
    std::shared_lock lock(internals->controlLock);
    return internals->pluginLoaded && internals->rateAccepted.load() &&
           internals->vstModule->isReadyToProcess();
}

std::uint32_t VSTProcessorNode::getPluginLatencySamples() const {
    std::shared_lock lock(internals->controlLock);
    return internals->vstModule->getLatencySamples();
}

std::uint32_t VSTProcessorNode::getPluginTailSamples() const {
    std::shared_lock lock(internals->controlLock);
    return internals->vstModule->getTailSamples();
}

void VSTProcessorNode::handlePluginRestartRequests() {
    std::shared_lock lock(internals->controlLock);
    internals->vstModule->handleRestartRequests();
}

bool VSTProcessorNode::getIsEnabled() const {
    return internals->isEnabled.load();
}

void VSTProcessorNode::setEnabled(bool enabled) {
    Internals& in = *internals;
    std::shared_lock lock(in.controlLock);
    std::lock_guard switching(in.switchMutex);
    in.isEnabled.store(enabled);
    in.vstModule->reportAudioThreadFailures();
    in.vstModule->setProcessing(enabled);
}

std::string VSTProcessorNode::getPluginFileName() const {
    return internals->pluginFileName;
}

void VSTProcessorNode::setPluginFileName(const std::string& fileName) {
    internals->pluginFileName = fileName;
}

std::vector<VSTParameter> VSTProcessorNode::getPluginParameters() {
    std::shared_lock lock(internals->controlLock);
    return internals->vstModule->getParameters();
}

void VSTProcessorNode::setPluginParameter(unsigned int id, float value) {
    std::shared_lock lock(internals->controlLock);
    internals->vstModule->setParameter(id, value);
}

bool VSTProcessorNode::setPluginParameter(std::string name, float value) {
    std::shared_lock lock(internals->controlLock);
    return internals->vstModule->setParameter(std::move(name), value);
}

bool VSTProcessorNode::setValueNamesForPluginParameter(std::string name,
                                                       std::vector<std::string> valueNames) {
    std::shared_lock lock(internals->controlLock);
    return internals->vstModule->setValueNamesForPluginParameter(std::move(name), std::move(valueNames));
}

bool VSTProcessorNode::setPluginParameterByValueName(std::string name, std::string valueName) {
    std::shared_lock lock(internals->controlLock);
    return internals->vstModule->setParameterByValueName(std::move(name), std::move(valueName));
}

float VSTProcessorNode::getParameterValue(unsigned int id) {
    std::shared_lock lock(internals->controlLock);
    return internals->vstModule->getParameterValue(id);
}

bool VSTProcessorNode::getPluginState(std::vector<std::uint8_t>& state) {
    std::shared_lock lock(internals->controlLock);
    return internals->vstModule->getState(state);
}

bool VSTProcessorNode::setPluginState(const std::vector<std::uint8_t>& state) {
    std::shared_lock lock(internals->controlLock);
    return internals->vstModule->setState(state);
}

bool VSTProcessorNode::loadPluginPreset(const std::string& path) {
    std::shared_lock lock(internals->controlLock);
    return internals->vstModule->loadPreset(path);
}

bool VSTProcessorNode::savePluginPreset(const std::string& path) {
    std::shared_lock lock(internals->controlLock);
    return internals->vstModule->savePreset(path);
}

bool VSTProcessorNode::setPluginStateText(const std::string& text) {
    const std::optional<std::vector<std::uint8_t>> state = decodeBase64(text);
    if (!state) {
        Logger::error("[VSTProcessorNode] Invalid plugin state: not base64 text");
        return false;
    }
    std::shared_lock lock(internals->controlLock);
    return internals->vstModule->setState(*state);
}

Result<VLAny> VSTProcessorNode::getValue(const std::string& key) {
    if (key != "pluginState")
        return SingleBusAudioProcessorNode::getValue(key);
    std::vector<std::uint8_t> state;
    std::shared_lock lock(internals->controlLock);
    if (!internals->pluginLoaded || !internals->vstModule->getState(state))
        return Result<VLAny>::failure("the plugin gave no state");
    return Result<VLAny>::success(encodeBase64(state));
}

Result<void> VSTProcessorNode::setValue(const std::string& key, const VLAny& value) {
    if (key != "pluginState")
        return SingleBusAudioProcessorNode::setValue(key, value);
    const std::optional<std::string> text = value.as<std::string>();
    if (!text || !setPluginStateText(*text))
        return Result<void>::failure("the plugin did not take the state");
    return SingleBusAudioProcessorNode::setValue(key, value);
}

VSTPluginClassInfo VSTProcessorNode::getPluginClassInfo() const {
    std::shared_lock lock(internals->controlLock);
    return internals->vstModule->getPluginClassInfo();
}

std::uint64_t VSTProcessorNode::getAudioThreadFailureCount() const {
    std::shared_lock lock(internals->controlLock);
    return internals->vstModule->getAudioThreadFailureCount();
}

std::vector<VSTBusInfo> VSTProcessorNode::getPluginBuses() const {
    std::shared_lock lock(internals->controlLock);
    return internals->vstModule->getBuses();
}

VSTChannelLayout VSTProcessorNode::getPluginChannelLayout() const {
    std::shared_lock lock(internals->controlLock);
    return internals->vstModule->getChannelLayout();
}

std::vector<VSTParameterDetails> VSTProcessorNode::getPluginParameterDetails() {
    std::shared_lock lock(internals->controlLock);
    return internals->vstModule->getParameterDetails();
}

std::string VSTProcessorNode::getPluginParameterValueText(unsigned int id, double normalizedValue) {
    std::shared_lock lock(internals->controlLock);
    return internals->vstModule->getParameterValueText(id, normalizedValue);
}

bool VSTProcessorNode::getPluginParameterRange(unsigned int id, VSTParameterRange& range) {
    std::shared_lock lock(internals->controlLock);
    return internals->vstModule->getParameterRange(id, range);
}

bool VSTProcessorNode::setPluginParameterPlain(std::string name, double plain) {
    std::shared_lock lock(internals->controlLock);
    return internals->vstModule->setParameterPlain(std::move(name), plain);
}

bool VSTProcessorNode::setPluginParameterByText(std::string name, std::string text) {
    std::shared_lock lock(internals->controlLock);
    return internals->vstModule->setParameterByText(std::move(name), std::move(text));
}

bool VSTProcessorNode::setBusFormat(AudioBusFormat& in, AudioBusFormat& out) {
    if (!AudioBusFormat::matchBusFormats(in, out))
        return false;
    std::shared_lock lock(internals->controlLock);
    internals->sampleRate.store(in.sampleRate);
    internals->vstModule->reportAudioThreadFailures();
    if (internals->pluginLoaded)
        internals->rateAccepted.store(internals->vstModule->setSampleRate(in.sampleRate));
    return in.numberOfChannels == 2;
}

bool VSTProcessorNode::process(AudioBus& inBus, AudioBus& outBus) {
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
    // The plug-in reads the input through non-const pointers but does not write it.
    internals->vstModule->process(const_cast<float*>(input->getReadPointer(0)),
                                  const_cast<float*>(input->getReadPointer(1)), output->getWritePointer(0),
                                  output->getWritePointer(1), static_cast<int>(frames));
    return true;
}

} // namespace varnel::extensions::vst
