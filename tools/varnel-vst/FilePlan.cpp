#include "FilePlan.h"

#include "AudioFile.h"
#include "FileIdentity.h"
#include "ToolError.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>

#include <sys/stat.h>
#include <unistd.h>

namespace varnelvst::tool {

namespace fs = std::filesystem;

namespace {

// A path the command reads or writes, with what it is to the command, in words.
struct NamedPath {
    std::string path;
    std::string role;
};

std::vector<FileJob> batchJobs(const ProcessCommand& command) {
    std::vector<FileJob> jobs;
    std::map<std::string, std::string> inputOf;
    for (const std::string& input : command.inputs) {
        fs::path name = fs::path(input).filename();
        if (command.format)
            name.replace_extension("." + extensionOf(*outputMajorFormat("", command.format)));
        const std::string output = (fs::path(command.outputFolder) / name).string();
        if (const auto [entry, fresh] = inputOf.emplace(output, input); !fresh)
            throw usageError(entry->second + " and " + input + " would both be written to " + output);
        jobs.push_back({input, output});
    }
    return jobs;
}

// A file may be read twice, never written where it is read or written already.
void checkApart(const std::vector<NamedPath>& written, const std::vector<NamedPath>& read) {
    struct Use {
        const NamedPath* named;
        bool writes;
    };
    std::map<FileIdentity, Use> uses;
    for (const NamedPath& source : read)
        uses.emplace(FileIdentity(source.path), Use{&source, false});
    for (const NamedPath& target : written) {
        const auto [entry, fresh] = uses.emplace(FileIdentity(target.path), Use{&target, true});
        if (!fresh)
            throw failure("cannot write " + target.path + " (" + target.role + "): it is " +
                          (entry->second.writes ? "also " : "") + entry->second.named->role + " " +
                          entry->second.named->path);
    }
}

// A preset is written when the render is done: a path it cannot be written to
// is refused before the render, not after it. Beside itself, as outputs are.
void checkCreatable(const NamedPath& target) {
    const auto refuse = [&](const std::string& reason) {
        return failure("cannot write " + target.path + " (" + target.role + "): " + reason);
    };
    std::error_code error;
    if (fs::is_directory(target.path, error))
        throw refuse("it is a folder");
    const fs::path file = fileToCreate(target.path);
    const fs::path folder = file.has_parent_path() ? file.parent_path() : fs::path(".");
    struct stat status {};
    if (::stat(folder.c_str(), &status) != 0)
        throw refuse(std::strerror(errno));
    if (!S_ISDIR(status.st_mode))
        throw refuse(folder.string() + " is no folder");
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        throw refuse(std::strerror(errno));
}

} // namespace

std::vector<FileJob> planFiles(const ProcessCommand& command) {
    const bool batch = !command.outputFolder.empty();
    const std::vector<FileJob> jobs =
        batch ? batchJobs(command) : std::vector<FileJob>{{command.input, command.output}};
    std::vector<NamedPath> written, read;
    for (const FileJob& job : jobs) {
        read.push_back({job.input, "the input file"});
        written.push_back({job.output, batch ? "the output of " + job.input : "the output"});
    }
    for (std::size_t index = 0; index < command.stages.size(); ++index) {
        const ChainStage& stage = command.stages[index];
        if (!stage.preset.empty())
            read.push_back({stage.preset, "the --preset of " + stageName(command, index)});
        if (!stage.savePreset.empty())
            written.push_back({stage.savePreset, "the --save-preset of " + stageName(command, index)});
    }
    checkApart(written, read);
    for (const NamedPath& path : written) {
        if (path.role.rfind("the --save-preset", 0) == 0)
            checkCreatable(path);
    }
    return jobs;
}

void checkEditFiles(const EditCommand& command) {
    if (command.savePreset.empty())
        return;
    std::vector<NamedPath> read;
    if (!command.input.empty())
        read.push_back({command.input, "the --input file"});
    if (!command.preset.empty())
        read.push_back({command.preset, "the --preset"});
    checkApart({{command.savePreset, "the --save-preset"}}, read);
    checkCreatable({command.savePreset, "the --save-preset"});
}

void checkPlayFiles(const PlayCommand& command) {
    std::vector<NamedPath> written, read;
    if (!command.input.empty())
        read.push_back({command.input, "the file played"});
    for (std::size_t index = 0; index < command.chain.stages.size(); ++index) {
        const ChainStage& stage = command.chain.stages[index];
        if (!stage.preset.empty())
            read.push_back({stage.preset, "the --preset of " + stageName(command.chain, index)});
        if (!stage.savePreset.empty())
            written.push_back({stage.savePreset, "the --save-preset of " + stageName(command.chain, index)});
    }
    checkApart(written, read);
}

std::vector<FileJob> shardOf(const std::vector<FileJob>& jobs, const Shard& shard) {
    // Byte order, not the order a shell's glob and locale gave them.
    std::vector<FileJob> sorted = jobs;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const FileJob& one, const FileJob& other) { return one.input < other.input; });
    std::vector<FileJob> selected;
    for (std::size_t index = shard.index - 1; index < sorted.size(); index += shard.count)
        selected.push_back(sorted[index]);
    return selected;
}

} // namespace varnelvst::tool
