// `varnel-vst process <plugin> <in> <out>`: a sound file through a plug-in node.
#include "AudioFile.h"
#include "Commands.h"
#include "ParameterSettings.h"
#include "PluginFolders.h"
#include "PluginLoading.h"
#include "Progress.h"
#include "StereoRenderer.h"
#include "Summary.h"
#include "ToolError.h"

#include <varnel/AudioBusFormat.h>

#include <iostream>

namespace varnelvst::tool {

using varnel::extensions::vst::VSTProcessorNode;

namespace {

void checkChannels(const InputFile& input, const ProcessCommand& command) {
    if (input.channels() > 2)
        throw failure(command.input + " has " + std::to_string(input.channels()) +
                      " channels; varnel-vst processes mono and stereo files only");
    if (input.channels() == 1)
        printNote(command.input + " is mono: processing it as two equal channels");
}

// A file is rendered as fast as it goes, not against a clock, in blocks of a
// known size: the plug-in is told both, then the file's rate.
void setUp(VSTProcessorNode& node, const PluginLocation& plugin, int sampleRate, std::uint32_t blockFrames) {
    node.setProcessMode(varnel::extensions::vst::VSTProcessingMode::Offline);
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

} // namespace

int runProcess(const ProcessCommand& command) {
    const PluginLocation plugin = locatePlugin(command.plugin);
    InputFile input(command.input);
    checkChannels(input, command);
    const int outputFormat =
        chooseOutputFormat(input.format(), command.format, command.subtype, input.sampleRate(), 2);

    std::unique_ptr<VSTProcessorNode> node = createProcessorNode(plugin);
    // The set-up first: a plug-in may reset its state when set up again, and the
    // parameter values should reach it after that.
    setUp(*node, plugin, input.sampleRate(), command.blockFrames);
    // Before the settings, so that they change what the preset set.
    if (!command.preset.empty() && !node->loadPluginPreset(command.preset))
        throw failure("could not restore the preset " + command.preset + " into " + plugin.argument);
    PlainValueConverter converter(plugin);
    applyParameterSettings(*node, command.settings, converter);
    if (command.bypass)
        node->setEnabled(false);

    OutputFile output(command.output, outputFormat, input.sampleRate(), 2);
    StereoRenderer renderer(*node, command.blockFrames);
    RenderSummary summary;
    summary.plugin = plugin.argument;
    summary.pluginPath = plugin.path;
    summary.bypassed = command.bypass;
    summary.sampleRate = input.sampleRate();
    std::vector<float> inputBlock(static_cast<std::size_t>(command.blockFrames) * input.channels());
    std::vector<float> outputBlock(static_cast<std::size_t>(command.blockFrames) * 2);
    ProgressBar progress(input.frames());
    while (const std::size_t frames = input.read(inputBlock.data(), command.blockFrames)) {
        summary.input.add(inputBlock.data(), frames * static_cast<std::size_t>(input.channels()));
        renderer.render(inputBlock.data(), input.channels(), frames, outputBlock.data());
        summary.output.add(outputBlock.data(), frames * 2);
        output.write(outputBlock.data(), frames);
        summary.frames += static_cast<std::int64_t>(frames);
        progress.update(summary.frames);
    }
    // After the render: plug-ins may take values into their state only with a
    // block of audio, and the preset should hold what the file was rendered with.
    // Before the commit, so that a preset that could not be written leaves no output.
    if (!command.savePreset.empty() && !node->savePluginPreset(command.savePreset))
        throw failure("could not save the preset " + command.savePreset);
    output.commit();
    progress.finish();

    if (summary.output.peakDbfs() > 0.0 && clipsAboveFullScale(outputFormat))
        printWarning("the output peaks above full scale and " + command.output +
                     " clips it; --subtype float would keep it");

    summary.processingTime = renderer.processingTime();
    summary.outputPath = command.output;
    summary.outputFormat = describeFormat(outputFormat);
    printSummary(std::cout, summary);
    return kExitOk;
}

} // namespace varnelvst::tool
