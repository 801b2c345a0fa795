#include "realtime/ParameterSlots.h"

namespace varnel::extensions::vst {

void ParameterSlots::reserve(const std::vector<ParamID>& listedIds, const std::vector<ParamID>& readOnlyIds) {
    if (ready.load(std::memory_order_acquire))
        return;
    std::vector<ParamID> sorted = listedIds;
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    reservedCount = sorted.size();
    slots = std::make_unique<Slot[]>(reservedCount + kSpareSlots);
    order = std::make_unique<Pending[]>(reservedCount + kSpareSlots);
    for (std::size_t index = 0; index < reservedCount; ++index) {
        slots[index].id.store(sorted[index], std::memory_order_relaxed);
        slots[index].listed.store(true, std::memory_order_relaxed);
        slots[index].readOnly.store(std::binary_search(readOnlyIds.begin(), readOnlyIds.end(), sorted[index]),
                                    std::memory_order_relaxed);
    }
    ready.store(true, std::memory_order_release);
}

void ParameterSlots::relist(const std::vector<ParamID>& listedIds, const std::vector<ParamID>& readOnlyIds) {
    if (!ready.load(std::memory_order_acquire))
        return;
    std::lock_guard lock(spareMutex);
    for (std::size_t index = 0; index < used(); ++index) {
        Slot& slot = slots[index];
        const ParamID id = slot.id.load(std::memory_order_relaxed);
        slot.listed.store(std::find(listedIds.begin(), listedIds.end(), id) != listedIds.end(),
                          std::memory_order_relaxed);
        slot.readOnly.store(std::binary_search(readOnlyIds.begin(), readOnlyIds.end(), id),
                            std::memory_order_relaxed);
    }
    for (ParamID id : listedIds) {
        if (find(id) != nullptr || spareUsed.load(std::memory_order_relaxed) == kSpareSlots)
            continue;
        Slot& slot = slots[used()];
        slot.id.store(id, std::memory_order_relaxed);
        slot.listed.store(true, std::memory_order_relaxed);
        slot.readOnly.store(std::binary_search(readOnlyIds.begin(), readOnlyIds.end(), id),
                            std::memory_order_relaxed);
        spareUsed.fetch_add(1, std::memory_order_release);
    }
}

ParameterSlots::Slot* ParameterSlots::find(ParamID id) const noexcept {
    if (!ready.load(std::memory_order_acquire))
        return nullptr;
    Slot* const listedEnd = slots.get() + reservedCount;
    Slot* const found = std::lower_bound(slots.get(), listedEnd, id, [](const Slot& slot, ParamID wanted) {
        return slot.id.load(std::memory_order_relaxed) < wanted;
    });
    if (found != listedEnd && found->id.load(std::memory_order_relaxed) == id)
        return found;
    const std::size_t end = used();
    for (std::size_t index = reservedCount; index < end; ++index) {
        if (slots[index].id.load(std::memory_order_relaxed) == id)
            return &slots[index];
    }
    return nullptr;
}

void ParameterSlots::store(Slot& slot, double value) noexcept {
    slot.value.store(value, std::memory_order_relaxed);
    slot.sequence.store(nextSequence.fetch_add(1, std::memory_order_relaxed), std::memory_order_relaxed);
    slot.changed.store(true, std::memory_order_release);
    // Raised after the slot's flag: the audio side's exchange that reads this
    // raise also sees the slot.
    anyChanged.store(true, std::memory_order_release);
}

bool ParameterSlots::publish(ParamID id, double value) {
    Slot* slot = find(id);
    if (slot == nullptr && ready.load(std::memory_order_acquire)) {
        std::lock_guard lock(spareMutex);
        slot = find(id);
        if (slot == nullptr && spareUsed.load(std::memory_order_relaxed) < kSpareSlots) {
            slot = &slots[used()];
            slot->id.store(id, std::memory_order_relaxed);
            // Written before the slot becomes visible to the other threads.
            spareUsed.fetch_add(1, std::memory_order_release);
        }
    }
    if (slot == nullptr)
        return false;
    store(*slot, value);
    return true;
}

ParameterSlots::Edit ParameterSlots::publishEdit(ParamID id, double value) noexcept {
    Slot* slot = find(id);
    if (slot == nullptr || !slot->listed.load(std::memory_order_relaxed))
        return Edit::unlisted;
    if (slot->readOnly.load(std::memory_order_relaxed))
        return Edit::readOnly;
    store(*slot, value);
    slot->editValue.store(value, std::memory_order_relaxed);
    slot->edited.store(true, std::memory_order_release);
    anyEdited.store(true, std::memory_order_release);
    return Edit::accepted;
}

} // namespace varnel::extensions::vst
