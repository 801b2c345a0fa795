#include "RenderChain.h"

#include "ParameterSettings.h"
#include "PlayingOptions.h"
#include "PluginLoading.h"
#include "RenderTimeline.h"
#include "ToolError.h"

#include <VSTModule.h>
#include <varnel/AudioBuffer.h>
#include <varnel/AudioBus.h>
#include <varnel/AudioBusFormat.h>

#include <algorithm>
#include <cmath>
#include <string>

namespace varnelvst::tool {

using varnel::extensions::vst::VSTModule;
using varnel::extensions::vst::VSTProcessorNode;

namespace {

// A file is rendered as fast as it goes (offline) or played against a clock
// (real time), in blocks of a known size: the plug-in is told both, then the
// file's rate.
void setUp(VSTProcessorNode& node, const PluginLocation& plugin, int sampleRate, std::uint32_t blockFrames,
           varnel::extensions::vst::VSTProcessingMode mode) {
    node.setProcessMode(mode);
    node.setMaxFramesPerBlock(static_cast<int>(blockFrames));
    varnel::AudioBusFormat input{static_cast<std::uint32_t>(sampleRate), 2};
    varnel::AudioBusFormat output = input;
    const std::string what =
        "could not set " + plugin.argument + " up for " + std::to_string(sampleRate) + " Hz stereo: ";
    if (!node.setBusFormat(input, output))
        throw failure(what + "the node refused the format");
    // The library has said why.
    if (!node.getIsReadyToProcess())
        throw failure(what + "the plug-in refused its set-up or activation");
}

// Settings reach a plug-in's processor with its next block, and some change
// their latency only then (a look-ahead or oversampling switch) and say so with a
// restart request. A block without frames carries them there before the render,
// and the latency read after it (which acts on the request) is the one the render
// has.
void settleSettings(NodeChain& chain) {
    float left = 0.0f, right = 0.0f;
    float* const channels[] = {&left, &right};
    varnel::AudioBuffer<float> input(channels, 2, 0), output(channels, 2, 0);
    varnel::AudioBus inputBus{&input}, outputBus{&output};
    for (ChainNode& stage : chain)
        stage.node->process(inputBus, outputBus);
}

} // namespace

std::vector<PluginLocation> locateChain(const ProcessCommand& command) {
    std::vector<PluginLocation> plugins;
    for (std::size_t i = 0; i < command.stages.size(); ++i) {
        try {
            plugins.push_back(locatePlugin(command.stages[i].plugin));
        } catch (const ToolError& error) {
            if (command.stages.size() == 1)
                throw;
            throw ToolError(error.exitCode(), stageName(command, i) + ": " + error.what());
        }
    }
    return plugins;
}

NodeChain createChain(const ProcessCommand& command, const std::vector<PluginLocation>& plugins) {
    NodeChain chain;
    for (std::size_t i = 0; i < plugins.size(); ++i)
        chain.push_back(ChainNode{plugins[i],
                                  &command.stages[i],
                                  createProcessorNode(plugins[i], command.stages[i].pluginClass),
                                  stageName(command, i),
                                  {}});
    return chain;
}

void prepareChain(NodeChain& chain, const ProcessCommand& command, int sampleRate,
                  varnel::extensions::vst::VSTProcessingMode mode) {
    for (ChainNode& stage : chain) {
        VSTProcessorNode& node = *stage.node;
        // The set-up first: a plug-in may reset its state when set up again, and
        // the parameter values should reach it after that.
        applyPlayingOptions(node, command.playing);
        setUp(node, stage.plugin, sampleRate, command.blockFrames, mode);
        node.setEnabled(false);
        // Before the settings, so that they change what the preset set.
        const std::string& preset = stage.options->preset;
        if (!preset.empty() && !node.loadPluginPreset(preset))
            throw failure("could not restore the preset " + preset + " into " + stage.plugin.argument);
        NodeParameters parameters(node);
        try {
            stage.parametersSet =
                applyParameterSettings(parameters, stage.options->settings, stage.plugin.argument);
        } catch (const ToolError& error) {
            if (chain.size() == 1)
                throw;
            throw ToolError(error.exitCode(), stage.name + ": " + error.what());
        }
        node.setEnabled(!command.bypass);
    }
    if (!command.bypass)
        settleSettings(chain);
}

std::uint32_t addTail(std::uint32_t sum, std::uint32_t tail) {
    if (sum == VSTModule::kInfiniteTail || tail == VSTModule::kInfiniteTail)
        return VSTModule::kInfiniteTail;
    return static_cast<std::uint32_t>(
        std::min<std::uint64_t>(std::uint64_t{sum} + tail, VSTModule::kInfiniteTail - 1u));
}

std::optional<std::uint64_t> tailFrames(const TailChoice& choice, std::uint32_t reportedTail,
                                        int sampleRate) {
    switch (choice.kind) {
    case TailChoice::Kind::off:
        return 0;
    case TailChoice::Kind::seconds:
        return static_cast<std::uint64_t>(std::llround(choice.seconds * sampleRate));
    case TailChoice::Kind::plugin:
    case TailChoice::Kind::automatic:
        break;
    }
    // Many reverbs report no tail yet ring on; under auto they are heard out.
    if (reportedTail == VSTModule::kInfiniteTail ||
        (reportedTail == VSTModule::kNoTail && choice.kind == TailChoice::Kind::automatic))
        return std::nullopt;
    return std::min<std::uint64_t>(reportedTail, RenderTimeline::tailCapFrames(sampleRate));
}

} // namespace varnelvst::tool
