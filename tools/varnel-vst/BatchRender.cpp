#include "BatchRender.h"

#include "AudioFile.h"
#include "FileRender.h"
#include "RenderChain.h"
#include "ToolError.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <map>
#include <mutex>
#include <thread>

namespace varnelvst::tool {

namespace fs = std::filesystem;

namespace {

std::string speedOf(const RenderSummary& summary) {
    char text[64];
    std::snprintf(text, sizeof text, "%.3f s, %.1fx realtime", inputSeconds(summary),
                  realtimeFactor(summary));
    return text;
}

} // namespace

int runBatch(const ProcessCommand& command, const std::vector<PluginLocation>& plugins,
             const std::vector<FileJob>& jobs) {
    std::error_code error;
    fs::create_directories(command.outputFolder, error);
    if (error)
        throw failure("cannot create " + command.outputFolder + ": " + error.message());
    if (jobs.empty()) {
        std::cout << "no files in shard " << command.shard.index << "/" << command.shard.count << '\n';
        return kExitOk;
    }

    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const std::size_t workers = std::min<std::size_t>(command.jobs != 0 ? command.jobs : cores, jobs.size());
    // Loaded one after another before any work starts: a plug-in that does not
    // load ends the batch at once, with the library's reason.
    std::vector<NodeChain> chains;
    for (std::size_t worker = 0; worker < workers; ++worker)
        chains.push_back(createChain(command, plugins));

    std::atomic<std::size_t> next{0};
    std::atomic<std::size_t> failed{0};
    std::mutex reporting;
    const auto work = [&](NodeChain& chain) {
        for (std::size_t index = next++; index < jobs.size(); index = next++) {
            const FileJob& job = jobs[index];
            try {
                const RenderSummary summary = renderFile(chain, command, job.input, job.output, false);
                const std::lock_guard lock(reporting);
                std::cout << "wrote   " << job.output << " from " << job.input << " (" << speedOf(summary)
                          << ")" << std::endl;
            } catch (const std::exception& problem) {
                ++failed;
                const std::lock_guard lock(reporting);
                std::cout << "failed  " << job.input << std::endl;
                printError(problem.what());
            }
        }
    };
    std::vector<std::thread> threads;
    for (std::size_t worker = 1; worker < workers; ++worker)
        threads.emplace_back(work, std::ref(chains[worker]));
    work(chains[0]);
    for (std::thread& thread : threads)
        thread.join();

    const std::size_t failures = failed.load();
    std::cout << jobs.size() << (jobs.size() == 1 ? " file: " : " files: ") << jobs.size() - failures
              << " written, " << failures << " failed\n";
    return failures == 0 ? kExitOk : kExitFailure;
}

} // namespace varnelvst::tool
