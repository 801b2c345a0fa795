#pragma once

#include "realtime/ParameterSlots.h"

#include "pluginterfaces/vst/ivsteditcontroller.h"

#include <atomic>
#include <cstdint>
#include <utility>
#include <vector>

namespace varnel::extensions::vst {

/// What an edit controller calls back: edits the plug-in makes itself (its own
/// editor, a preset of its own, a parameter it sets from its audio callback) and
/// its requests to be restarted.
///
/// An edit goes to the audio side through the same parameter slots as a host's
/// value, so the next block carries it; the controller already holds it. The slots
/// also note it, so that the plug-in thread can tell the application. A restart
/// request is only noted here, on whatever thread the plug-in calls from (also the
/// audio thread, also inside a call the module makes): acting on it means
/// deactivating the plug-in, which only the plug-in thread may do, between blocks.
/// Every callback is taken without a lock or an allocation, whatever the thread.
///
/// Reference-counted: the plug-in may hold it longer than the module; once
/// detached, edits are refused.
class ComponentHandler final : public Steinberg::Vst::IComponentHandler {
public:
    explicit ComponentHandler(ParameterSlots& slots);

    /// Control thread. From now on edits are refused; the slots may go.
    void detach();
    /// Any thread; never blocks. The RestartFlags requested since the last call.
    Steinberg::int32 takeRestartRequests();
    /// Plug-in thread. The edits accepted since the last call: (id, last value).
    std::vector<std::pair<Steinberg::Vst::ParamID, double>> takeEdits();
    /// Plug-in thread. How many edits of ids the plug-in does not list were
    /// ignored since the last call, and the last such id.
    std::uint64_t takeIgnoredEdits(Steinberg::Vst::ParamID& lastId);

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
    std::atomic<Steinberg::int32> pendingRestart{0};
    std::atomic<std::uint64_t> ignoredEdits{0};
    std::atomic<Steinberg::Vst::ParamID> lastIgnoredId{0};
    std::atomic<Steinberg::uint32> references{1};
};

} // namespace varnel::extensions::vst
