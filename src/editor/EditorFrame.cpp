#include "editor/EditorFrame.h"

#include "pluginterfaces/base/smartpointer.h"

#include <algorithm>

namespace varnel::extensions::vst {

using namespace Steinberg;

EditorFrame::EditorFrame(IPlugView* openView, ResizeHandler handler)
    : view(openView), onResize(std::move(handler)) {}

void EditorFrame::detach() {
    std::vector<Registration> left;
    {
        std::lock_guard lock(mutex);
        detached = true;
        left = std::exchange(registrations, {});
    }
    onResize = nullptr;
    for (const Registration& registration : left) {
        if (registration.isTimer)
            PluginThread::instance().removeTimer(registration.id);
        else
            PluginThread::instance().removeWatch(registration.id);
    }
}

tresult PLUGIN_API EditorFrame::resizeView(IPlugView* requester, ViewRect* newSize) {
    if (requester != view || newSize == nullptr || newSize->getWidth() <= 0 || newSize->getHeight() <= 0)
        return kInvalidArgument;
    if (!PluginThread::instance().isCurrent()) {
        // VST 3 wants view calls on the UI thread; a plug-in asking from another
        // one gets its onSize there, a moment later.
        IPtr<EditorFrame> self(this);
        const ViewRect size = *newSize;
        PluginThread::instance().post([self, size] {
            ViewRect copy = size;
            if (self->onResize)
                self->onResize(copy);
        });
        return kResultTrue;
    }
    if (!onResize)
        return kResultFalse;
    return onResize(*newSize);
}

std::vector<EditorFrame::Registration> EditorFrame::takeRegistrations(FUnknown* handler, bool isTimer) {
    std::lock_guard lock(mutex);
    std::vector<Registration> taken;
    const auto firstKept = std::stable_partition(
        registrations.begin(), registrations.end(), [&](const Registration& registration) {
            return !(registration.handler == handler && registration.isTimer == isTimer);
        });
    taken.assign(firstKept, registrations.end());
    registrations.erase(firstKept, registrations.end());
    return taken;
}

#if SMTG_OS_LINUX

tresult PLUGIN_API EditorFrame::registerEventHandler(Linux::IEventHandler* handler,
                                                     Linux::FileDescriptor fd) {
    if (handler == nullptr || fd < 0)
        return kInvalidArgument;
    std::lock_guard lock(mutex);
    if (detached)
        return kResultFalse;
    // The watch holds the handler, so that it lives while it may still be called.
    IPtr<Linux::IEventHandler> held(handler);
    const std::uint64_t id = PluginThread::instance().addWatch(fd, [held, fd] { held->onFDIsSet(fd); });
    registrations.push_back(Registration{handler, id, false});
    return kResultTrue;
}

tresult PLUGIN_API EditorFrame::unregisterEventHandler(Linux::IEventHandler* handler) {
    const std::vector<Registration> taken = takeRegistrations(handler, false);
    for (const Registration& registration : taken)
        PluginThread::instance().removeWatch(registration.id);
    return taken.empty() ? kInvalidArgument : kResultTrue;
}

tresult PLUGIN_API EditorFrame::registerTimer(Linux::ITimerHandler* handler,
                                              Linux::TimerInterval milliseconds) {
    if (handler == nullptr || milliseconds == 0)
        return kInvalidArgument;
    std::lock_guard lock(mutex);
    if (detached)
        return kResultFalse;
    IPtr<Linux::ITimerHandler> held(handler);
    const std::uint64_t id = PluginThread::instance().addTimer(
        std::chrono::milliseconds(static_cast<std::chrono::milliseconds::rep>(milliseconds)),
        [held] { held->onTimer(); });
    registrations.push_back(Registration{handler, id, true});
    return kResultTrue;
}

tresult PLUGIN_API EditorFrame::unregisterTimer(Linux::ITimerHandler* handler) {
    const std::vector<Registration> taken = takeRegistrations(handler, true);
    for (const Registration& registration : taken)
        PluginThread::instance().removeTimer(registration.id);
    return taken.empty() ? kInvalidArgument : kResultTrue;
}

#endif

tresult PLUGIN_API EditorFrame::queryInterface(const TUID iid, void** object) {
    if (FUnknownPrivate::iidEqual(iid, IPlugFrame::iid) || FUnknownPrivate::iidEqual(iid, FUnknown::iid)) {
        addRef();
        *object = static_cast<IPlugFrame*>(this);
        return kResultOk;
    }
#if SMTG_OS_LINUX
    if (FUnknownPrivate::iidEqual(iid, Linux::IRunLoop::iid)) {
        addRef();
        *object = static_cast<Linux::IRunLoop*>(this);
        return kResultOk;
    }
#endif
    *object = nullptr;
    return kNoInterface;
}

uint32 PLUGIN_API EditorFrame::addRef() {
    return references.fetch_add(1, std::memory_order_relaxed) + 1;
}

uint32 PLUGIN_API EditorFrame::release() {
    const uint32 remaining = references.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (remaining == 0)
        delete this;
    return remaining;
}

} // namespace varnel::extensions::vst
