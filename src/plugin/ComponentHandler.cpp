#include "plugin/ComponentHandler.h"

#include <utility>

namespace varnel::extensions::vst {

using namespace Steinberg;
using namespace Steinberg::Vst;

ComponentHandler::ComponentHandler(ParameterSlots& slots) : target(&slots) {}

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
    ParameterSlots* slots = target.load(std::memory_order_acquire);
    if (slots == nullptr || !(valueNormalized >= 0.0 && valueNormalized <= 1.0))
        return kResultFalse;
    switch (slots->publishEdit(id, valueNormalized)) {
    case ParameterSlots::Edit::accepted:
        return kResultOk;
    case ParameterSlots::Edit::readOnly:
        return kResultFalse;
    case ParameterSlots::Edit::unlisted:
        // Kept would mean a slot per id, forever, and every block looking at it.
        lastIgnoredId.store(id, std::memory_order_relaxed);
        ignoredEdits.fetch_add(1, std::memory_order_release);
        return kResultFalse;
    }
    return kResultFalse;
}

std::vector<std::pair<ParamID, double>> ComponentHandler::takeEdits() {
    std::vector<std::pair<ParamID, double>> edits;
    if (ParameterSlots* slots = target.load(std::memory_order_acquire))
        slots->collectEdits([&edits](ParamID id, double value) { edits.emplace_back(id, value); });
    return edits;
}

std::uint64_t ComponentHandler::takeIgnoredEdits(ParamID& lastId) {
    const std::uint64_t count = ignoredEdits.exchange(0, std::memory_order_acquire);
    lastId = lastIgnoredId.load(std::memory_order_relaxed);
    return count;
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
