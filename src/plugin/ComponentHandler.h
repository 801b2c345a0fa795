#pragma once

#include "realtime/ParameterSlots.h"

#include "pluginterfaces/vst/ivsteditcontroller.h"

#include <atomic>
#include <mutex>
#include <utility>
#include <vector>

namespace varnel::extensions::vst {

/// What an edit controller calls back: edits the plug-in makes itself (its own
/// editor, a preset of its own) and its requests to be restarted.
///
/// An edit goes to the audio side through the same parameter slots as a host's
/// value, so the next block carries it; the controller already holds it. The edit
/// is also noted, so that the plug-in thread can tell the application. A restart
/// request is only noted here, on whatever thread the plug-in calls from (also the
/// audio thread, also inside a call the module makes): acting on it means
/// deactivating the plug-in, which only the plug-in thread may do, between blocks.
/// It takes the requests with takeRestartRequests and the edits with takeEdits.
///
/// VST 3 has edits come from the controller's (UI) thread: handing one over may
/// wait briefly for another control thread handing over a value.
///
/// Reference-counted: the plug-in may hold it longer than the module; once
/// detached, edits are refused.
class ComponentHandler final : public Steinberg::Vst::IComponentHandler {
public:
    explicit ComponentHandler(ParameterSlots& slots);

    /// Control thread. Ids whose edits are refused: the plug-in's read-only
    /// parameters are its outputs and never go into a block's input changes.
    void setReadOnlyIds(std::vector<Steinberg::Vst::ParamID> sortedIds);
    /// Control thread. From now on edits are refused; the slots may go.
    void detach();
    /// Any thread; never blocks. The RestartFlags requested since the last call.
    Steinberg::int32 takeRestartRequests();
    /// Any thread but the audio thread. The edits accepted since the last call, in
    /// order: (id, value).
    std::vector<std::pair<Steinberg::Vst::ParamID, double>> takeEdits();

    // IComponentHandler; any thread the plug-in chooses.
    Steinberg::tresult PLUGIN_API beginEdit(Steinberg::Vst::ParamID id) override;
    Steinberg::tresult PLUGIN_API performEdit(Steinberg::Vst::ParamID id,
                                              Steinberg::Vst::ParamValue valueNormalized) override;
    Steinberg::tresult PLUGIN_API endEdit(Steinberg::Vst::ParamID id) override;
    Steinberg::tresult PLUGIN_API restartComponent(Steinberg::int32 flags) override;

    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** object) override;
    Steinberg::uint32 PLUGIN_API addRef() override;
    Steinberg::uint32 PLUGIN_API release() override;

private:
    std::atomic<ParameterSlots*> target;
    /// Never held while calling the plug-in.
    std::mutex readOnlyMutex;
    std::vector<Steinberg::Vst::ParamID> readOnlyIds;
    std::atomic<Steinberg::int32> pendingRestart{0};
    std::mutex editsMutex;
    std::vector<std::pair<Steinberg::Vst::ParamID, double>> edits;
    std::atomic<Steinberg::uint32> references{1};
};

} // namespace varnel::extensions::vst
