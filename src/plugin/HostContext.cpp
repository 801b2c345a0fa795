#include "plugin/HostContext.h"

#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/ivstmessage.h"
#include "public.sdk/source/vst/utility/stringconvert.h"

namespace varnel::extensions::vst {

using namespace Steinberg;
using namespace Steinberg::Vst;

IHostApplication* HostContext::processWide() {
    static IHostApplication* const context = new HostContext;
    return context;
}

tresult PLUGIN_API HostContext::getName(String128 name) {
    return VST3::StringConvert::convert("Varnel", name, 128) ? kResultOk : kResultFalse;
}

tresult PLUGIN_API HostContext::isPlugInterfaceSupported(const TUID iid) {
    // A plug-in that hears yes relies on the interface being used or served: only
    // what this host really does is listed.
    const FUID* const supported[] = {
        &IComponent::iid,       &IAudioProcessor::iid,  &IEditController::iid,
        &IConnectionPoint::iid, &IHostApplication::iid, &IComponentHandler::iid,
        &IMessage::iid,         &IAttributeList::iid,   &IPlugInterfaceSupport::iid,
    };
    const FUID asked = FUID::fromTUID(iid);
    for (const FUID* id : supported) {
        if (*id == asked)
            return kResultTrue;
    }
    return kResultFalse;
}

tresult PLUGIN_API HostContext::queryInterface(const TUID iid, void** object) {
    if (FUnknownPrivate::iidEqual(iid, FUnknown::iid) ||
        FUnknownPrivate::iidEqual(iid, IHostApplication::iid)) {
        *object = static_cast<IHostApplication*>(this);
    } else if (FUnknownPrivate::iidEqual(iid, IPlugInterfaceSupport::iid)) {
        *object = static_cast<IPlugInterfaceSupport*>(this);
    } else {
        *object = nullptr;
        return kNoInterface;
    }
    addRef();
    return kResultOk;
}

uint32 PLUGIN_API HostContext::addRef() {
    return references.fetch_add(1, std::memory_order_relaxed) + 1;
}

uint32 PLUGIN_API HostContext::release() {
    const uint32 remaining = references.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (remaining == 0)
        delete this;
    return remaining;
}

} // namespace varnel::extensions::vst
