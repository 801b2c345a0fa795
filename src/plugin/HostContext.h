#pragma once

#include "public.sdk/source/vst/hosting/hostclasses.h"

#include "pluginterfaces/vst/ivstpluginterfacesupport.h"

#include <atomic>

namespace varnel::extensions::vst {

/// The host application object that plug-ins receive as their context.
///
/// The SDK's HostApplication never counts references (addRef and release answer 1),
/// so an owner that releases it leaks it, and a plug-in that keeps it beyond the
/// host's lifetime would dangle. This one counts: it lives until its last holder,
/// host or plug-in, lets go.
///
/// It also answers IPlugInterfaceSupport, which the SDK's class only appears to
/// (it compares the wrong id), and answers it truthfully: yes for the plug-in
/// interfaces this host calls (IComponent, IAudioProcessor, IEditController,
/// IConnectionPoint, which it connects through proxies) and for the host interfaces it
/// hands out (IHostApplication, IComponentHandler, IMessage, IAttributeList,
/// IPlugInterfaceSupport); no for everything else, editors' IPlugFrame and
/// IRunLoop, unit and MIDI mapping interfaces among them.
class HostContext final : public Steinberg::Vst::HostApplication,
                          public Steinberg::Vst::IPlugInterfaceSupport {
public:
    /// The context for objects shared across modules, such as a library's factory,
    /// which may keep it as long as the process runs. Never destroyed.
    static Steinberg::Vst::IHostApplication* processWide();

    Steinberg::tresult PLUGIN_API getName(Steinberg::Vst::String128 name) override;
    Steinberg::tresult PLUGIN_API isPlugInterfaceSupported(const Steinberg::TUID iid) override;
    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** object) override;
    Steinberg::uint32 PLUGIN_API addRef() override;
    Steinberg::uint32 PLUGIN_API release() override;

private:
    std::atomic<Steinberg::uint32> references{1};
};

} // namespace varnel::extensions::vst
