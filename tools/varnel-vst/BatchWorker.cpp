#include "BatchWorker.h"

#include "BatchNotices.h"

#include "FileRender.h"
#include "RenderChain.h"
#include "TemporaryFiles.h"
#include "ToolError.h"

#include <algorithm>
#include <cstdio>
#include <exception>

namespace varnelvst::tool {

namespace {

constexpr int kSettingsCheckRate = 48000;

std::string speedOf(const RenderSummary& summary) {
    char text[64];
    std::snprintf(text, sizeof text, "%.3f s, %.1fx realtime", inputSeconds(summary),
                  realtimeFactor(summary));
    return text;
}

// One job in a chain of its own: the state a fresh `process` run starts from.
void renderJob(const ProcessCommand& command, const std::vector<PluginLocation>& plugins, NodeChain& loaded,
               bool loadedIsFresh, const FileJob& job, std::size_t index, WorkerChannel& batch) {
    try {
        NodeChain fresh = loadedIsFresh ? NodeChain{} : createChain(command, plugins);
        const RenderSummary summary =
            renderFile(loadedIsFresh ? loaded : fresh, command, job.input, job.output, false);
        batch.send(std::string(workerMessage::kWrote) + " " + std::to_string(index) + " " + speedOf(summary));
    } catch (const std::exception& problem) {
        printError(problem.what());
        batch.send(std::string(workerMessage::kFailed) + " " + std::to_string(index));
    }
}

} // namespace

int runBatchWorker(const ProcessCommand& command, const std::vector<PluginLocation>& plugins,
                   const std::vector<FileJob>& jobs, WorkerChannel& batch) {
    observeTemporaryFiles([&batch](const std::string& path) {
        batch.send(std::string(workerMessage::kTemporary) + " " + path);
    });
    divertNotices([&batch](NoticeKind kind, const std::string& file, const std::string& text) {
        batch.send(std::string(workerMessage::kNotice) + " " + BatchNotices::messageFor(kind, file, text));
    });
    NodeChain loaded;
    bool loadedIsFresh = true;
    try {
        loaded = createChain(command, plugins);
        // A setting the plug-ins refuse would fail every file alike: the batch
        // stops once, before any file, instead. The rate does not change what a
        // setting means; the chain is no longer fresh for the first file then.
        if (std::any_of(command.stages.begin(), command.stages.end(), [](const ChainStage& stage) {
                return !stage.settings.empty() || !stage.preset.empty();
            })) {
            prepareChain(loaded, command, kSettingsCheckRate);
            loadedIsFresh = false;
        }
    } catch (const ToolError& problem) {
        batch.send(std::string(workerMessage::kUnloadable) + " " + std::to_string(problem.exitCode()) + " " +
                   problem.what());
        return problem.exitCode();
    } catch (const std::exception& problem) {
        batch.send(std::string(workerMessage::kUnloadable) + " " + std::to_string(kExitFailure) + " " +
                   problem.what());
        return kExitFailure;
    }
    batch.send(workerMessage::kReady);
    while (const std::optional<std::string> message = batch.receive()) {
        const std::size_t index = std::stoul(*message);
        if (index >= jobs.size())
            return kExitFailure;
        renderJob(command, plugins, loaded, loadedIsFresh, jobs[index], index, batch);
        loadedIsFresh = false;
    }
    return kExitOk;
}

} // namespace varnelvst::tool
