#include "FileRender.h"

#include "AudioFile.h"
#include "OutputFile.h"
#include "Progress.h"
#include "RenderTimeline.h"
#include "StereoRenderer.h"
#include "ToolError.h"

#include <VSTChannelLayout.h>

#include <algorithm>
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

void warnAboutNonFinite(const SignalStats& stats, const std::string& what) {
    if (stats.nonFiniteSamples() > 0)
        printWarning(what + " holds " + std::to_string(stats.nonFiniteSamples()) +
                     " samples that are NaN or infinite");
}

// Whether a block came out exactly as it went in, though it was not silent: a
// plug-in that skips blocks it cannot handle leaves them so.
bool passedUnchanged(const float* input, int channels, const float* output, std::size_t frames) {
    bool audible = false;
    const auto count = static_cast<std::size_t>(channels);
    for (std::size_t frame = 0; frame < frames; ++frame) {
        const float left = input[frame * count];
        const float right = input[frame * count + count - 1];
        if (output[2 * frame] != left || output[2 * frame + 1] != right)
            return false;
        audible = audible || left != 0.0f || right != 0.0f;
    }
    return audible;
}

bool isPowerOfTwo(std::uint32_t value) {
    return value != 0 && (value & (value - 1)) == 0;
}

// The plug-ins as the summary lists them, with what they report once set up; a
// bypassed plug-in delays nothing and leaves no tail.
void describeChain(const NodeChain& chain, bool bypassed, RenderSummary& summary) {
    for (const ChainNode& stage : chain) {
        const VSTProcessorNode& node = *stage.node;
        const std::uint32_t latency = bypassed ? 0 : node.getPluginLatencySamples();
        const std::uint32_t tail = bypassed ? 0 : node.getPluginTailSamples();
        summary.latencySamples += latency;
        summary.tailSamples = addTail(summary.tailSamples, tail);
        summary.stages.push_back(StageSummary{
            stage.plugin.argument, stage.plugin.path,
            varnel::extensions::vst::describeChannelLayout(node.getPluginChannelLayout()), latency, tail});
    }
}

} // namespace

RenderSummary renderFile(NodeChain& chain, const ProcessCommand& command, const std::string& input,
                         const std::string& output, bool showProgress) {
    InputFile file(input);
    checkChannels(file, input);
    const int outputFormat = chooseOutputFormat(file.format(), outputMajorFormat(output, command.format),
                                                command.subtype, file.sampleRate(), 2);
    const OutputTarget target = inspectOutput(output, input, command.force);
    prepareChain(chain, command, file.sampleRate());

    RenderSummary summary;
    summary.bypassed = command.bypass;
    summary.sampleRate = file.sampleRate();
    summary.latencyCompensated = command.compensateLatency;
    describeChain(chain, command.bypass, summary);
    const TailChoice tail = command.bypass ? TailChoice{TailChoice::Kind::off} : command.tail;
    RenderTimeline timeline(command.compensateLatency ? summary.latencySamples : 0,
                            tailFrames(tail, summary.tailSamples, file.sampleRate()), file.sampleRate());

    OutputFile written(target, outputFormat, file.sampleRate(), 2);
    std::vector<VSTProcessorNode*> nodes;
    std::vector<std::uint64_t> failuresBefore;
    for (ChainNode& stage : chain) {
        nodes.push_back(stage.node.get());
        failuresBefore.push_back(stage.node->getAudioThreadFailureCount());
    }
    StereoRenderer renderer(nodes, command.blockFrames);
    // Plug-ins get the block size they were told, always: some process only
    // whole blocks of it.
    const auto inputChannels = static_cast<std::size_t>(file.channels());
    std::vector<float> inputBlock(static_cast<std::size_t>(command.blockFrames) * inputChannels);
    std::vector<float> outputBlock(static_cast<std::size_t>(command.blockFrames) * 2);
    ProgressBar progress(showProgress ? file.frames() : 0);
    std::uint64_t blocks = 0, fullBlocks = 0, unchangedBlocks = 0;
    // A failed block leaves whatever the plug-in made of it in the output: the
    // file is not what was asked for, so none is written.
    const auto stopOnFailures = [&] {
        for (std::size_t i = 0; i < chain.size(); ++i) {
            if (const std::uint64_t failed = chain[i].node->getAudioThreadFailureCount() - failuresBefore[i];
                failed > 0)
                throw failure(chain[i].plugin.argument + " reported a processing failure in " +
                              std::to_string(failed) + " of " + std::to_string(blocks) + " blocks of " +
                              input +
                              (written.streamStarted() ? "; what reached " + output + " is incomplete"
                                                       : "; " + output + " was not written"));
        }
    };
    bool inputLeft = true;
    while (!timeline.done()) {
        std::size_t frames = 0;
        const bool inputWasLeft = inputLeft;
        if (inputLeft) {
            frames = file.read(inputBlock.data(), command.blockFrames);
            summary.input.add(inputBlock.data(), frames * inputChannels);
            summary.frames += static_cast<std::int64_t>(frames);
            progress.update(summary.frames);
            if (frames < command.blockFrames) {
                inputLeft = false;
                timeline.inputEnded(static_cast<std::uint64_t>(summary.frames));
            }
        }
        std::fill(inputBlock.begin() + static_cast<std::ptrdiff_t>(frames * inputChannels), inputBlock.end(),
                  0.0f);
        renderer.render(inputBlock.data(), file.channels(), command.blockFrames, outputBlock.data());
        ++blocks;
        if (frames == command.blockFrames) {
            ++fullBlocks;
            if (passedUnchanged(inputBlock.data(), file.channels(), outputBlock.data(), frames))
                ++unchangedBlocks;
        }
        timeline.add(outputBlock.data(), command.blockFrames, [&](const float* kept, std::size_t count) {
            summary.output.add(kept, count * 2);
            written.write(kept, count);
        });
        // No tail for a file that will not be written.
        if (inputWasLeft && !inputLeft)
            stopOnFailures();
    }
    progress.finish();
    summary.tailFrames = static_cast<std::int64_t>(timeline.tailWritten());
    stopOnFailures();
    // After the render: plug-ins may take values into their state only with a
    // block of audio, and the preset should hold what the file was rendered with.
    // Before the commit, so that a preset that could not be written leaves no output.
    for (ChainNode& stage : chain) {
        const std::string& preset = stage.options->savePreset;
        if (!preset.empty() && !stage.node->savePluginPreset(preset))
            throw failure("could not save the preset " + preset);
    }
    written.commit();

    warnAboutNonFinite(summary.input, input);
    warnAboutNonFinite(summary.output, "the output " + output);
    if (summary.output.peakDbfs() > 0.0 && clipsAboveFullScale(outputFormat))
        printWarning("the output peaks above full scale and " + output +
                     " clips it; --subtype float would keep it");
    // A plug-in that did nothing is not a silent success. Installed plug-ins pass
    // blocks through dry when they dislike their size: some want powers of two,
    // some only the 1024 frames they configured themselves for before any set-up.
    if (unchangedBlocks > 0 && !command.bypass) {
        std::string why = "; some plug-ins process only power-of-two block sizes (try --block 1024)";
        if (command.blockFrames == 1024)
            why = "; it may leave the sound as it is at these settings";
        else if (isPowerOfTwo(command.blockFrames))
            why = "; it may leave the sound as it is at these settings, or process only some block sizes "
                  "(try --block 1024)";
        printNote((chain.size() > 1 ? std::string("the chain") : chain.front().plugin.argument) + " passed " +
                  std::to_string(unchangedBlocks) + " of " + std::to_string(fullBlocks) + " blocks of " +
                  input + " through unchanged" + why);
    }

    summary.processingTime = renderer.processingTime();
    summary.outputPath = output;
    summary.outputFormat = describeFormat(outputFormat);
    return summary;
}

} // namespace varnelvst::tool
