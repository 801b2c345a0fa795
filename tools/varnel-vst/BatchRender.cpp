#include "BatchRender.h"

#include "BatchNotices.h"
#include "BatchWorker.h"
#include "Progress.h"
#include "SignalName.h"
#include "StandardOutput.h"
#include "ToolError.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <ostream>
#include <thread>

#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace varnelvst::tool {

namespace fs = std::filesystem;

namespace {

struct Worker {
    pid_t pid = -1;
    std::unique_ptr<WorkerChannel> channel;
    bool ready = false;
    std::optional<std::size_t> job; // the index of the job in hand
    std::string temporaryFile;      // the job's, as the worker announced it
};

// How a worker that did not say goodbye ended.
std::string describeEnd(int status) {
    if (WIFSIGNALED(status))
        return "crashed (" + signalName(WTERMSIG(status)) + ")";
    return "ended with exit status " + std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1);
}

// The batch's side: hands out jobs, reports results, replaces workers that a
// plug-in brought down. Runs in one thread and loads no plug-in, so that forking
// a worker copies nothing but the command.
class Batch {
public:
    Batch(const ProcessCommand& command, const std::vector<PluginLocation>& plugins,
          const std::vector<FileJob>& jobs, std::size_t workerCount)
        : command(command), plugins(plugins), jobs(jobs), wanted(workerCount) {}

    int run();

private:
    void startWorker();
    void handOut(Worker& worker);
    void handle(Worker& worker, const std::string& message);
    void ended(Worker& worker);
    void fail(const FileJob& job);
    void stopAll();

    const ProcessCommand& command;
    const std::vector<PluginLocation>& plugins;
    const std::vector<FileJob>& jobs;
    const std::size_t wanted;
    std::vector<Worker> workers; // ended ones are removed
    std::size_t next = 0;        // the next job to hand out
    std::size_t written = 0;
    std::size_t failures = 0;
    bool loaded = false; // some worker loaded the chain
    std::string loadFailure;
    int loadFailureCode = kExitFailure;
    BatchNotices notices;
    ProgressBar progress{static_cast<std::int64_t>(jobs.size()), "files"};
};

void Batch::startWorker() {
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
        throw failure(std::string("cannot start a batch worker: ") + std::strerror(errno));
    toolOutput().flush(); // or the worker would write it again
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(ends[0]);
        ::close(ends[1]);
        throw failure(std::string("cannot start a batch worker: ") + std::strerror(errno));
    }
    if (pid == 0) {
        // The other workers' channels are the batch's alone: a worker holding one
        // would keep that worker from seeing the batch close it.
        for (const Worker& other : workers)
            ::close(other.channel->descriptor());
        ::close(ends[0]);
        // A batch that dies takes its workers along, and they their temporary files.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        int status = kExitFailure;
        if (::getppid() == parent) {
            try {
                WorkerChannel channel(ends[1]);
                status = runBatchWorker(command, plugins, jobs, channel);
            } catch (...) {
            }
        }
        // No exit handlers: they belong to the batch, and its buffers were flushed.
        // What the plug-ins printed and stdio still holds goes to standard error.
        std::fflush(stdout);
        ::_exit(status);
    }
    ::close(ends[1]);
    workers.push_back(Worker{pid, std::make_unique<WorkerChannel>(ends[0]), false, std::nullopt, {}});
}

void Batch::handOut(Worker& worker) {
    if (next >= jobs.size()) {
        // No more work: the worker sees the end of its channel and leaves.
        ::shutdown(worker.channel->descriptor(), SHUT_WR);
        return;
    }
    worker.job = next++;
    worker.channel->send(std::to_string(*worker.job));
}

void Batch::fail(const FileJob& job) {
    ++failures;
    progress.finish();
    toolOutput() << "failed  " << job.input << std::endl;
    progress.update(static_cast<std::int64_t>(written + failures));
}

void Batch::handle(Worker& worker, const std::string& message) {
    const auto [kind, rest] = splitMessage(message);
    if (kind == workerMessage::kReady) {
        worker.ready = loaded = true;
        handOut(worker);
    } else if (kind == workerMessage::kUnloadable) {
        if (loadFailure.empty()) {
            const auto [code, reason] = splitMessage(rest);
            loadFailure = reason;
            loadFailureCode = code == std::to_string(kExitUsage) ? kExitUsage : kExitFailure;
        }
    } else if (kind == workerMessage::kNotice) {
        notices.addMessage(rest);
    } else if (kind == workerMessage::kTemporary) {
        worker.temporaryFile = rest;
    } else if ((kind == workerMessage::kWrote || kind == workerMessage::kFailed) && worker.job) {
        const FileJob& job = jobs[*worker.job];
        if (kind == workerMessage::kWrote) {
            const std::string speed = splitMessage(rest).second;
            ++written;
            progress.finish();
            toolOutput() << "wrote   " << job.output << " from " << job.input << " (" << speed << ")"
                         << std::endl;
            progress.update(static_cast<std::int64_t>(written + failures));
        } else {
            fail(job);
        }
        worker.job.reset();
        worker.temporaryFile.clear();
        handOut(worker);
    }
}

void Batch::ended(Worker& worker) {
    int status = 0;
    while (::waitpid(worker.pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!worker.ready && loadFailure.empty())
        loadFailure =
            "could not load the plug-ins: their worker " + describeEnd(status) + " while loading them";
    if (!worker.job)
        return;
    const FileJob& job = jobs[*worker.job];
    if (!worker.temporaryFile.empty())
        ::unlink(worker.temporaryFile.c_str());
    fail(job);
    progress.finish();
    printError("the plug-in" + std::string(command.stages.size() > 1 ? "s' worker " : "'s worker ") +
               describeEnd(status) + " while rendering " + job.input + "; " + job.output +
               " was not written");
}

void Batch::stopAll() {
    for (Worker& worker : workers) {
        ::shutdown(worker.channel->descriptor(), SHUT_RDWR);
        ::kill(worker.pid, SIGTERM);
        while (::waitpid(worker.pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    workers.clear();
}

int Batch::run() {
    progress.update(0);
    // One worker first: a plug-in that does not load is then reported once.
    startWorker();
    while (true) {
        // More workers once one has loaded the chain, and new ones for those a
        // plug-in brought down, while jobs wait.
        while (loaded && workers.size() < wanted && next < jobs.size())
            startWorker();
        if (workers.empty())
            break;
        std::vector<pollfd> waiting;
        for (const Worker& worker : workers)
            waiting.push_back({worker.channel->descriptor(), POLLIN, 0});
        if (::poll(waiting.data(), waiting.size(), -1) < 0) {
            if (errno == EINTR)
                continue;
            stopAll();
            throw failure(std::string("batch: ") + std::strerror(errno));
        }
        for (std::size_t i = waiting.size(); i-- > 0;) {
            if (waiting[i].revents == 0)
                continue;
            Worker& worker = workers[i];
            const bool open = worker.channel->readArrived();
            while (const std::optional<std::string> message = worker.channel->nextMessage())
                handle(worker, *message);
            if (!open) {
                ended(worker);
                workers.erase(workers.begin() + static_cast<std::ptrdiff_t>(i));
            }
        }
        if (!loadFailure.empty()) {
            progress.finish();
            stopAll();
            notices.print();
            throw ToolError(loadFailureCode, loadFailure);
        }
    }
    progress.finish();
    notices.print();
    toolOutput() << jobs.size() << (jobs.size() == 1 ? " file: " : " files: ") << written << " written, "
                 << failures << " failed\n";
    return failures == 0 ? kExitOk : kExitFailure;
}

} // namespace

int runBatch(const ProcessCommand& command, const std::vector<PluginLocation>& plugins,
             const std::vector<FileJob>& jobs) {
    std::error_code error;
    fs::create_directories(command.outputFolder, error);
    if (error)
        throw failure("cannot create " + command.outputFolder + ": " + error.message());
    if (jobs.empty()) {
        toolOutput() << "no files in shard " << command.shard.index << "/" << command.shard.count << '\n';
        return kExitOk;
    }
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const std::size_t workers = std::min<std::size_t>(command.jobs != 0 ? command.jobs : cores, jobs.size());
    return Batch(command, plugins, jobs, workers).run();
}

} // namespace varnelvst::tool
