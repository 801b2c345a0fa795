#pragma once

#include "VSTPluginEvent.h"
#include "plugin/HostedPlugin.h"
#include "state/VSTPresetFile.h"
#include "thread/PluginThread.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace varnel::extensions::vst {

/// What a VSTModule keeps of its plug-in on the plug-in thread: the plug-in
/// itself, behind its seam, and the module's knowledge of it.
struct PluginThreadSide {
    std::unique_ptr<HostedPlugin> plugin;
    /// What the loaded plug-in was found to be; empty before a load and after a
    /// failed one.
    PluginFacts facts;
    /// Ids the plug-in lists as read-only, sorted: a host never sets them.
    std::vector<Steinberg::Vst::ParamID> readOnlyIds;
    /// The last value of each id the processor is known to have (set by the host,
    /// edited or reported by the plug-in): a restart for changed values sends only
    /// what differs.
    std::unordered_map<Steinberg::Vst::ParamID, double> knownValues;
    /// The plug-in's activation count when a new value (the caller's, or one of its
    /// own edits) last went to its processor: a latency request that follows one
    /// may be answered only by reactivating. None before the first value.
    std::uint64_t activationAtLastValue = ~std::uint64_t{0};
    /// Whether the plug-in's edits of ids it does not list were reported (once).
    bool ignoredEditsReported = false;
    /// What the plug-in did on its own since the listener last heard of it.
    std::vector<VSTPluginEvent> pendingEvents;
    /// Why the last refused control call was refused, and why the load failed;
    /// without the log prefix.
    std::string lastError;
    std::string loadError;
    /// Whether the plug-in's side-chain input is active (setSideChainActive).
    bool sideChainActive = false;
    /// One load per module: a second is refused, whatever became of the first.
    bool loadStarted = false;
    /// What the load asked for, for a reload.
    std::string loadPath;
    std::string loadClass;
    /// Whether the end of an isolated plug-in's process was reported (once).
    bool endingReported = false;

    /// What a reload restores (isolated plug-ins only): the last state the module
    /// holds (set by the caller or read from the plug-in), and the values the
    /// plug-in got after it, in order. Kept fresh from the catch-up once the
    /// values have reached the processor, at most every kSnapshotInterval.
    std::optional<PluginStateChunks> snapshot;
    std::vector<std::pair<Steinberg::Vst::ParamID, double>> valuesSinceSnapshot;
    /// The gate's block count when a value joined valuesSinceSnapshot: the state
    /// holds it once a whole block has run after the one that carried it.
    std::uint64_t snapshotStaleAtBlock = 0;
    std::chrono::steady_clock::time_point lastSnapshot{};
    /// False once the module is being destroyed: a listener that destroys it stops
    /// the delivery it was called from.
    std::shared_ptr<bool> alive = std::make_shared<bool>(true);
    /// The periodic catch-up while a plug-in is loaded.
    PluginThread::TimerId serviceTimer = 0;
};

} // namespace varnel::extensions::vst
