#include "FileRender.h"

#include "AudioFile.h"
#include "OutputConversion.h"
#include "OutputFile.h"
#include "ParameterText.h"
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

// Below this an output counts as silent: -120 dBFS.
constexpr double kSilentDbfs = -120.0;

void checkChannels(const InputFile& file, const std::string& input) {
    if (file.channels() > 2)
        throw failure(input + " has " + std::to_string(file.channels()) +
                      " channels; varnel-vst processes mono and stereo files only");
}

// The count is in the summary; the warning is the same for every file it concerns.
void warnAboutNonFinite(const SignalStats& stats, const std::string& input, const std::string& what) {
    if (stats.nonFiniteSamples() > 0)
        printFileNotice(NoticeKind::warning, input, what + " holds samples that are NaN or infinite");
}

bool isAudible(const float* interleaved, std::size_t samples) {
    return std::any_of(interleaved, interleaved + samples, [](float sample) { return sample != 0.0f; });
}

// Whether a block came out exactly as it went in: a plug-in that skips blocks it
// cannot handle leaves them so.
bool passedUnchanged(const float* input, int channels, const float* output, std::size_t frames) {
    const auto count = static_cast<std::size_t>(channels);
    for (std::size_t frame = 0; frame < frames; ++frame) {
        if (output[2 * frame] != input[frame * count] ||
            output[2 * frame + 1] != input[frame * count + count - 1])
            return false;
    }
    return true;
}

bool isPowerOfTwo(std::uint32_t value) {
    return value != 0 && (value & (value - 1)) == 0;
}

// What the render counted of its blocks, for the notes after it.
struct BlockCounts {
    std::uint64_t all = 0;
    std::uint64_t full = 0;      // of input, not padded
    std::uint64_t audible = 0;   // full ones whose input is not silent
    std::uint64_t unchanged = 0; // audible ones that came out as they went in
};

// One file through the chain, as a short list of steps: prepare the chain and
// say what it reports, render the blocks, check them, save the presets, commit
// the output, and note what the sound suggests went wrong.
class FileRenderRun {
public:
    FileRenderRun(NodeChain& chain, const ProcessCommand& command, const std::string& input,
                  const std::string& output)
        : chain(chain), command(command), input(input), output(output), file(input) {}

    RenderSummary run(bool showProgress) {
        checkChannels(file, input);
        outputChannels = command.channels.value_or(file.channels());
        outputRate = command.sampleRate.value_or(file.sampleRate());
        const int outputFormat = chooseOutputFormat(file.format(), outputMajorFormat(output, command.format),
                                                    outputCodec(output, command.format), command.subtype,
                                                    outputRate, outputChannels);
        const OutputTarget target = inspectOutput(output, input, command.force);
        prepareChain(chain, command, file.sampleRate());
        describeChain();
        OutputFile written(target, outputFormat, outputRate, outputChannels);
        const int integerBits = integerBitsOf(outputFormat);
        const bool dithered = command.dither && integerBits > 0 && integerBits < 24;
        OutputConversion converted(outputChannels, file.sampleRate(), outputRate, integerBits, dithered,
                                   [&](const float* samples, std::size_t frames) {
                                       summary.output.add(samples,
                                                          frames * static_cast<std::size_t>(outputChannels));
                                       written.write(samples, frames);
                                   });
        renderBlocks(converted, written, showProgress);
        checkLatencyKept(written);
        savePresets();
        written.commit();
        noteWhatTheSoundSuggests(outputFormat);
        summary.outputPath = output;
        summary.outputFormat = describeFormat(outputFormat) + ", " +
                               (outputChannels == 1 ? "mono" : "stereo") + ", " + std::to_string(outputRate) +
                               " Hz" + (outputRate != file.sampleRate() ? " (resampled)" : "") +
                               (dithered ? ", TPDF dither" : "");
        return summary;
    }

private:
    // The plug-ins as the summary lists them, with what they report once set up;
    // a bypassed plug-in delays nothing and leaves no tail.
    void describeChain() {
        summary.bypassed = command.bypass;
        summary.sampleRate = file.sampleRate();
        summary.latencyCompensated = command.compensateLatency;
        for (ChainNode& stage : chain) {
            VSTProcessorNode& node = *stage.node;
            const std::uint32_t latency = command.bypass ? 0 : node.getPluginLatencySamples();
            const std::uint32_t tail = command.bypass ? 0 : node.getPluginTailSamples();
            reportedLatencies.push_back(latency);
            failuresBefore.push_back(node.getAudioThreadFailureCount());
            summary.latencySamples += latency;
            summary.tailSamples = addTail(summary.tailSamples, tail);
            summary.stages.push_back(
                StageSummary{stage.plugin.argument, stage.plugin.path,
                             varnel::extensions::vst::describeChannelLayout(node.getPluginChannelLayout()),
                             latency, tail, node.getPluginClassInfo().name, settingsOf(stage)});
        }
        // No plug-in delays by more than a tail may last: beyond it a report is
        // nonsense, not hours of audio to render and drop.
        const std::uint64_t cap = RenderTimeline::tailCapFrames(file.sampleRate());
        summary.latencyCapped = summary.latencySamples > cap;
        if (summary.latencyCapped && command.compensateLatency)
            printFileNotice(NoticeKind::warning, input,
                            "the plug-ins report a latency of " + std::to_string(summary.latencySamples) +
                                " samples; only " + std::to_string(cap) +
                                " (30 s) are taken off the output's start");
    }

    // Read after the block that carried the settings: a plug-in may have moved a
    // value on its own (a program setting others).
    static std::vector<std::string> settingsOf(ChainNode& stage) {
        std::vector<std::string> settings;
        if (!stage.options->preset.empty())
            settings.push_back("preset " + stage.options->preset);
        NodeParameters parameters(*stage.node);
        for (const varnel::extensions::vst::VSTParameter& parameter : stage.parametersSet)
            settings.push_back(parameter.name + " = " + shownValue(parameters, parameter));
        return settings;
    }

    void renderBlocks(OutputConversion& converted, const OutputFile& written, bool showProgress) {
        const TailChoice tail = command.bypass ? TailChoice{TailChoice::Kind::off} : command.tail;
        const std::uint64_t latency =
            std::min<std::uint64_t>(summary.latencySamples, RenderTimeline::tailCapFrames(file.sampleRate()));
        RenderTimeline timeline(command.compensateLatency ? latency : 0,
                                tailFrames(tail, summary.tailSamples, file.sampleRate()),
                                tail.kind == TailChoice::Kind::automatic, file.sampleRate());
        std::vector<VSTProcessorNode*> nodes;
        for (ChainNode& stage : chain)
            nodes.push_back(stage.node.get());
        StereoRenderer renderer(nodes, command.blockFrames);
        // Plug-ins get the block size they were told, always: some process only
        // whole blocks of it.
        const auto inputChannels = static_cast<std::size_t>(file.channels());
        std::vector<float> inputBlock(static_cast<std::size_t>(command.blockFrames) * inputChannels);
        std::vector<float> outputBlock(static_cast<std::size_t>(command.blockFrames) * 2);
        ProgressBar progress(showProgress ? file.frames() : 0);
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
            std::fill(inputBlock.begin() + static_cast<std::ptrdiff_t>(frames * inputChannels),
                      inputBlock.end(), 0.0f);
            renderer.render(inputBlock.data(), file.channels(), command.blockFrames, outputBlock.data());
            ++blocks.all;
            if (frames == command.blockFrames) {
                ++blocks.full;
                if (isAudible(inputBlock.data(), frames * inputChannels)) {
                    ++blocks.audible;
                    if (passedUnchanged(inputBlock.data(), file.channels(), outputBlock.data(), frames))
                        ++blocks.unchanged;
                }
            }
            timeline.add(outputBlock.data(), command.blockFrames,
                         [&](const float* kept, std::size_t count) { converted.add(kept, count); });
            // No tail for a file that will not be written.
            if (inputWasLeft && !inputLeft)
                stopOnFailures(written);
        }
        converted.finish();
        progress.finish();
        summary.tailFrames = static_cast<std::int64_t>(timeline.tailWritten());
        summary.processingTime = renderer.processingTime();
        stopOnFailures(written);
    }

    // A failed block leaves whatever the plug-in made of it in the output: the
    // file is not what was asked for, so none is written.
    void stopOnFailures(const OutputFile& written) const {
        for (std::size_t i = 0; i < chain.size(); ++i) {
            const std::uint64_t failed = chain[i].node->getAudioThreadFailureCount() - failuresBefore[i];
            if (failed > 0)
                throw failure(chain[i].plugin.argument + " reported a processing failure in " +
                              std::to_string(failed) + " of " + std::to_string(blocks.all) + " blocks of " +
                              input +
                              (written.streamStarted() ? "; what reached " + output + " is incomplete"
                                                       : "; " + output + " was not written"));
        }
    }

    // A plug-in whose latency changed in the middle (it chose another look-ahead
    // while it played) was compensated by the one it had at the start: the output
    // would not line up with the input, so it is not written.
    void checkLatencyKept(const OutputFile& written) const {
        if (command.bypass || !command.compensateLatency)
            return;
        for (std::size_t i = 0; i < chain.size(); ++i) {
            const std::uint32_t now = chain[i].node->getPluginLatencySamples();
            if (now != reportedLatencies[i])
                throw failure("the latency of " + chain[i].plugin.argument +
                              " changed during the render of " + input + " from " +
                              std::to_string(reportedLatencies[i]) + " to " + std::to_string(now) +
                              " samples: the output would not line up with the input" +
                              (written.streamStarted() ? "; what reached " + output + " is out of line"
                                                       : "; " + output + " was not written"));
        }
    }

    // After the render: plug-ins may take values into their state only with a
    // block of audio, and the preset should hold what the file was rendered with.
    // Before the commit, so that a preset that could not be written leaves no output.
    void savePresets() {
        for (ChainNode& stage : chain) {
            const std::string& preset = stage.options->savePreset;
            if (!preset.empty() && !stage.node->savePluginPreset(preset))
                throw failure("could not save the preset " + preset);
        }
    }

    std::string chainName() const {
        return chain.size() > 1 ? std::string("the chain") : chain.front().plugin.argument;
    }

    // A plug-in that did nothing, or made silence of sound, is not a silent
    // success; but a note is for what is likely wrong, and names the likely cause.
    void noteWhatTheSoundSuggests(int outputFormat) const {
        warnAboutNonFinite(summary.input, input, "the input");
        warnAboutNonFinite(summary.output, input, "the output");
        if (summary.output.peakDbfs() > 0.0 && clipsAboveFullScale(outputFormat))
            printFileNotice(
                NoticeKind::warning, input,
                "the output peaks above full scale and is clipped; --bits 32 (float samples) would keep it");
        if (command.bypass)
            return;
        if (summary.output.peakDbfs() < kSilentDbfs && summary.input.peakDbfs() >= kSilentDbfs)
            printFileNotice(NoticeKind::note, input, silenceCause());
        // Installed plug-ins pass blocks through dry when they dislike their size:
        // some want powers of two, some only the 1024 frames they configured
        // themselves for before any set-up. A compressor leaves quiet passages
        // as they are: only a file left wholly unchanged is worth a word.
        if (blocks.audible > 0 && blocks.unchanged == blocks.audible) {
            std::string why = "; some plug-ins process only power-of-two block sizes (try --block 1024 or "
                              "--fixed-block 1024)";
            if (command.blockFrames == 1024)
                why = "; it may leave the sound as it is at these settings";
            else if (isPowerOfTwo(command.blockFrames))
                why = "; it may leave the sound as it is at these settings, or process only some block sizes "
                      "(try --block 1024 or --fixed-block 1024)";
            printFileNotice(NoticeKind::note, input,
                            chainName() + " passed every block of the input through unchanged" + why);
        }
    }

    // The tail left out may hold all the sound there is (an echo after the
    // input's end); else the rate is a likely cause.
    std::string silenceCause() const {
        const std::string silent = "the output of " + chainName() + " is silent though the input is not; ";
        if (command.tail.kind == TailChoice::Kind::off)
            return silent + "its sound may come after the input's end, which --tail off leaves out";
        return silent +
               "plug-ins that support only some sample rates fall silent at others (the input is at " +
               std::to_string(file.sampleRate()) + " Hz)";
    }

    NodeChain& chain;
    const ProcessCommand& command;
    const std::string& input;
    const std::string& output;
    InputFile file;
    RenderSummary summary;
    std::vector<std::uint32_t> reportedLatencies;
    std::vector<std::uint64_t> failuresBefore;
    BlockCounts blocks;
    int outputChannels = 2;
    int outputRate = 0;
};

} // namespace

RenderSummary renderFile(NodeChain& chain, const ProcessCommand& command, const std::string& input,
                         const std::string& output, bool showProgress) {
    return FileRenderRun(chain, command, input, output).run(showProgress);
}

} // namespace varnelvst::tool
