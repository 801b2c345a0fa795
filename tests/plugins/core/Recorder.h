#pragma once

// The plug-in library's record of everything the host did to it, and the
// probe the tests read it through. One per library (each bundle links its own
// copy, and its symbols stay local). Control-side calls go to a mutex-guarded
// log; process calls go to the lock-free ProcessLog.

#include "ProcessLog.h"
#include "testplugin/TestPluginProbe.h"

#include "pluginterfaces/base/smartpointer.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace testplugin {

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
    int count(const std::string& method) const override;
    int liveObjects() const override;
    void reset() override;
    void holdBlocks(bool hold) override;
    bool blockHeld() const override;
    bool changeLatency(std::uint32_t samples) override;
    bool requestRestart(std::int32_t flags) override;
    bool performEdit(std::uint32_t id, double value) override;
    EditorActivity editorActivity() const override;
    bool wakeEditor() override;
    bool editFromEditor(std::uint32_t id, double value) override;
    bool resizeFromEditor(int width, int height) override;

    // The controller's handler as the host last gave it (counted reference).
    void setComponentHandler(Steinberg::Vst::IComponentHandler* handler);
    // Whether a component of this library was ever activated: a plug-in was run.
    void noteActivation() { activated_ = true; }
    bool anyActivated() const { return activated_.load(); }
    // The latency a component takes on at activation.
    std::uint32_t latency() const { return latency_.load(); }

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
    Steinberg::Vst::IComponentHandler* handler_ = nullptr; // under mutex_
    Steinberg::IPtr<Steinberg::Vst::IComponentHandler> handler() const;
};

// One recorded control-side call: created at the entry of a plug-in method,
// it records the call, collects rule violations and stores the answer.
class RecordedCall {
public:
    RecordedCall(const char* interface, const char* method, std::string arguments, const std::string& object);

    // For arguments only known after reading them (e.g. a state stream).
    void setArguments(std::string arguments);
    // Records "<object>: <interface>::<method>(<arguments>) <rule>".
    void violation(const std::string& rule);
    // Stores the answer and hands it back, so methods can `return call.done(result);`.
    std::int32_t done(std::int32_t result);

private:
    const char* interface_;
    const char* method_;
    std::string arguments_;
    const std::string& object_;
    Recorder::Ticket ticket_;
};

std::string formatDouble(double value); // round-trippable ("%.17g")
const char* boolText(bool value);

} // namespace testplugin
