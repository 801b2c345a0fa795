#include "live/LiveMeters.h"

namespace varnelvst::tool {

namespace {

template <typename Value>
void raise(std::atomic<Value>& maximum, Value value) noexcept {
    Value seen = maximum.load(std::memory_order_relaxed);
    while (seen < value && !maximum.compare_exchange_weak(seen, value, std::memory_order_relaxed)) {
    }
}

double share(std::uint64_t part, std::uint64_t whole) {
    return whole > 0 ? static_cast<double>(part) / static_cast<double>(whole) : 0.0;
}

} // namespace

void LiveMeters::addCallback(std::uint64_t busyNanos, std::uint64_t periodNanos) noexcept {
    busy.fetch_add(busyNanos, std::memory_order_relaxed);
    period.fetch_add(periodNanos, std::memory_order_relaxed);
    busyTotal.fetch_add(busyNanos, std::memory_order_relaxed);
    periodTotal.fetch_add(periodNanos, std::memory_order_relaxed);
    const std::uint64_t load = periodNanos > 0 ? busyNanos * 1000000 / periodNanos : 0;
    raise(peakLoadMillionths, load);
    raise(peakLoadMillionthsTotal, load);
}

void LiveMeters::addPeaks(float input, float output) noexcept {
    raise(inputPeak, input);
    raise(outputPeak, output);
    raise(inputPeakTotal, input);
    raise(outputPeakTotal, output);
}

LiveMeters::Window LiveMeters::take() noexcept {
    Window window;
    window.load =
        share(busy.exchange(0, std::memory_order_relaxed), period.exchange(0, std::memory_order_relaxed));
    window.peakLoad = static_cast<double>(peakLoadMillionths.exchange(0, std::memory_order_relaxed)) / 1e6;
    window.inputPeak = inputPeak.exchange(0.0f, std::memory_order_relaxed);
    window.outputPeak = outputPeak.exchange(0.0f, std::memory_order_relaxed);
    return window;
}

LiveMeters::Window LiveMeters::total() const noexcept {
    Window window;
    window.load =
        share(busyTotal.load(std::memory_order_relaxed), periodTotal.load(std::memory_order_relaxed));
    window.peakLoad = static_cast<double>(peakLoadMillionthsTotal.load(std::memory_order_relaxed)) / 1e6;
    window.inputPeak = inputPeakTotal.load(std::memory_order_relaxed);
    window.outputPeak = outputPeakTotal.load(std::memory_order_relaxed);
    return window;
}

} // namespace varnelvst::tool
