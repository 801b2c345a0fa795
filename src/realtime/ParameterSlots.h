#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace varnel::extensions::vst {

/// Hands parameter values from control threads to the audio thread, each once.
///
/// One slot per parameter id holds the latest value and a "changed" flag, so no
/// value is ever refused for lack of room between two blocks: the last one per id
/// wins. Slots for the listed ids are made before audio runs; an id the plug-in
/// adds later gets a slot when first published, in segments that only grow and
/// stay where they are, so the audio side never sees storage move. Control threads
/// serialise among themselves with a mutex; the audio side only reads atomics.
class ParameterSlots {
public:
    using ParamID = std::uint32_t;

    ParameterSlots();
    ~ParameterSlots();
    ParameterSlots(const ParameterSlots&) = delete;
    ParameterSlots& operator=(const ParameterSlots&) = delete;

    /// Control thread, before audio can run; allocates.
    void reserve(const std::vector<ParamID>& listedIds);

    /// Control thread; allocates only for an id never seen; never waits for the
    /// audio thread. False only when every segment is full (over 60 million ids).
    bool publish(ParamID id, double value);

    /// Audio thread; never allocates, locks or waits. Calls `apply(id, value)` for
    /// each slot changed since the last call, until `apply` answers false (no room
    /// in this block): that slot and the rest stay changed for the next call. A
    /// block without changes costs one load.
    template <typename Apply>
    void collect(Apply&& apply) noexcept {
        if (!anyChanged.load(std::memory_order_relaxed))
            return;
        // The exchange reads the latest raise: every slot flagged before it is seen
        // now, and one flagged after it raises the flag again for the next block.
        if (!anyChanged.exchange(false, std::memory_order_acq_rel))
            return;
        const std::size_t used = usedSlots.load(std::memory_order_acquire);
        for (std::size_t index = 0; index < used; ++index) {
            Slot& slot = slotAt(index);
            if (!slot.changed.exchange(false, std::memory_order_acq_rel))
                continue;
            if (!apply(slot.id, slot.value.load(std::memory_order_relaxed))) {
                slot.changed.store(true, std::memory_order_release);
                anyChanged.store(true, std::memory_order_release);
                return;
            }
        }
    }

    /// Audio thread; never allocates, locks or waits. As collect, but the slots stay
    /// changed: for a block without audio, which some plug-ins (the zam plug-ins
    /// among them) take no values from, so the next block with audio carries them too.
    template <typename Apply>
    void peek(Apply&& apply) noexcept {
        if (!anyChanged.load(std::memory_order_acquire))
            return;
        const std::size_t used = usedSlots.load(std::memory_order_acquire);
        for (std::size_t index = 0; index < used; ++index) {
            Slot& slot = slotAt(index);
            if (slot.changed.load(std::memory_order_acquire) &&
                !apply(slot.id, slot.value.load(std::memory_order_relaxed)))
                return;
        }
    }

    /// Any thread. Whether a value was published since the last collect.
    bool hasChanges() const noexcept { return anyChanged.load(std::memory_order_acquire); }

private:
    struct Slot {
        ParamID id = 0;
        std::atomic<double> value{0.0};
        std::atomic<bool> changed{false};
    };

    /// Segment s holds kFirstSegment << s slots; 20 of them hold 67 million.
    static constexpr std::size_t kFirstSegment = 64;
    static constexpr std::size_t kSegments = 20;

    /// Any thread, for an index below usedSlots.
    Slot& slotAt(std::size_t index) const noexcept {
        std::size_t segment = 0;
        std::size_t size = kFirstSegment;
        while (index >= size) {
            index -= size;
            size <<= 1;
            ++segment;
        }
        return segments[segment].load(std::memory_order_acquire)[index];
    }
    /// Control thread, under controlMutex: a new slot for `id`, or null when full.
    Slot* addSlot(ParamID id);

    std::array<std::atomic<Slot*>, kSegments> segments{};
    std::atomic<std::size_t> usedSlots{0};
    std::atomic<bool> anyChanged{false};

    std::mutex controlMutex; // guards indexById and the making of slots
    std::unordered_map<ParamID, std::size_t> indexById;
};

} // namespace varnel::extensions::vst
