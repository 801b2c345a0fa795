#include "realtime/OutputParameterSlots.h"

#include <algorithm>

namespace varnel::extensions::vst {

using namespace Steinberg;
using namespace Steinberg::Vst;

void OutputParameterSlots::reserve(std::vector<ParamID> listedIds) {
    std::sort(listedIds.begin(), listedIds.end());
    listedIds.erase(std::unique(listedIds.begin(), listedIds.end()), listedIds.end());
    ids = std::move(listedIds);
    slots = std::make_unique<Slot[]>(ids.size());
    firstGuess = 0;
    anyChanged.store(false);
}

void OutputParameterSlots::store(IParameterChanges& changes) noexcept {
    // Audio thread: no allocation, lock or wait.
    const int32 queues = changes.getParameterCount();
    if (queues <= 0)
        return;
    bool stored = false;
    // Plug-ins report much the same ids in the same order every block: each queue
    // is first looked for in the slot after the last one found.
    std::size_t guess = firstGuess;
    for (int32 queueIndex = 0; queueIndex < queues; ++queueIndex) {
        IParamValueQueue* queue = changes.getParameterData(queueIndex);
        if (queue == nullptr)
            continue;
        const int32 points = queue->getPointCount();
        int32 offset = 0;
        ParamValue value = 0.0;
        if (points <= 0 || queue->getPoint(points - 1, offset, value) != kResultOk)
            continue;
        const ParamID id = queue->getParameterId();
        std::size_t index = guess;
        if (index >= ids.size() || ids[index] != id) {
            const auto found = std::lower_bound(ids.begin(), ids.end(), id);
            if (found == ids.end() || *found != id)
                continue;
            index = static_cast<std::size_t>(found - ids.begin());
        }
        if (!stored)
            firstGuess = index;
        guess = index + 1;
        Slot& slot = slots[index];
        slot.value.store(value, std::memory_order_relaxed);
        slot.changed.store(true, std::memory_order_release);
        stored = true;
    }
    if (stored)
        anyChanged.store(true, std::memory_order_release);
}

void OutputParameterSlots::store(ParamID id, double value) noexcept {
    // Audio thread: no allocation, lock or wait.
    const auto found = std::lower_bound(ids.begin(), ids.end(), id);
    if (found == ids.end() || *found != id)
        return;
    Slot& slot = slots[static_cast<std::size_t>(found - ids.begin())];
    slot.value.store(value, std::memory_order_relaxed);
    slot.changed.store(true, std::memory_order_release);
    anyChanged.store(true, std::memory_order_release);
}

} // namespace varnel::extensions::vst
