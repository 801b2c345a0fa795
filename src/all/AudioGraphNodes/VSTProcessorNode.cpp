#include "VSTProcessorNode.h"

#include "VSTModule.h"

#include <varnel/Logger.h>

#include <algorithm>
#include <atomic>
#include <cassert>

namespace varnel::extensions::vst {

struct VSTProcessorNode::Internals {
    explicit Internals(std::uint32_t initialSampleRate) : sampleRate(initialSampleRate) {}

    std::unique_ptr<VSTModule> vstModule;
    std::uint32_t sampleRate;
    std::uint32_t maxNumberOfChannels = 2;
    std::atomic<bool> isEnabled{true};
    std::string pluginFileName;
    bool pluginLoaded = false;
    int maxFramesPerBlock = 1024;
    VSTProcessingMode processMode = VSTProcessingMode::Realtime;
    /// Why the configured name was refused; the module's own reason otherwise.
    std::string refusedFileName;
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
}

VSTProcessorNode::~VSTProcessorNode() = default;

bool VSTProcessorNode::loadPlugin(const std::string& path) {
    // The previous plug-in is torn down before the new one loads.
    internals->vstModule.reset();
    internals->vstModule = std::make_unique<VSTModule>();
    internals->refusedFileName.clear();
    // The load's own set-up already announces what the graph said.
    internals->vstModule->setMaxSamplesPerBlock(internals->maxFramesPerBlock);
    internals->vstModule->setProcessMode(internals->processMode);
    internals->pluginLoaded = internals->vstModule->loadPlugin(path);
    // A replacement follows the rate the graph already announced; a first load's
    // guess of 48000 Hz is then the rate in force, and nothing more happens.
    if (internals->pluginLoaded)
        internals->vstModule->setSampleRate(internals->sampleRate);
    return internals->pluginLoaded;
}

std::string VSTProcessorNode::getPluginLoadError() const {
    if (!internals->refusedFileName.empty())
        return internals->refusedFileName;
    return internals->vstModule->getLoadError();
}

bool VSTProcessorNode::getIsPluginLoaded() const {
    return internals->pluginLoaded;
}

bool VSTProcessorNode::setMaxFramesPerBlock(int maxFrames) {
    const bool accepted = internals->vstModule->setMaxSamplesPerBlock(maxFrames);
    // Kept for later set-ups even when this plug-in refused it; an invalid value,
    // which the module refused and logged, is not.
    if (maxFrames > 0)
        internals->maxFramesPerBlock = maxFrames;
    return accepted;
}

bool VSTProcessorNode::setProcessMode(VSTProcessingMode mode) {
    const bool accepted = internals->vstModule->setProcessMode(mode);
    if (mode >= VSTProcessingMode::Realtime && mode <= VSTProcessingMode::Offline)
        internals->processMode = mode;
    return accepted;
}

bool VSTProcessorNode::getIsReadyToProcess() const {
    return internals->pluginLoaded && internals->vstModule->isReadyToProcess();
}

bool VSTProcessorNode::getIsEnabled() const {
    return internals->isEnabled.load();
}

void VSTProcessorNode::setEnabled(bool enabled) {
    internals->isEnabled.store(enabled);
    if (internals->vstModule)
        internals->vstModule->setProcessing(enabled);
}

std::string VSTProcessorNode::getPluginFileName() const {
    return internals->pluginFileName;
}

void VSTProcessorNode::setPluginFileName(const std::string& fileName) {
    internals->pluginFileName = fileName;
}

std::vector<VSTParameter> VSTProcessorNode::getPluginParameters() {
    return internals->vstModule->getParameters();
}

void VSTProcessorNode::setPluginParameter(unsigned int id, float value) {
    internals->vstModule->setParameter(id, value);
}

bool VSTProcessorNode::setPluginParameter(std::string name, float value) {
    return internals->vstModule->setParameter(std::move(name), value);
}

bool VSTProcessorNode::setValueNamesForPluginParameter(std::string name,
                                                       std::vector<std::string> valueNames) {
    return internals->vstModule->setValueNamesForPluginParameter(std::move(name), std::move(valueNames));
}

bool VSTProcessorNode::setPluginParameterByValueName(std::string name, std::string valueName) {
    return internals->vstModule->setParameterByValueName(std::move(name), std::move(valueName));
}

float VSTProcessorNode::getParameterValue(unsigned int id) {
    return internals->vstModule->getParameterValue(id);
}

VSTPluginClassInfo VSTProcessorNode::getPluginClassInfo() const {
    return internals->vstModule->getPluginClassInfo();
}

std::vector<VSTBusInfo> VSTProcessorNode::getPluginBuses() const {
    return internals->vstModule->getBuses();
}

VSTChannelLayout VSTProcessorNode::getPluginChannelLayout() const {
    return internals->vstModule->getChannelLayout();
}

std::vector<VSTParameterDetails> VSTProcessorNode::getPluginParameterDetails() {
    return internals->vstModule->getParameterDetails();
}

std::string VSTProcessorNode::getPluginParameterValueText(unsigned int id, double normalizedValue) {
    return internals->vstModule->getParameterValueText(id, normalizedValue);
}

bool VSTProcessorNode::setBusFormat(AudioBusFormat& in, AudioBusFormat& out) {
    if (!AudioBusFormat::matchBusFormats(in, out))
        return false;
    internals->sampleRate = in.sampleRate;
    if (internals->pluginLoaded)
        internals->vstModule->setSampleRate(internals->sampleRate);
    return in.numberOfChannels == 2;
}

bool VSTProcessorNode::process(AudioBus& inBus, AudioBus& outBus) {
    // Audio thread: no allocation, lock or wait.
    outBus.copyFrom(inBus);
    if (!internals->isEnabled.load())
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
