#pragma once

#include "CommandLine.h"

#include <string>
#include <vector>

namespace varnelvst::tool {

// One sound file of `process` and where its result goes.
struct FileJob {
    std::string input;
    std::string output;
};

// Every file the command renders, in order: its one input and output, or for a
// batch every input with its output in the folder (under its own name, with
// --format's extension when given), the whole list before any shard is taken.
// Then checks, before anything is written, that no path the command writes (the
// outputs and every --save-preset) is a file it reads (the inputs and every
// --preset) or another one it writes. Throws a usage ToolError for two inputs
// whose outputs share a name, and a ToolError naming both paths for any other
// clash; so every shard of a batch refuses what the whole batch would.
std::vector<FileJob> planFiles(const ProcessCommand& command);

// The same check for `edit`: its --save-preset is neither its --input nor its
// --preset. Throws a ToolError naming both paths.
void checkEditFiles(const EditCommand& command);

// The same check for `play`: no --save-preset of the chain is its file, a
// --preset or another --save-preset.
void checkPlayFiles(const PlayCommand& command);

// The shard's part of a batch: every N-th job, starting with the K-th, of the
// jobs sorted by their input paths byte by byte, so that machines whose shells
// sort a file list differently take the same parts.
std::vector<FileJob> shardOf(const std::vector<FileJob>& jobs, const Shard& shard);

} // namespace varnelvst::tool
