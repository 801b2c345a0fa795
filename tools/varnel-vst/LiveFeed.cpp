#include "LiveFeed.h"

#include "AudioFile.h"
#include "StereoRenderer.h"
#include "ToolError.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <vector>

namespace varnelvst::tool {

LiveFeed::LiveFeed(std::string inputPath) : input(std::move(inputPath)) {
    if (input.empty())
        return;
    const InputFile file(input);
    if (file.channels() > 2)
        throw failure(input + " has " + std::to_string(file.channels()) +
                      " channels; varnel-vst plays mono and stereo files only");
    rate = file.sampleRate();
    channels = file.channels();
}

LiveFeed::~LiveFeed() {
    stop();
}

void LiveFeed::start(varnel::extensions::vst::VSTProcessorNode& node) {
    running = true;
    thread = std::thread([this, &node] { run(node); });
}

void LiveFeed::stop() {
    running = false;
    if (thread.joinable())
        thread.join();
}

void LiveFeed::run(varnel::extensions::vst::VSTProcessorNode& node) {
    StereoRenderer renderer({&node}, kBlockFrames);
    std::vector<float> block(kBlockFrames * static_cast<std::size_t>(channels), 0.0f);
    std::vector<float> output(kBlockFrames * 2);
    std::unique_ptr<InputFile> file;
    const auto blockTime = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(static_cast<double>(kBlockFrames) / rate));
    auto due = std::chrono::steady_clock::now();
    while (running) {
        std::size_t filled = 0;
        // The file starts again where it ends; a file that gives nothing stays silent.
        for (int attempt = 0; !input.empty() && filled < kBlockFrames && attempt < 2; ++attempt) {
            try {
                if (!file)
                    file = std::make_unique<InputFile>(input);
            } catch (const ToolError& error) {
                // Gone or changed while playing: the editor stays, with silence.
                printWarning(std::string(error.what()) + "; playing silence from now on");
                input.clear();
                break;
            }
            const std::size_t got =
                file->read(block.data() + filled * static_cast<std::size_t>(channels), kBlockFrames - filled);
            filled += got;
            if (filled < kBlockFrames)
                file.reset();
        }
        std::fill(block.begin() + static_cast<std::ptrdiff_t>(filled * static_cast<std::size_t>(channels)),
                  block.end(), 0.0f);
        renderer.render(block.data(), channels, kBlockFrames, output.data());
        due += blockTime;
        std::this_thread::sleep_until(due);
    }
}

} // namespace varnelvst::tool
