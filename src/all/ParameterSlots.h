#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace varnel::extensions::vst {

/// Hands parameter values from control threads to the audio thread.
///
/// One slot per parameter id holds the latest value and a "changed" flag, so no
/// value is ever refused for lack of room between two blocks: the last one per id
/// wins. Slots are made before audio runs, one for every listed id plus spares for
/// ids the plug-in did not list. Control threads serialise among themselves with a
/// mutex; the audio side only reads atomics.
class ParameterSlots {
public:
    using ParamID = std::uint32_t;

    /// Control thread, before audio can run; allocates.
    void reserve(const std::vector<ParamID>& listedIds, std::size_t spareSlots);

    /// Control thread; never waits for the audio thread. False when `id` has no slot
    /// and the spares are used up.
    bool publish(ParamID id, double value);

    /// Control thread; allocates. Every id published since `reserve`, in slot order:
    /// the ids whose last value every block repeats.
    std::vector<ParamID> publishedIds();

    /// Audio thread; never allocates, locks or waits. Calls `apply(id, value)` for
    /// each slot changed since the last call; a block without changes costs one load.
    template <typename Apply>
    void collect(Apply&& apply) noexcept {
        if (!anyChanged.load(std::memory_order_relaxed))
            return;
        // The exchange reads the latest raise: every slot flagged before it is seen
        // now, and one flagged after it raises the flag again for the next block.
        if (!anyChanged.exchange(false, std::memory_order_acq_rel))
            return;
        const std::size_t used = usedSlots.load(std::memory_order_acquire);
        for (std::size_t i = 0; i < used; ++i) {
            Slot& slot = slots[i];
            if (slot.changed.exchange(false, std::memory_order_acq_rel))
                apply(slot.id, slot.value.load(std::memory_order_relaxed));
        }
    }

    /// Any thread. Whether a value was published since the last collect.
    bool hasChanges() const noexcept { return anyChanged.load(std::memory_order_acquire); }

    /// Number of ids that can ever be published: listed ids plus spares.
    std::size_t capacity() const noexcept { return slotCount; }

private:
    struct Slot {
        ParamID id = 0;
        std::atomic<double> value{0.0};
        std::atomic<bool> changed{false};
        bool published = false; // control side only, under controlMutex
    };

    std::unique_ptr<Slot[]> slots;
    std::size_t slotCount = 0;
    std::atomic<std::size_t> usedSlots{0};
    std::atomic<bool> anyChanged{false};

    std::mutex controlMutex; // guards indexById, `published` and the assignment of spare slots
    std::unordered_map<ParamID, std::size_t> indexById;
};

} // namespace varnel::extensions::vst
