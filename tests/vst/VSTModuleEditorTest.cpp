// The plug-in's editor: opened into the application's window in the order VST 3
// hosts keep, sized as the plug-in asks, served by the plug-in thread's run loop,
// its edits reaching the sound, and closed safely whatever goes first.
#include "HostedTestPlugin.h"
#include "VSTPluginThread.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#endif

using varnel::extensions::vst::VSTEditorSize;
using varnel::extensions::vst::VSTModule;
using varnel::extensions::vst::VSTPluginEvent;
using vsttest::HostedTestPlugin;
using vsttest::StereoBuffers;

namespace {

// A window id as X11 gives them; the test plug-in only records it.
void* const kParent = reinterpret_cast<void*>(std::uintptr_t{0x2a00017});

} // namespace

using VSTModuleEditor = vsttest::HostedPluginTest;

#if !defined(_WIN32)

namespace {

bool eventually(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// What the module's listener heard, from the plug-in thread.
struct HeardEvents {
    explicit HeardEvents(VSTModule& module) {
        module.setEventListener([this](const VSTPluginEvent& event) {
            std::lock_guard lock(mutex);
            events.push_back(event);
        });
    }
    bool heardSize(VSTEditorSize size) {
        std::lock_guard lock(mutex);
        return std::any_of(events.begin(), events.end(), [&](const VSTPluginEvent& event) {
            return event.kind == VSTPluginEvent::Kind::editorResized && event.editorSize == size;
        });
    }
    bool heardChange(std::uint32_t id, double value) {
        std::lock_guard lock(mutex);
        return std::any_of(events.begin(), events.end(), [&](const VSTPluginEvent& event) {
            return event.kind == VSTPluginEvent::Kind::parameterChanged && event.parameterId == id &&
                   event.value == value;
        });
    }
    std::mutex mutex;
    std::vector<VSTPluginEvent> events;
};

} // namespace

TEST_F(VSTModuleEditor, OpensAtTheSizeItAsksForFollowsLaterSizesAndWorksFromThePluginThreadsRunLoop) {
    ASSERT_TRUE(plugin.load("TestEditor"));
    HeardEvents heard(*plugin.module);
    EXPECT_TRUE(plugin.module->hasEditor());
    EXPECT_EQ(plugin.probe().liveObjects(), 3) << "the view made to answer hasEditor is released";
    plugin.probe().reset();

    ASSERT_TRUE(plugin.module->openEditor(kParent));
    EXPECT_TRUE(plugin.module->isEditorOpen());
    // The plug-in asked for 400x300 inside attached and had onSize before its answer.
    EXPECT_EQ(plugin.module->getEditorSize(), (VSTEditorSize{400, 300}));
    EXPECT_EQ(plugin.sequence({"isPlatformTypeSupported", "setFrame", "getSize", "attached", "onSize"}),
              (std::vector<std::string>{
                  "isPlatformTypeSupported(type=X11EmbedWindowID)", "setFrame(frame=non-null)",
                  "getSize(320x200)", "attached(parent=44040215 type=X11EmbedWindowID)", "onSize(400x300)"}));
    EXPECT_FALSE(plugin.module->openEditor(kParent)) << "one editor at a time";

    // Its run loop: a timer and a watched pipe, served on the plug-in thread.
    const std::uint64_t pluginThread = plugin.probe().calls().front().thread;
    ASSERT_TRUE(eventually([&] { return plugin.probe().editorActivity().timerTicks >= 3; }));
    EXPECT_EQ(plugin.probe().editorActivity().lastTickThread, pluginThread);
    ASSERT_TRUE(plugin.probe().wakeEditor());
    EXPECT_TRUE(eventually([&] { return plugin.probe().editorActivity().fdWakeups == 1; }));

    // A size the editor asks for on its own (from its timer) reaches the listener,
    // so that the application can resize the window.
    ASSERT_TRUE(plugin.probe().resizeFromEditor(500, 350));
    EXPECT_TRUE(eventually([&] { return heard.heardSize({500, 350}); }));
    EXPECT_EQ(plugin.module->getEditorSize(), (VSTEditorSize{500, 350}));
    // A content scale the plug-in takes makes it ask for its scaled size.
    EXPECT_TRUE(plugin.module->setEditorContentScale(1.5f));
    EXPECT_EQ(plugin.module->getEditorSize(), (VSTEditorSize{600, 450}));
    EXPECT_TRUE(eventually([&] { return heard.heardSize({600, 450}); }));
    // The user resizes the window: the plug-in keeps its sizes to whole tens.
    VSTEditorSize wanted{455, 333};
    EXPECT_TRUE(plugin.module->resizeEditor(wanted));
    EXPECT_EQ(wanted, (VSTEditorSize{450, 330}));
    EXPECT_EQ(plugin.count("onSize", "450x330"), 1);

    plugin.module->closeEditor();
    EXPECT_FALSE(plugin.module->isEditorOpen());
    EXPECT_EQ(plugin.module->getEditorSize(), VSTEditorSize{});
    EXPECT_EQ(plugin.sequence({"removed", "setFrame"}).back(), "setFrame(frame=null)");
    EXPECT_EQ(plugin.probe().liveObjects(), 3) << "the view is released";
    // No handler the plug-in registered runs once its view is gone.
    const int ticks = plugin.probe().editorActivity().timerTicks;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(plugin.probe().editorActivity().timerTicks, ticks);

    std::set<std::uint64_t> threads;
    for (const testplugin::CallRecord& call : plugin.probe().calls())
        threads.insert(call.thread);
    EXPECT_EQ(threads, std::set<std::uint64_t>{pluginThread});
    EXPECT_EQ(log.lines(), std::vector<std::string>{"[VSTModule] The editor is already open."});
    expectUnloadsInOrder();
}

TEST_F(VSTModuleEditor, EditsMadeInTheEditorReachTheProcessorTheValueAndTheListener) {
    ASSERT_TRUE(plugin.load("TestEditor"));
    HeardEvents heard(*plugin.module);
    ASSERT_TRUE(plugin.module->openEditor(kParent));
    std::atomic<bool> running{true};
    std::thread audio([&] {
        StereoBuffers buffers(64);
        while (running.load()) {
            buffers.process(*plugin.module, 64);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    // A drag in the editor: beginEdit, performEdit, endEdit on the plug-in thread.
    ASSERT_TRUE(plugin.probe().editFromEditor(1, 0.25));
    EXPECT_TRUE(eventually([&] { return heard.heardChange(1, 0.25); }));
    EXPECT_EQ(plugin.module->getParameterValue(1), 0.25f);
    EXPECT_TRUE(eventually([&] { return plugin.probe().lastProcesses(1).at(0).gain == 0.25; }));
    running.store(false);
    audio.join();
    expectCleanFinish();
}

#endif

TEST_F(VSTModuleEditor, ClosingWhileBlocksRunAndUnloadingWithTheEditorOpenAreSafe) {
    ASSERT_TRUE(plugin.load("TestEditor"));
    std::atomic<bool> running{true};
    std::thread audio([&] {
        StereoBuffers buffers(64);
        while (running.load())
            buffers.process(*plugin.module, 64);
    });
#if defined(_WIN32)
    // The test plug-in puts a real child window into the parent on Windows.
    HWND parent = CreateWindowExW(0, L"STATIC", L"parent", WS_OVERLAPPEDWINDOW, 0, 0, 640, 480, nullptr,
                                  nullptr, nullptr, nullptr);
    if (parent == nullptr) {
        running.store(false);
        audio.join();
        GTEST_SKIP() << "Wine has no display for windows here (start an Xvfb and set DISPLAY)";
    }
    void* const window = parent;
#else
    void* const window = kParent;
#endif
    ASSERT_TRUE(plugin.module->openEditor(window));
#if defined(_WIN32)
    HWND child = GetWindow(parent, GW_CHILD);
    ASSERT_NE(child, nullptr) << "the editor's window is in the parent";
    RECT area{};
    GetClientRect(child, &area);
    EXPECT_EQ(area.right - area.left, 400);
    EXPECT_EQ(area.bottom - area.top, 300);
#endif
    plugin.module->closeEditor();
#if defined(_WIN32)
    EXPECT_FALSE(IsWindow(child)) << "the editor took its window out of the parent";
#endif
    ASSERT_TRUE(plugin.module->openEditor(window)) << "an editor opens again after closing";
    running.store(false);
    audio.join();
    // Unloaded with the editor open: the view goes before the controller.
    plugin.unload();
    EXPECT_EQ(plugin.probe().liveObjects(), 0);
    EXPECT_EQ(plugin.sequence({"removed", "terminate"}).front(), "removed()");
#if defined(_WIN32)
    DestroyWindow(parent);
#endif
    EXPECT_TRUE(log.lines().empty());
    EXPECT_NO_ORDER_VIOLATIONS(plugin);
}

TEST_F(VSTModuleEditor, APluginWithoutAnEditorIsRefusedWithOneLineAndClosingNothingIsHarmless) {
    ASSERT_TRUE(plugin.load("TestSeparate"));
    EXPECT_FALSE(plugin.module->hasEditor());
    EXPECT_FALSE(plugin.module->openEditor(kParent));
    EXPECT_EQ(plugin.module->getLastError(), "The plug-in has no editor.");
    plugin.module->closeEditor();
    VSTEditorSize size{100, 100};
    EXPECT_FALSE(plugin.module->resizeEditor(size));
    EXPECT_FALSE(plugin.module->setEditorContentScale(2.0f));
    EXPECT_EQ(log.lines(),
              (std::vector<std::string>{"[VSTModule] The plug-in has no editor.",
                                        "[VSTModule] No editor is open.", "[VSTModule] No editor is open."}));
    VSTModule empty;
    EXPECT_FALSE(empty.hasEditor());
    empty.closeEditor();
}

#if !defined(_WIN32)

TEST_F(VSTModuleEditor, RunLoopWorkTheViewLeftRegisteredEndsWithTheEditor) {
    ASSERT_TRUE(plugin.load("TestEditorLeavesRunLoopWork"));
    ASSERT_TRUE(plugin.module->openEditor(kParent));
    ASSERT_TRUE(eventually([&] { return plugin.probe().editorActivity().timerTicks >= 1; }));
    plugin.module->closeEditor();
    // A timer or descriptor handler still registered would hold the view.
    EXPECT_EQ(plugin.probe().liveObjects(), 3) << "the view is released";
    plugin.unload();
    EXPECT_TRUE(log.lines().empty());
    EXPECT_NO_ORDER_VIOLATIONS(plugin);
}

TEST_F(VSTModuleEditor, AnAdoptedThreadServesTheEditorsDescriptorsAlsoWhenCallsArePending) {
    using varnel::extensions::vst::VSTPluginThread;
    // ctest runs each test in a process of its own; a run of the whole binary has
    // started the library's own plug-in thread already.
    if (!VSTPluginThread::adoptCurrentThread())
        GTEST_SKIP() << "the plug-in thread runs already: run this test alone";
    ASSERT_TRUE(plugin.load("TestEditor"));
    ASSERT_TRUE(plugin.module->openEditor(kParent));
    const int wakeups = plugin.probe().editorActivity().fdWakeups;
    std::atomic<bool> done{false};
    std::thread application([&] {
        plugin.module->getParameterValue(1);
        done.store(true);
    });
    // Time for the application's call to reach the queue; the checks below hold
    // whether it did or not.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(plugin.probe().wakeEditor());
    VSTPluginThread::runPendingCalls(0);
    EXPECT_EQ(plugin.probe().editorActivity().fdWakeups, wakeups + 1);
    while (!done.load())
        VSTPluginThread::runPendingCalls(10);
    application.join();
    plugin.unload();
    EXPECT_TRUE(log.lines().empty());
    EXPECT_NO_ORDER_VIOLATIONS(plugin);
}

#endif
