#include "ParameterSlots.h"

namespace varnel::extensions::vst {

void ParameterSlots::reserve(const std::vector<ParamID>& listedIds, std::size_t spareSlots) {
    std::lock_guard lock(controlMutex);
    slotCount = listedIds.size() + spareSlots;
    slots = std::make_unique<Slot[]>(slotCount);
    indexById.clear();
    std::size_t used = 0;
    for (ParamID id : listedIds) {
        if (indexById.emplace(id, used).second)
            slots[used++].id = id;
    }
    usedSlots.store(used, std::memory_order_release);
}

bool ParameterSlots::publish(ParamID id, double value) {
    std::lock_guard lock(controlMutex);
    std::size_t index;
    if (auto found = indexById.find(id); found != indexById.end()) {
        index = found->second;
    } else {
        index = usedSlots.load(std::memory_order_relaxed);
        if (index >= slotCount)
            return false;
        slots[index].id = id;
        indexById.emplace(id, index);
        // The id is written before the slot becomes visible to the audio thread.
        usedSlots.store(index + 1, std::memory_order_release);
    }
    Slot& slot = slots[index];
    slot.published = true;
    slot.value.store(value, std::memory_order_relaxed);
    slot.changed.store(true, std::memory_order_release);
    // Raised after the slot's flag: the audio side's exchange that reads this
    // raise also sees the slot.
    anyChanged.store(true, std::memory_order_release);
    return true;
}

std::vector<ParameterSlots::ParamID> ParameterSlots::publishedIds() {
    std::lock_guard lock(controlMutex);
    std::vector<ParamID> ids;
    const std::size_t used = usedSlots.load(std::memory_order_relaxed);
    for (std::size_t i = 0; i < used; ++i) {
        if (slots[i].published)
            ids.push_back(slots[i].id);
    }
    return ids;
}

} // namespace varnel::extensions::vst
