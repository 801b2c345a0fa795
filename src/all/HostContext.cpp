#include "HostContext.h"

#include "public.sdk/source/vst/utility/stringconvert.h"

namespace varnel::extensions::vst {

HostContext* HostContext::processWide() {
    static HostContext* const context = new HostContext;
    return context;
}

Steinberg::tresult PLUGIN_API HostContext::getName(Steinberg::Vst::String128 name) {
    return VST3::StringConvert::convert("Varnel", name, 128) ? Steinberg::kResultOk : Steinberg::kResultFalse;
}

Steinberg::uint32 PLUGIN_API HostContext::addRef() {
    return references.fetch_add(1, std::memory_order_relaxed) + 1;
}

Steinberg::uint32 PLUGIN_API HostContext::release() {
    const Steinberg::uint32 remaining = references.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (remaining == 0)
        delete this;
    return remaining;
}

} // namespace varnel::extensions::vst
