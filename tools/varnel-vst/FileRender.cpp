#include "FileRender.h"

#include "AudioFile.h"
#include "OutputFile.h"
#include "ParameterSettings.h"
#include "Progress.h"
#include "StereoRenderer.h"
#include "ToolError.h"

#include <VSTChannelLayout.h>
#include <varnel/AudioBusFormat.h>

#include <cstdint>
#include <vector>

namespace varnelvst::tool {

using varnel::extensions::vst::VSTProcessorNode;

namespace {

void checkChannels(const InputFile& file, const std::string& input) {
    if (file.channels() > 2)
        throw failure(input + " has " + std::to_string(file.channels()) +
                      " channels; varnel-vst processes mono and stereo files only");
    if (file.channels() == 1)
        printNote(input + " is mono: processing it as two equal channels");
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

void warnAboutNonFinite(const SignalStats& stats, const std::string& what) {
    if (stats.nonFiniteSamples() > 0)
        printWarning(what + " holds " + std::to_string(stats.nonFiniteSamples()) +
                     " samples that are NaN or infinite");
}

} // namespace

RenderSummary renderFile(VSTProcessorNode& node, const PluginLocation& plugin, const ProcessCommand& command,
                         const std::string& input, const std::string& output, bool showProgress) {
    InputFile file(input);
    checkChannels(file, input);
    const int outputFormat = chooseOutputFormat(file.format(), outputMajorFormat(output, command.format),
                                                command.subtype, file.sampleRate(), 2);
    const OutputTarget target = inspectOutput(output, input, command.force);

    // The set-up first: a plug-in may reset its state when set up again, and the
    // parameter values should reach it after that. Switching processing off and on
    // is where VST 3 lets a plug-in clear its buffers, so that an earlier file's
    // tail does not leak into this one.
    setUp(node, plugin, file.sampleRate(), command.blockFrames);
    node.setEnabled(false);
    // Before the settings, so that they change what the preset set.
    if (!command.preset.empty() && !node.loadPluginPreset(command.preset))
        throw failure("could not restore the preset " + command.preset + " into " + plugin.argument);
    applyParameterSettings(node, command.settings);
    node.setEnabled(!command.bypass);

    OutputFile written(target, outputFormat, file.sampleRate(), 2);
    StereoRenderer renderer(node, command.blockFrames);
    RenderSummary summary;
    summary.plugin = plugin.argument;
    summary.pluginPath = plugin.path;
    summary.bypassed = command.bypass;
    summary.channelLayout = varnel::extensions::vst::describeChannelLayout(node.getPluginChannelLayout());
    summary.sampleRate = file.sampleRate();
    std::vector<float> inputBlock(static_cast<std::size_t>(command.blockFrames) * file.channels());
    std::vector<float> outputBlock(static_cast<std::size_t>(command.blockFrames) * 2);
    ProgressBar progress(showProgress ? file.frames() : 0);
    const std::uint64_t failuresBefore = node.getAudioThreadFailureCount();
    std::uint64_t blocks = 0;
    while (const std::size_t frames = file.read(inputBlock.data(), command.blockFrames)) {
        summary.input.add(inputBlock.data(), frames * static_cast<std::size_t>(file.channels()));
        renderer.render(inputBlock.data(), file.channels(), frames, outputBlock.data());
        summary.output.add(outputBlock.data(), frames * 2);
        written.write(outputBlock.data(), frames);
        summary.frames += static_cast<std::int64_t>(frames);
        ++blocks;
        progress.update(summary.frames);
    }
    progress.finish();
    // A failed block leaves whatever the plug-in made of it in the output: the
    // file is not what was asked for, so none is written.
    if (const std::uint64_t failed = node.getAudioThreadFailureCount() - failuresBefore; failed > 0)
        throw failure(plugin.argument + " reported a processing failure in " + std::to_string(failed) +
                      " of " + std::to_string(blocks) + " blocks of " + input + "; " + output +
                      " was not written");
    // After the render: plug-ins may take values into their state only with a
    // block of audio, and the preset should hold what the file was rendered with.
    // Before the commit, so that a preset that could not be written leaves no output.
    if (!command.savePreset.empty() && !node.savePluginPreset(command.savePreset))
        throw failure("could not save the preset " + command.savePreset);
    written.commit();

    warnAboutNonFinite(summary.input, input);
    warnAboutNonFinite(summary.output, "the output " + output);
    if (summary.output.peakDbfs() > 0.0 && clipsAboveFullScale(outputFormat))
        printWarning("the output peaks above full scale and " + output +
                     " clips it; --subtype float would keep it");

    summary.processingTime = renderer.processingTime();
    summary.outputPath = output;
    summary.outputFormat = describeFormat(outputFormat);
    return summary;
}

} // namespace varnelvst::tool
