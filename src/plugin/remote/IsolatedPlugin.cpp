#include "plugin/remote/IsolatedPlugin.h"

#if defined(__linux__)
#include "plugin/remote/RemotePlugin.h"
#endif

namespace varnel::extensions::vst {

std::unique_ptr<HostedPlugin> makeIsolatedPlugin(PluginLink& link, ParameterSlots& edits,
                                                 const VSTIsolation& limits, std::string& reason) {
#if defined(__linux__)
    (void)reason;
    return std::make_unique<RemotePlugin>(link, edits, limits);
#else
    (void)link;
    (void)edits;
    (void)limits;
    reason = "Plug-ins in a process of their own are not available on this system yet.";
    return nullptr;
#endif
}

} // namespace varnel::extensions::vst
