#include "LaterRestarts.h"

#include "Recorder.h"

#include "pluginterfaces/vst/ivsteditcontroller.h"

namespace testplugin {

namespace {
constexpr std::chrono::milliseconds kTick{1};
}

void LaterRestarts::start(std::chrono::milliseconds delay) {
    if (thread_.joinable())
        return;
    running_.store(true);
    thread_ = std::thread([this, delay] { run(delay); });
}

void LaterRestarts::stop() {
    running_.store(false);
    if (thread_.joinable())
        thread_.join();
    armed_.store(false);
}

void LaterRestarts::run(std::chrono::milliseconds delay) {
    while (running_.load()) {
        if (!armed_.exchange(false)) {
            std::this_thread::sleep_for(kTick);
            continue;
        }
        for (auto waited = std::chrono::milliseconds{0}; waited < delay && running_.load(); waited += kTick)
            std::this_thread::sleep_for(kTick);
        if (running_.load())
            Recorder::instance().requestRestart(Steinberg::Vst::kLatencyChanged);
    }
}

} // namespace testplugin
