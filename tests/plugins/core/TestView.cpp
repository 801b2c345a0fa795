#include "TestView.h"

#include "PluginConfig.h"
#include "Recorder.h"

#include "pluginterfaces/base/smartpointer.h"
#include "pluginterfaces/gui/iplugviewcontentscalesupport.h"

#include <atomic>
#include <cmath>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace testplugin {

using namespace Steinberg;

namespace {

#if defined(_WIN32)
const char* const kNativeType = kPlatformTypeHWND;
#else
const char* const kNativeType = kPlatformTypeX11EmbedWindowID;
#endif

// getSize before attached, then the size the view asks for inside attached.
constexpr int32 kFirstWidth = 320;
constexpr int32 kFirstHeight = 200;
constexpr int32 kOpenWidth = 400;
constexpr int32 kOpenHeight = 300;
// Sizes the view takes from a host are whole tens, at least 100 x 50.
constexpr int32 kGrid = 10;

std::atomic<int> liveViews{0};

// What the probe reads and asks for; the attached view serves the requests.
struct Shared {
    std::atomic<int> ticks{0};
    std::atomic<int> wakeups{0};
    std::atomic<std::uint64_t> lastTickThread{0};
    std::atomic<bool> attached{false};
    std::atomic<int> wakeFd{-1};
    std::mutex requestsMutex;
    std::optional<std::pair<std::uint32_t, double>> edit;
    std::optional<std::pair<int32, int32>> resize;
};

Shared& shared() {
    static Shared state;
    return state;
}

std::string describeRect(const ViewRect& rect) {
    return std::to_string(rect.getWidth()) + "x" + std::to_string(rect.getHeight());
}

class TestView final : public IPlugView,
                       public IPlugViewContentScaleSupport
#if SMTG_OS_LINUX
    ,
                       public Linux::ITimerHandler,
                       public Linux::IEventHandler
#endif
{
public:
    TestView(Vst::IEditController* controller, const std::string& owner)
        : controller_(controller), name_(owner + " view"),
          instance_(Recorder::instance().registerObject("view")) {
        ++liveViews;
    }

    ~TestView() {
        if (attached_)
            Recorder::instance().violation(name_ + ": released while attached (IPlugView::removed missing)");
        if (frame_ != nullptr)
            Recorder::instance().violation(name_ +
                                           ": released with its frame set (setFrame(nullptr) missing)");
        --liveViews;
        Recorder::instance().releaseObject(instance_);
    }

    tresult PLUGIN_API isPlatformTypeSupported(FIDString type) override {
        RecordedCall call("IPlugView", "isPlatformTypeSupported", std::string("type=") + safe(type), name_);
        return call.done(type != nullptr && std::string(type) == kNativeType ? kResultTrue : kResultFalse);
    }

    tresult PLUGIN_API attached(void* parent, FIDString type) override {
        RecordedCall call("IPlugView", "attached",
                          "parent=" + std::to_string(reinterpret_cast<std::uintptr_t>(parent)) +
                              " type=" + safe(type),
                          name_);
        if (attached_)
            call.violation("while attached");
        if (frame_ == nullptr)
            call.violation("before setFrame");
        if (parent == nullptr || type == nullptr || std::string(type) != kNativeType) {
            call.violation("with no parent, or a parent of a type the view does not support");
            return call.done(kResultFalse);
        }
        attached_ = true;
        openWindow(parent);
        startRunLoopWork(call);
        shared().attached = true;
        // Real editors learn their size only now and ask for it at once.
        ask(ViewRect(0, 0, kOpenWidth, kOpenHeight), call);
        return call.done(kResultTrue);
    }

    tresult PLUGIN_API removed() override {
        RecordedCall call("IPlugView", "removed", "", name_);
        if (!attached_)
            call.violation("without attached");
        stopRunLoopWork();
        closeWindow();
        attached_ = false;
        shared().attached = false;
        return call.done(kResultTrue);
    }

    tresult PLUGIN_API onWheel(float) override {
        return kResultFalse;
    }
    tresult PLUGIN_API onKeyDown(char16, int16, int16) override {
        return kResultFalse;
    }
    tresult PLUGIN_API onKeyUp(char16, int16, int16) override {
        return kResultFalse;
    }
    tresult PLUGIN_API onFocus(TBool) override {
        return kResultTrue;
    }

    tresult PLUGIN_API getSize(ViewRect* size) override {
        RecordedCall call("IPlugView", "getSize", describeRect(size_), name_);
        if (size == nullptr)
            return call.done(kInvalidArgument);
        *size = size_;
        return call.done(kResultTrue);
    }

    tresult PLUGIN_API onSize(ViewRect* newSize) override {
        RecordedCall call("IPlugView", "onSize", newSize != nullptr ? describeRect(*newSize) : "null", name_);
        if (newSize == nullptr)
            return call.done(kInvalidArgument);
        size_ = *newSize;
        sized_ = true;
#if defined(_WIN32)
        if (child_ != nullptr)
            SetWindowPos(child_, nullptr, 0, 0, size_.getWidth(), size_.getHeight(),
                         SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
#endif
        return call.done(kResultTrue);
    }

    tresult PLUGIN_API setFrame(IPlugFrame* frame) override {
        RecordedCall call("IPlugView", "setFrame", frame != nullptr ? "frame=non-null" : "frame=null", name_);
        if (frame == nullptr && attached_)
            call.violation("to null while attached (IPlugView::removed first)");
        frame_ = frame; // not counted, as the SDK's own views keep it
        return call.done(kResultTrue);
    }

    tresult PLUGIN_API canResize() override {
        return kResultTrue;
    }

    tresult PLUGIN_API checkSizeConstraint(ViewRect* rect) override {
        RecordedCall call("IPlugView", "checkSizeConstraint", rect != nullptr ? describeRect(*rect) : "null",
                          name_);
        if (rect == nullptr)
            return call.done(kInvalidArgument);
        const int32 width = std::max<int32>(100, rect->getWidth() / kGrid * kGrid);
        const int32 height = std::max<int32>(50, rect->getHeight() / kGrid * kGrid);
        *rect = ViewRect(rect->left, rect->top, rect->left + width, rect->top + height);
        return call.done(kResultTrue);
    }

    tresult PLUGIN_API setContentScaleFactor(ScaleFactor factor) override {
        RecordedCall call("IPlugViewContentScaleSupport", "setContentScaleFactor",
                          "factor=" + formatDouble(factor), name_);
        if (!attached_)
            call.violation("while not attached");
        ask(ViewRect(0, 0, static_cast<int32>(std::lround(kOpenWidth * factor)),
                     static_cast<int32>(std::lround(kOpenHeight * factor))),
            call);
        return call.done(kResultTrue);
    }

#if SMTG_OS_LINUX
    void PLUGIN_API onTimer() override {
        Shared& state = shared();
        state.lastTickThread = currentThreadToken();
        ++state.ticks;
        std::optional<std::pair<std::uint32_t, double>> edit;
        std::optional<std::pair<int32, int32>> resize;
        {
            std::lock_guard lock(state.requestsMutex);
            edit = std::exchange(state.edit, std::nullopt);
            resize = std::exchange(state.resize, std::nullopt);
        }
        if (edit) {
            controller_->setParamNormalized(edit->first, edit->second);
            Recorder::instance().performEdit(edit->first, edit->second);
        }
        if (resize) {
            RecordedCall call("ITimerHandler", "onTimer", "resize", name_);
            ask(ViewRect(0, 0, resize->first, resize->second), call);
            call.done(kResultTrue);
        }
    }

    void PLUGIN_API onFDIsSet(Linux::FileDescriptor fd) override {
        char bytes[16];
        while (read(fd, bytes, sizeof bytes) > 0) {
        }
        ++shared().wakeups;
    }
#endif

    tresult PLUGIN_API queryInterface(const TUID iid, void** object) override {
        FUnknown* answer = nullptr;
        if (FUnknownPrivate::iidEqual(iid, IPlugView::iid) || FUnknownPrivate::iidEqual(iid, FUnknown::iid))
            answer = static_cast<IPlugView*>(this);
        else if (FUnknownPrivate::iidEqual(iid, IPlugViewContentScaleSupport::iid))
            answer = static_cast<IPlugViewContentScaleSupport*>(this);
#if SMTG_OS_LINUX
        else if (FUnknownPrivate::iidEqual(iid, Linux::ITimerHandler::iid))
            answer = static_cast<Linux::ITimerHandler*>(this);
        else if (FUnknownPrivate::iidEqual(iid, Linux::IEventHandler::iid))
            answer = static_cast<Linux::IEventHandler*>(this);
#endif
        *object = answer;
        if (answer == nullptr)
            return kNoInterface;
        addRef();
        return kResultOk;
    }
    uint32 PLUGIN_API addRef() override {
        return ++references_;
    }
    uint32 PLUGIN_API release() override {
        const uint32 remaining = --references_;
        if (remaining == 0)
            delete this;
        return remaining;
    }

private:
    static std::string safe(FIDString text) {
        return text != nullptr ? text : "null";
    }

    // Asks the host for `wanted`; VST 3 has the host call onSize before answering.
    void ask(ViewRect wanted, RecordedCall& call) {
        if (frame_ == nullptr) {
            call.violation("needs a frame to ask for a size");
            return;
        }
        sized_ = false;
        if (frame_->resizeView(this, &wanted) != kResultTrue)
            call.violation("had IPlugFrame::resizeView refused");
        else if (!sized_)
            call.violation("had IPlugFrame::resizeView return before IPlugView::onSize");
    }

    void startRunLoopWork(RecordedCall& call) {
#if SMTG_OS_LINUX
        FUnknownPtr<Linux::IRunLoop> runLoop(frame_);
        if (!runLoop) {
            call.violation("finds no IRunLoop on the frame");
            return;
        }
        int fds[2];
        if (pipe(fds) != 0)
            return;
        fcntl(fds[0], F_SETFL, O_NONBLOCK);
        pipe_[0] = fds[0];
        pipe_[1] = fds[1];
        shared().wakeFd = pipe_[1];
        if (runLoop->registerTimer(this, 10) != kResultTrue ||
            runLoop->registerEventHandler(this, pipe_[0]) != kResultTrue)
            call.violation("had its run-loop timer or event handler refused");
        runLoop_ = runLoop;
#else
        (void)call;
#endif
    }

    void stopRunLoopWork() {
#if SMTG_OS_LINUX
        if (runLoop_ && !kPluginConfig.editorLeavesRunLoopWork) {
            runLoop_->unregisterTimer(this);
            runLoop_->unregisterEventHandler(this);
        }
        runLoop_ = nullptr;
        shared().wakeFd = -1;
        for (int& fd : pipe_) {
            if (fd >= 0)
                close(fd);
            fd = -1;
        }
#endif
    }

    void openWindow(void* parent) {
#if defined(_WIN32)
        // No notification to the parent: it may belong to a thread that is waiting
        // for this call to return.
        child_ = CreateWindowExW(WS_EX_NOPARENTNOTIFY, L"STATIC", L"TestEditor", WS_CHILD | WS_VISIBLE, 0, 0,
                                 size_.getWidth(), size_.getHeight(), static_cast<HWND>(parent), nullptr,
                                 nullptr, nullptr);
        if (child_ == nullptr)
            Recorder::instance().violation(name_ + ": could not make a child window in the parent given");
#else
        (void)parent;
#endif
    }

    void closeWindow() {
#if defined(_WIN32)
        if (child_ != nullptr)
            DestroyWindow(child_);
        child_ = nullptr;
#endif
    }

    IPtr<Vst::IEditController> controller_;
    const std::string name_;
    const int instance_;
    std::atomic<uint32> references_{1};
    IPlugFrame* frame_ = nullptr;
    ViewRect size_{0, 0, kFirstWidth, kFirstHeight};
    bool attached_ = false;
    bool sized_ = false;
#if SMTG_OS_LINUX
    IPtr<Linux::IRunLoop> runLoop_;
    int pipe_[2] = {-1, -1};
#endif
#if defined(_WIN32)
    HWND child_ = nullptr;
#endif
};

} // namespace

IPlugView* createTestView(Vst::IEditController* controller, const std::string& owner) {
    return new TestView(controller, owner);
}

int liveTestViews() {
    return liveViews.load();
}

EditorActivity testViewActivity() {
    const Shared& state = shared();
    return EditorActivity{state.ticks.load(), state.wakeups.load(), state.lastTickThread.load(),
                          state.attached.load()};
}

bool wakeTestView() {
#if defined(_WIN32)
    return false;
#else
    const int fd = shared().wakeFd.load();
    const char byte = 1;
    return fd >= 0 && write(fd, &byte, 1) == 1;
#endif
}

bool editFromTestView(std::uint32_t id, double value) {
    Shared& state = shared();
    std::lock_guard lock(state.requestsMutex);
    state.edit = std::make_pair(id, value);
    return state.attached.load();
}

bool resizeFromTestView(int width, int height) {
    Shared& state = shared();
    std::lock_guard lock(state.requestsMutex);
    state.resize = std::make_pair(static_cast<int32>(width), static_cast<int32>(height));
    return state.attached.load();
}

} // namespace testplugin
