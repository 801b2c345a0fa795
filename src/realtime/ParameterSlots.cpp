#include "realtime/ParameterSlots.h"

namespace varnel::extensions::vst {

ParameterSlots::ParameterSlots() = default;

ParameterSlots::~ParameterSlots() {
    for (std::atomic<Slot*>& segment : segments)
        delete[] segment.load();
}

ParameterSlots::Slot* ParameterSlots::addSlot(ParamID id) {
    const std::size_t index = usedSlots.load(std::memory_order_relaxed);
    std::size_t segment = 0;
    std::size_t size = kFirstSegment;
    std::size_t offset = index;
    while (offset >= size) {
        offset -= size;
        size <<= 1;
        if (++segment == kSegments)
            return nullptr;
    }
    if (segments[segment].load(std::memory_order_relaxed) == nullptr)
        segments[segment].store(new Slot[size], std::memory_order_release);
    Slot& slot = slotAt(index);
    slot.id = id;
    indexById.emplace(id, index);
    // The id is written before the slot becomes visible to the audio thread.
    usedSlots.store(index + 1, std::memory_order_release);
    return &slot;
}

void ParameterSlots::reserve(const std::vector<ParamID>& listedIds) {
    std::lock_guard lock(controlMutex);
    for (ParamID id : listedIds)
        if (indexById.find(id) == indexById.end())
            addSlot(id);
}

bool ParameterSlots::publish(ParamID id, double value) {
    std::lock_guard lock(controlMutex);
    Slot* slot = nullptr;
    if (const auto found = indexById.find(id); found != indexById.end())
        slot = &slotAt(found->second);
    else
        slot = addSlot(id);
    if (slot == nullptr)
        return false;
    slot->value.store(value, std::memory_order_relaxed);
    slot->changed.store(true, std::memory_order_release);
    // Raised after the slot's flag: the audio side's exchange that reads this
    // raise also sees the slot.
    anyChanged.store(true, std::memory_order_release);
    return true;
}

} // namespace varnel::extensions::vst
