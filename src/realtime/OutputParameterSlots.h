#pragma once

#include "pluginterfaces/vst/ivstparameterchanges.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <memory>
#include <vector>

namespace varnel::extensions::vst {

/// Carries what the plug-in's processor reports after each block (its meters, and
/// changes it made to its own parameters) from the audio thread to the plug-in
/// thread: the last value per listed id, and whether it changed since it was taken.
///
/// The table of ids is made on the plug-in thread while no block can run; the audio
/// side only finds ids in it and stores atomics.
class OutputParameterSlots {
public:
    using ParamID = Steinberg::Vst::ParamID;

    /// Plug-in thread, while no block runs; allocates. The ids the plug-in lists.
    void reserve(std::vector<ParamID> listedIds);

    /// Audio thread; never allocates, locks or waits. Keeps the last point of every
    /// queue in `changes` whose id is listed; others are dropped.
    void store(Steinberg::Vst::IParameterChanges& changes) noexcept;
    /// Audio thread; never allocates, locks or waits. Keeps `value` as the last
    /// value of `id`, when it is listed.
    void storeValue(ParamID id, double value) noexcept;
    /// Any thread, once reserved. Whether `id` is listed.
    bool lists(ParamID id) const noexcept { return std::binary_search(ids.begin(), ids.end(), id); }

    /// Plug-in thread. Calls `take(id, value)` for each id stored since the last call.
    template <typename Take>
    void collect(Take&& take) {
        if (!anyChanged.exchange(false, std::memory_order_acq_rel))
            return;
        for (std::size_t index = 0; index < ids.size(); ++index) {
            if (slots[index].changed.exchange(false, std::memory_order_acq_rel))
                take(ids[index], slots[index].value.load(std::memory_order_relaxed));
        }
    }

private:
    struct Slot {
        std::atomic<double> value{0.0};
        std::atomic<bool> changed{false};
    };

    std::vector<ParamID> ids; // sorted
    std::unique_ptr<Slot[]> slots;
    /// Audio thread only: the slot the first stored queue of the last block went to.
    std::size_t firstGuess = 0;
    std::atomic<bool> anyChanged{false};
};

} // namespace varnel::extensions::vst
