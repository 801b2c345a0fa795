#include "Recorder.h"

#include "ParameterSet.h"
#include "PluginConfig.h"
#include "TestPluginObject.h"
#include "TestView.h"

#include <cstdio>
#include <string_view>
#include <thread>

namespace testplugin {

Recorder& Recorder::instance() {
    static Recorder recorder;
    return recorder;
}

Recorder::Ticket Recorder::beginCall(const char* interface, const char* method, std::string arguments,
                                     const std::string& object) {
    CallRecord record{interface, method, std::move(arguments), object, currentThreadToken(), 0};
    std::lock_guard lock(mutex_);
    calls_.push_back(std::move(record));
    return {generation_, calls_.size() - 1};
}

void Recorder::finishCall(const Ticket& ticket, std::int32_t result, const std::string& arguments) {
    std::lock_guard lock(mutex_);
    // A reset between entry and exit dropped the record; nothing to fill in.
    if (ticket.generation != generation_ || ticket.index >= calls_.size())
        return;
    calls_[ticket.index].result = result;
    calls_[ticket.index].arguments = arguments;
}

void Recorder::violation(std::string text) {
    std::lock_guard lock(mutex_);
    violations_.push_back(std::move(text));
}

int Recorder::registerObject(const std::string& className) {
    std::lock_guard lock(mutex_);
    const int instance = nextInstance_++;
    live_.emplace(instance, className + "#" + std::to_string(instance));
    return instance;
}

void Recorder::releaseObject(int instance) {
    std::lock_guard lock(mutex_);
    live_.erase(instance);
}

std::string Recorder::describeLiveObjects() const {
    std::lock_guard lock(mutex_);
    std::string text;
    for (const auto& [instance, name] : live_)
        text += (text.empty() ? "" : ", ") + name;
    return text;
}

std::vector<CallRecord> Recorder::calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

std::vector<std::string> Recorder::violations() const {
    std::vector<std::string> all;
    {
        std::lock_guard lock(mutex_);
        all = violations_;
    }
    processLog_.appendViolations(all);
    return all;
}

std::int64_t Recorder::processCount() const {
    return processLog_.count();
}

std::vector<ProcessRecord> Recorder::lastProcesses(std::size_t n) const {
    return processLog_.last(n);
}

std::vector<QueuePoint> Recorder::queuePoints() const {
    return processLog_.points();
}

int Recorder::count(const std::string& method) const {
    if (method == "process")
        return static_cast<int>(processLog_.count());
    std::lock_guard lock(mutex_);
    int matching = 0;
    for (const auto& call : calls_)
        matching += call.method == method ? 1 : 0;
    return matching;
}

int Recorder::liveObjects() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(live_.size());
}

void Recorder::reset() {
    std::lock_guard lock(mutex_);
    ++generation_;
    calls_.clear();
    violations_.clear();
    processLog_.reset();
}

RecordedCall::RecordedCall(const char* interface, const char* method, std::string arguments,
                           const std::string& object, Thread thread)
    : interface_(interface), method_(method), arguments_(std::move(arguments)), object_(object),
      ticket_(Recorder::instance().beginCall(interface, method, arguments_, object)) {
    if (thread == Thread::ui && !Recorder::instance().onUiThread()) {
        foreignThread_ = true;
        violation("on a thread other than the plug-in's UI thread (the thread of its first call)");
    }
}

void RecordedCall::setArguments(std::string arguments) {
    arguments_ = std::move(arguments);
}

void RecordedCall::violation(const std::string& rule) {
    // Module entry points are plain functions: "GetPluginFactory before ModuleEntry".
    const bool moduleCall = std::string_view(interface_) == "module";
    std::string text = moduleCall ? std::string(method_) : object_ + ": " + interface_ + "::" + method_;
    if (!arguments_.empty())
        text += "(" + arguments_ + ")";
    Recorder::instance().violation(text + " " + rule);
}

std::int32_t RecordedCall::done(std::int32_t result) {
    Recorder::instance().finishCall(ticket_, result, arguments_);
    return result;
}

std::string formatDouble(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

const char* boolText(bool value) {
    return value ? "true" : "false";
}

Recorder::Recorder() : latency_(kPluginConfig.latencySamples) {}

void Recorder::setComponentHandler(Steinberg::Vst::IComponentHandler* handler, TestPluginObject* controller) {
    // Outside the lock: a request in flight reads the handler under it.
    if (handler == nullptr)
        laterRestarts_.stop();
    else if (kPluginConfig.latencyRequestDelayMs != 0)
        laterRestarts_.start(std::chrono::milliseconds(kPluginConfig.latencyRequestDelayMs));
    std::lock_guard lock(mutex_);
    if (handler != nullptr)
        handler->addRef();
    if (handler_ != nullptr)
        handler_->release();
    handler_ = handler;
    controller_ = handler != nullptr ? controller : nullptr;
    processHandler_.store(handler);
}

void Recorder::forgetController(const TestPluginObject* controller) {
    std::lock_guard lock(mutex_);
    if (controller_ == controller)
        controller_ = nullptr;
}

void Recorder::changeLatencyInProcess(std::uint32_t samples) noexcept {
    latency_.store(samples);
    if (kPluginConfig.latencyRequestDelayMs != 0)
        laterRestarts_.arm();
    else if (Steinberg::Vst::IComponentHandler* target = processHandler_.load())
        target->restartComponent(Steinberg::Vst::kLatencyChanged);
}

void Recorder::activated() {
    activated_ = true;
    if (kPluginConfig.latencyRequestDelayMs != 0)
        laterRestarts_.arm();
}

void Recorder::editFromProcess(std::uint32_t id, double value) noexcept {
    if (Steinberg::Vst::IComponentHandler* target = processHandler_.load()) {
        target->performEdit(id, value);
        target->performEdit(9999, value);
        target->restartComponent(Steinberg::Vst::kParamValuesChanged);
    }
}

Steinberg::IPtr<Steinberg::Vst::IComponentHandler> Recorder::handler() const {
    std::lock_guard lock(mutex_);
    return Steinberg::IPtr<Steinberg::Vst::IComponentHandler>(handler_);
}

bool Recorder::changeLatency(std::uint32_t samples) {
    latency_.store(samples);
    return requestRestart(Steinberg::Vst::kLatencyChanged);
}

bool Recorder::requestRestart(std::int32_t flags) {
    // Called outside the lock: a host may act on the request at once.
    const Steinberg::IPtr<Steinberg::Vst::IComponentHandler> target = handler();
    return target && target->restartComponent(flags) == Steinberg::kResultOk;
}

bool Recorder::performEdit(std::uint32_t id, double value) {
    const Steinberg::IPtr<Steinberg::Vst::IComponentHandler> target = handler();
    if (!target)
        return false;
    target->beginEdit(id);
    const bool accepted = target->performEdit(id, value) == Steinberg::kResultOk;
    target->endEdit(id);
    return accepted;
}

bool Recorder::requestRestartFromOwnThread(std::int32_t flags) {
    bool accepted = false;
    std::thread messageThread([this, flags, &accepted] { accepted = requestRestart(flags); });
    messageThread.join();
    return accepted;
}

bool Recorder::announceUnchangedLatency() {
    return requestRestartFromOwnThread(Steinberg::Vst::kLatencyChanged);
}

bool Recorder::loadProgramOnController(const std::vector<std::pair<std::uint32_t, double>>& values) {
    Steinberg::IPtr<TestPluginObject> controller;
    {
        std::lock_guard lock(mutex_);
        controller = controller_;
    }
    if (!controller || !controller->loadProgram(values))
        return false;
    return requestRestart(Steinberg::Vst::kParamValuesChanged);
}

bool Recorder::renameParameter(std::uint32_t id, const std::string& title) {
    Steinberg::IPtr<TestPluginObject> controller;
    {
        std::lock_guard lock(mutex_);
        controller = controller_;
    }
    if (!controller || !controller->renameParameter(id, title))
        return false;
    return requestRestart(Steinberg::Vst::kParamTitlesChanged);
}

bool Recorder::reportLatencyFromProcessor(std::uint32_t samples) {
    // Only the two-way layout has a parameter to report it through.
    if (kPluginConfig.parameters != ParameterLayout::twoWay || samples > kMaxLatency)
        return false;
    pendingLatencyReport_.store(samples);
    return true;
}

std::int64_t Recorder::takeLatencyReport() noexcept {
    if (pendingLatencyReport_.load(std::memory_order_relaxed) < 0)
        return -1;
    const std::int64_t samples = pendingLatencyReport_.exchange(-1);
    // The component takes it on at its next activation, as with changeLatency.
    if (samples >= 0)
        latency_.store(static_cast<std::uint32_t>(samples));
    return samples;
}

void Recorder::throwFrom(ThrowingCall call, bool on) {
    throwing_[static_cast<std::size_t>(call)].store(on);
}

std::uint64_t Recorder::uiThread() const {
    return uiThread_.load();
}

bool Recorder::onUiThread() {
    if (!kPluginConfig.strictThreads)
        return true;
    const std::uint64_t caller = currentThreadToken();
    std::uint64_t claimed = 0;
    return uiThread_.compare_exchange_strong(claimed, caller) || claimed == caller;
}

EditorActivity Recorder::editorActivity() const {
    return testViewActivity();
}

bool Recorder::wakeEditor() {
    return wakeTestView();
}

bool Recorder::editFromEditor(std::uint32_t id, double value) {
    return editFromTestView(id, value);
}

bool Recorder::resizeFromEditor(int width, int height) {
    return resizeFromTestView(width, height);
}

void Recorder::holdBlocks(bool hold) {
    holding_.store(hold);
}

bool Recorder::blockHeld() const {
    return held_.load();
}

void Recorder::waitWhileHeld() noexcept {
    if (!holding_.load())
        return;
    held_.store(true);
    while (holding_.load())
        std::this_thread::yield();
    held_.store(false);
}

} // namespace testplugin
