#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace varnel::extensions::vst {

/// Hands parameter values to the audio thread, each once, in the order they were
/// given: the caller's values from control threads, and the edits the plug-in
/// makes itself from whatever thread it likes (its audio callback included).
///
/// One slot per parameter id holds the latest value, a "changed" flag and the
/// place of that value in the order of publication, so no value is ever refused
/// for lack of room between two blocks: the last one per id wins, and a block
/// carries the changed ids in the order their values were given (a program
/// chosen after a value wins, a value set after a program wins). Slots are made
/// once, before audio runs, for the listed ids and a fixed number of spare ones
/// for ids nobody listed: nothing grows later, so nothing per block grows either.
/// The plug-in's edits of listed, writable ids and the caller's values of listed
/// ids need no lock; only a caller's value for an unlisted id takes one, on a
/// control thread, to claim a spare slot.
class ParameterSlots {
public:
    using ParamID = std::uint32_t;
    /// Slots for ids the plug-in does not list, set by the caller (or listed later).
    static constexpr std::size_t kSpareSlots = 1024;
    /// What became of a plug-in's edit.
    enum class Edit { accepted, readOnly, unlisted };

    ParameterSlots() = default;
    ParameterSlots(const ParameterSlots&) = delete;
    ParameterSlots& operator=(const ParameterSlots&) = delete;

    /// Plug-in thread, once, before audio can run; allocates. The ids the plug-in
    /// lists, and those of them that are read-only (both sorted).
    void reserve(const std::vector<ParamID>& listedIds, const std::vector<ParamID>& readOnlyIds);
    /// Plug-in thread; never allocates. The plug-in lists these ids now (a new
    /// title table): ids new to it take spare slots, while there are any.
    void relist(const std::vector<ParamID>& listedIds, const std::vector<ParamID>& readOnlyIds);

    /// Control thread; never waits for the audio thread. The caller's value; false
    /// before reserve or when an unlisted id finds no spare slot.
    bool publish(ParamID id, double value);
    /// Any thread, the audio thread too; never allocates, locks or waits. An edit
    /// the plug-in made itself; accepted only for a listed, writable id.
    Edit publishEdit(ParamID id, double value) noexcept;
    /// Plug-in thread. Calls `take(id, value)` for each id the plug-in edited since
    /// the last call, with its last edit.
    template <typename Take>
    void collectEdits(Take&& take) {
        if (!anyEdited.exchange(false, std::memory_order_acq_rel))
            return;
        for (std::size_t index = 0; index < used(); ++index) {
            Slot& slot = slots[index];
            if (slot.edited.exchange(false, std::memory_order_acq_rel))
                take(slot.id.load(std::memory_order_relaxed), slot.editValue.load(std::memory_order_relaxed));
        }
    }

    /// Audio thread; never allocates, locks or waits. Calls `apply(id, value)` for
    /// each slot changed since the last call, oldest value first, until `apply`
    /// answers false (no room in this block): that slot and the later ones stay
    /// changed for the next call. A block without changes costs one load.
    template <typename Apply>
    void collect(Apply&& apply) noexcept {
        if (!anyChanged.load(std::memory_order_relaxed))
            return;
        // The exchange reads the latest raise: every slot flagged before it is seen
        // now, and one flagged after it raises the flag again for the next block.
        if (!anyChanged.exchange(false, std::memory_order_acq_rel))
            return;
        visitInOrder(apply, true);
    }
    /// Audio thread; never allocates, locks or waits. As collect, but the slots stay
    /// changed: for a block without audio, which some plug-ins (the zam plug-ins
    /// among them) take no values from, so the next block with audio carries them too.
    template <typename Apply>
    void peek(Apply&& apply) noexcept {
        if (anyChanged.load(std::memory_order_acquire))
            visitInOrder(apply, false);
    }

    /// Any thread. Whether a value was published since the last collect.
    bool hasChanges() const noexcept { return anyChanged.load(std::memory_order_acquire); }

private:
    struct Slot {
        std::atomic<ParamID> id{0};
        std::atomic<double> value{0.0};
        std::atomic<std::uint64_t> sequence{0};
        std::atomic<bool> changed{false};
        std::atomic<bool> listed{false};
        std::atomic<bool> readOnly{false};
        std::atomic<double> editValue{0.0};
        std::atomic<bool> edited{false};
    };
    struct Pending {
        std::uint64_t sequence;
        std::size_t index;
        bool operator<(const Pending& other) const noexcept { return sequence < other.sequence; }
    };

    std::size_t used() const noexcept { return reservedCount + spareUsed.load(std::memory_order_acquire); }
    /// Any thread; never locks. The slot of `id`, or null.
    Slot* find(ParamID id) const noexcept;
    void store(Slot& slot, double value) noexcept;

    template <typename Apply>
    void visitInOrder(Apply& apply, bool consume) noexcept {
        std::size_t count = 0;
        for (std::size_t index = 0; index < used(); ++index) {
            Slot& slot = slots[index];
            const bool changed = consume ? slot.changed.exchange(false, std::memory_order_acq_rel)
                                         : slot.changed.load(std::memory_order_acquire);
            if (changed)
                order[count++] = Pending{slot.sequence.load(std::memory_order_relaxed), index};
        }
        // In place, without allocating: a few ids per block as a rule.
        std::sort(order.get(), order.get() + count);
        for (std::size_t next = 0; next < count; ++next) {
            Slot& slot = slots[order[next].index];
            if (apply(slot.id.load(std::memory_order_relaxed), slot.value.load(std::memory_order_relaxed)))
                continue;
            if (consume) {
                for (std::size_t rest = next; rest < count; ++rest)
                    slots[order[rest].index].changed.store(true, std::memory_order_release);
                anyChanged.store(true, std::memory_order_release);
            }
            return;
        }
    }

    /// Made by reserve: the listed ids' slots first, sorted by id, then the spares.
    std::unique_ptr<Slot[]> slots;
    std::unique_ptr<Pending[]> order;
    std::size_t reservedCount = 0;
    std::atomic<std::size_t> spareUsed{0};
    std::atomic<bool> ready{false};
    std::atomic<std::uint64_t> nextSequence{1};
    std::atomic<bool> anyChanged{false};
    std::atomic<bool> anyEdited{false};
    /// Control threads claiming spare slots take turns.
    std::mutex spareMutex;
};

} // namespace varnel::extensions::vst
