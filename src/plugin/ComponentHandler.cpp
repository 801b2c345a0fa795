#include "plugin/ComponentHandler.h"

#include <algorithm>
#include <utility>

namespace varnel::extensions::vst {

using namespace Steinberg;
using namespace Steinberg::Vst;

ComponentHandler::ComponentHandler(ParameterSlots& slots) : target(&slots) {}

void ComponentHandler::setReadOnlyIds(std::vector<ParamID> sortedIds) {
    std::lock_guard lock(readOnlyMutex);
    readOnlyIds = std::move(sortedIds);
}

void ComponentHandler::detach() {
    target.store(nullptr);
}

int32 ComponentHandler::takeRestartRequests() {
    return pendingRestart.exchange(0);
}

tresult PLUGIN_API ComponentHandler::beginEdit(ParamID) {
    return kResultOk;
}

tresult PLUGIN_API ComponentHandler::performEdit(ParamID id, ParamValue valueNormalized) {
    ParameterSlots* slots = target.load();
    if (slots == nullptr || !(valueNormalized >= 0.0 && valueNormalized <= 1.0))
        return kResultFalse;
    {
        std::lock_guard lock(readOnlyMutex);
        if (std::binary_search(readOnlyIds.begin(), readOnlyIds.end(), id))
            return kResultFalse;
    }
    if (!slots->publish(id, valueNormalized))
        return kResultFalse;
    std::lock_guard lock(editsMutex);
    edits.emplace_back(id, valueNormalized);
    return kResultOk;
}

std::vector<std::pair<ParamID, double>> ComponentHandler::takeEdits() {
    std::lock_guard lock(editsMutex);
    return std::exchange(edits, {});
}

tresult PLUGIN_API ComponentHandler::endEdit(ParamID) {
    return kResultOk;
}

tresult PLUGIN_API ComponentHandler::restartComponent(int32 flags) {
    pendingRestart.fetch_or(flags);
    return kResultOk;
}

tresult PLUGIN_API ComponentHandler::queryInterface(const TUID iid, void** object) {
    if (FUnknownPrivate::iidEqual(iid, IComponentHandler::iid) ||
        FUnknownPrivate::iidEqual(iid, FUnknown::iid)) {
        addRef();
        *object = static_cast<IComponentHandler*>(this);
        return kResultOk;
    }
    *object = nullptr;
    return kNoInterface;
}

uint32 PLUGIN_API ComponentHandler::addRef() {
    return references.fetch_add(1, std::memory_order_relaxed) + 1;
}

uint32 PLUGIN_API ComponentHandler::release() {
    const uint32 remaining = references.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (remaining == 0)
        delete this;
    return remaining;
}

} // namespace varnel::extensions::vst
