#pragma once

#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "public.sdk/source/vst/hosting/hostclasses.h"
#include "public.sdk/source/vst/hosting/module.h"
#include "public.sdk/source/vst/hosting/parameterchanges.h"

#include <string>

// The baseline for the wrapper's cost: a plug-in driven by hand through
// IAudioProcessor::process with the least a correct host must do per block (point
// the buffers, empty the output parameter changes, call process).
class DirectHost {
public:
    /// `channels` per main bus: 2, or 1 for a mono-only plug-in, of which only the
    /// left pointers of `process` are used.
    DirectHost(const std::string& path, int maxBlock, double sampleRate, int channels = 2);
    ~DirectHost();
    bool ready() const { return processor != nullptr; }

    void process(float* inL, float* inR, float* outL, float* outR, int frames) {
        inputChannels[0] = inL;
        inputChannels[1] = inR;
        outputChannels[0] = outL;
        outputChannels[1] = outR;
        processData.numSamples = frames;
        outputChanges.clearQueue();
        processor->process(processData);
    }

private:
    VST3::Hosting::Module::Ptr module;
    Steinberg::Vst::HostApplication hostApplication;
    Steinberg::IPtr<Steinberg::Vst::IComponent> component;
    Steinberg::Vst::IAudioProcessor* processor = nullptr;
    Steinberg::Vst::ParameterChanges inputChanges{0};
    Steinberg::Vst::ParameterChanges outputChanges{0};
    Steinberg::Vst::ProcessData processData;
    Steinberg::Vst::AudioBusBuffers inputBus, outputBus;
    float* inputChannels[2] = {};
    float* outputChannels[2] = {};
};
