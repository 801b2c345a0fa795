#pragma once

// The plug-in library's record of everything the host did to it, and the
// probe the tests read it through. One per library (each bundle links its own
// copy, and its symbols stay local). Control-side calls go to a mutex-guarded
// log; process calls go to the lock-free ProcessLog.

#include "LaterRestarts.h"
#include "ProcessLog.h"
#include "ReportedValues.h"
#include "testplugin/TestPluginProbe.h"

#include "pluginterfaces/base/smartpointer.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace testplugin {

class TestPluginObject;

class Recorder final : public TestPluginProbe {
public:
    static Recorder& instance();

    struct Ticket {
        std::uint64_t generation = 0;
        std::size_t index = 0;
    };

    // Control thread: appends a call (at entry, so nested calls keep their order)
    // and later fills in its result.
    Ticket beginCall(const char* interface, const char* method, std::string arguments,
                     const std::string& object);
    void finishCall(const Ticket& ticket, std::int32_t result, const std::string& arguments);
    void violation(std::string text);

    // Live plug-in objects (factories, components, controllers) and their names.
    int registerObject(const std::string& className); // the new instance number
    void releaseObject(int instance);
    std::string describeLiveObjects() const; // "factory#1, TestSeparate#2"

    ProcessLog& processLog() { return processLog_; }

    // TestPluginProbe
    std::vector<CallRecord> calls() const override;
    std::vector<std::string> violations() const override;
    std::int64_t processCount() const override;
    std::vector<ProcessRecord> lastProcesses(std::size_t n) const override;
    std::vector<QueuePoint> queuePoints() const override;
    int count(const std::string& method) const override;
    int liveObjects() const override;
    void reset() override;
    void holdBlocks(bool hold) override;
    bool blockHeld() const override;
    bool changeLatency(std::uint32_t samples) override;
    bool requestRestart(std::int32_t flags) override;
    bool performEdit(std::uint32_t id, double value) override;
    bool requestRestartFromOwnThread(std::int32_t flags) override;
    bool announceUnchangedLatency() override;
    bool loadProgramOnController(const std::vector<std::pair<std::uint32_t, double>>& values) override;
    bool reportLatencyFromProcessor(std::uint32_t samples) override;
    bool renameParameter(std::uint32_t id, const std::string& title) override;
    void throwFrom(ThrowingCall call, bool on) override;
    std::uint64_t uiThread() const override;
    EditorActivity editorActivity() const override;
    bool wakeEditor() override;
    bool editFromEditor(std::uint32_t id, double value) override;
    bool resizeFromEditor(int width, int height) override;

    // The controller's handler as the host last gave it (counted reference), and the
    // controller that was given it, for the changes a probe asks the controller to make;
    // both null again when that controller terminates.
    void setComponentHandler(Steinberg::Vst::IComponentHandler* handler, TestPluginObject* controller);
    // A controller's last release: it may no longer be reached.
    void forgetController(const TestPluginObject* controller);
    // Whether a component of this library was ever activated: a plug-in was run.
    bool anyActivated() const { return activated_.load(); }
    // The latency a component takes on at activation.
    std::uint32_t latency() const { return latency_.load(); }
    // Audio thread: the processor's own edits (editsFromProcess), as JUCE plug-ins
    // make them from their audio callback.
    void editFromProcess(std::uint32_t id, double value) noexcept;
    // Audio thread, without locks: a new latency from now on, with a restart request.
    void changeLatencyInProcess(std::uint32_t samples) noexcept;
    // Control thread: a component was activated (latencyRequestDelayMs asks again).
    void activated();

    // Any thread: true on the UI thread of a strict-threads plug-in (the first caller's,
    // claimed here) and always for other plug-ins.
    bool onUiThread();
    // Any thread: whether a test switched this call to throwing.
    bool throws(ThrowingCall call) const { return throwing_[static_cast<std::size_t>(call)].load(); }
    // Audio thread: the latency a processor is to report now (and take on from its next
    // activation), or -1; each request is handed out once.
    std::int64_t takeLatencyReport() noexcept;
    ReportedValues& reportedValues() { return reportedValues_; }

    // Audio thread: waits while blocks are held. Test plug-ins that hold blocks are
    // the one exception to the audio thread's no-waiting rule.
    void waitWhileHeld() noexcept;

private:
    Recorder();

    mutable std::mutex mutex_;
    std::uint64_t generation_ = 0;
    std::vector<CallRecord> calls_;
    std::vector<std::string> violations_;
    std::map<int, std::string> live_;
    int nextInstance_ = 1;
    ProcessLog processLog_;
    std::atomic<bool> holding_{false};
    std::atomic<bool> held_{false};
    std::atomic<std::uint32_t> latency_;
    std::atomic<bool> activated_{false};
    std::atomic<std::uint64_t> uiThread_{0};
    std::array<std::atomic<bool>, 3> throwing_{}; // by ThrowingCall
    std::atomic<std::int64_t> pendingLatencyReport_{-1};
    ReportedValues reportedValues_;
    Steinberg::Vst::IComponentHandler* handler_ = nullptr;                    // under mutex_
    TestPluginObject* controller_ = nullptr;                                  // under mutex_
    std::atomic<Steinberg::Vst::IComponentHandler*> processHandler_{nullptr}; // handler_, for process
    LaterRestarts laterRestarts_; // runs while a handler is set, under latencyRequestDelayMs
    Steinberg::IPtr<Steinberg::Vst::IComponentHandler> handler() const;
};

// One recorded control-side call: created at the entry of a plug-in method,
// it records the call, collects rule violations and stores the answer.
class RecordedCall {
public:
    // Which threads a call may come from: VST 3 allows setProcessing on the audio
    // thread as well as on the UI thread; every other recorded call belongs to the UI thread.
    enum class Thread { ui, any };

    RecordedCall(const char* interface, const char* method, std::string arguments, const std::string& object,
                 Thread thread = Thread::ui);

    // For arguments only known after reading them (e.g. a state stream).
    void setArguments(std::string arguments);
    // Records "<object>: <interface>::<method>(<arguments>) <rule>".
    void violation(const std::string& rule);
    // Stores the answer and hands it back, so methods can `return call.done(result);`.
    std::int32_t done(std::int32_t result);
    // A strict-threads plug-in's UI-thread call made on another thread (recorded as a
    // violation when the call was made); the call must then do nothing and fail.
    bool onForeignThread() const { return foreignThread_; }
    // done() for a call its entry guard turned away: kResultFalse on a foreign thread,
    // else answer.
    std::int32_t refuse(std::int32_t answer) {
        return done(foreignThread_ ? Steinberg::kResultFalse : answer);
    }

private:
    const char* interface_;
    const char* method_;
    std::string arguments_;
    const std::string& object_;
    Recorder::Ticket ticket_;
    bool foreignThread_ = false;
};

std::string formatDouble(double value); // round-trippable ("%.17g")
const char* boolText(bool value);

} // namespace testplugin
