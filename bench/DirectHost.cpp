#include "DirectHost.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

DirectHost::DirectHost(const std::string& path, int maxBlock, double sampleRate, int channels) {
    std::string error;
    module = VST3::Hosting::Module::create(path, error);
    if (!module)
        return;
    const auto& factory = module->getFactory();
    for (const auto& info : factory.classInfos()) {
        if (info.category() == kVstAudioEffectClass) {
            component = factory.createInstance<IComponent>(info.ID());
            break;
        }
    }
    if (!component || component->initialize(&hostApplication) != kResultOk) {
        component = nullptr;
        return;
    }
    if (component->queryInterface(IAudioProcessor::iid, reinterpret_cast<void**>(&processor)) != kResultOk) {
        processor = nullptr;
        return;
    }
    component->activateBus(kAudio, kInput, 0, true);
    component->activateBus(kAudio, kOutput, 0, true);
    ProcessSetup setup{kRealtime, kSample32, maxBlock, sampleRate};
    processor->setupProcessing(setup);
    component->setActive(true);
    processor->setProcessing(true);

    outputChanges.reserve(64, 16);
    inputBus.numChannels = channels;
    outputBus.numChannels = channels;
    inputBus.channelBuffers32 = inputChannels;
    outputBus.channelBuffers32 = outputChannels;
    processData.numInputs = 1;
    processData.numOutputs = 1;
    processData.inputs = &inputBus;
    processData.outputs = &outputBus;
    processData.inputParameterChanges = &inputChanges;
    processData.outputParameterChanges = &outputChanges;
}

DirectHost::~DirectHost() {
    if (processor) {
        processor->setProcessing(false);
        component->setActive(false);
        processor->release();
    }
    if (component)
        component->terminate();
    component = nullptr;
}
