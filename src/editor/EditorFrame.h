#pragma once

#include "thread/PluginThread.h"

#include "pluginterfaces/gui/iplugview.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <utility>
#include <vector>

namespace varnel::extensions::vst {

/// What a plug-in's open editor sees of its host: the IPlugFrame it asks to be
/// resized through and, on Linux, the IRunLoop whose timers and file descriptors
/// the plug-in thread serves (X11 editors repaint and read their input there).
///
/// Reference-counted: the plug-in may keep it after the editor closed; once
/// detached it refuses everything, and what the plug-in left registered has
/// been unregistered, so that no plug-in code runs after its view is gone.
class EditorFrame final : public Steinberg::IPlugFrame
#if SMTG_OS_LINUX
    ,
                          public Steinberg::Linux::IRunLoop
#endif
{
public:
    /// Plug-in thread, inside IPlugFrame::resizeView of the open view: calls the
    /// view's onSize and answers the plug-in.
    using ResizeHandler = std::function<Steinberg::tresult(Steinberg::ViewRect& newSize)>;

    EditorFrame(Steinberg::IPlugView* view, ResizeHandler onResize);

    /// Plug-in thread. Unregisters what the plug-in left in the run loop; later
    /// calls are refused. The view is not called again.
    void detach();

    // IPlugFrame; the plug-in thread (a request from another thread is carried
    // there and answered at once).
    Steinberg::tresult PLUGIN_API resizeView(Steinberg::IPlugView* view,
                                             Steinberg::ViewRect* newSize) override;

#if SMTG_OS_LINUX
    // IRunLoop; handlers run on the plug-in thread.
    Steinberg::tresult PLUGIN_API registerEventHandler(Steinberg::Linux::IEventHandler* handler,
                                                       Steinberg::Linux::FileDescriptor fd) override;
    Steinberg::tresult PLUGIN_API unregisterEventHandler(Steinberg::Linux::IEventHandler* handler) override;
    Steinberg::tresult PLUGIN_API registerTimer(Steinberg::Linux::ITimerHandler* handler,
                                                Steinberg::Linux::TimerInterval milliseconds) override;
    Steinberg::tresult PLUGIN_API unregisterTimer(Steinberg::Linux::ITimerHandler* handler) override;
#endif

    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** object) override;
    Steinberg::uint32 PLUGIN_API addRef() override;
    Steinberg::uint32 PLUGIN_API release() override;

private:
    /// What the plug-in registered, by handler (the run loop's ids to remove).
    struct Registration {
        Steinberg::FUnknown* handler;
        std::uint64_t id;
        bool isTimer;
    };
    std::vector<Registration> takeRegistrations(Steinberg::FUnknown* handler, bool isTimer);

    Steinberg::IPlugView* const view; // identifies resize requests; never called here
    ResizeHandler onResize;           // plug-in thread only
    std::mutex mutex;                 // guards what follows; never held while calling out
    bool detached = false;
    std::vector<Registration> registrations;
    std::atomic<Steinberg::uint32> references{1};
};

} // namespace varnel::extensions::vst
