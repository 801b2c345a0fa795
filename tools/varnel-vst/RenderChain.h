#pragma once

#include "CommandLine.h"
#include "PluginFolders.h"

#include <VSTProcessorNode.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace varnelvst::tool {

// One plug-in of the chain `process` runs a file through, in a node of its own.
struct ChainNode {
    PluginLocation plugin;
    const ChainStage* options; // its settings and presets, in the command
    std::unique_ptr<varnel::extensions::vst::VSTProcessorNode> node;
    std::string name; // in messages: the plug-in, or its place in a chain (stageName)
    // The parameters its settings set, once prepared (prepareChain).
    std::vector<varnel::extensions::vst::VSTParameter> parametersSet;
};
using NodeChain = std::vector<ChainNode>;

// Every plug-in of the command's chain, looked up in order. Throws a ToolError
// for the first one that is not there, before anything is loaded.
std::vector<PluginLocation> locateChain(const ProcessCommand& command);

// A node per plug-in, loaded one after another. Throws as createProcessorNode.
NodeChain createChain(const ProcessCommand& command, const std::vector<PluginLocation>& plugins);

// Prepares every node for one file: set up for its rate, the block size and
// `mode` (offline rendering, or real time for a sound server), its preset and settings applied and carried to
// the plug-in by a block without frames, so that the latency it reports afterwards is the one in force for
// the render, and switched on unless the command bypasses. Throws a ToolError naming the plug-in that
// refused; in a chain a setting's error names the stage.
void prepareChain(
    NodeChain& chain, const ProcessCommand& command, int sampleRate,
    varnel::extensions::vst::VSTProcessingMode mode = varnel::extensions::vst::VSTProcessingMode::Offline);

// A chain's tail: it ends when the last plug-in's does, after every earlier
// tail has passed through it, so the tails add up. Endless if one is.
std::uint32_t addTail(std::uint32_t sum, std::uint32_t tail);

// The frames to render after the input's end for `choice`, given the chain's
// reported tail; empty for "until silent". A reported length is held to the
// cap of an open-ended one.
std::optional<std::uint64_t> tailFrames(const TailChoice& choice, std::uint32_t reportedTail, int sampleRate);

} // namespace varnelvst::tool
