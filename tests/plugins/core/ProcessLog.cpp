#include "ProcessLog.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace testplugin {

void ProcessLog::add(const ProcessRecord& record) noexcept {
    // Audio threads (instances of one library may process on several at once):
    // each claims its own slot, copies into it, then publishes it by the count.
    const std::int64_t index = claimed_.fetch_add(1, std::memory_order_relaxed);
    ring_[static_cast<std::size_t>(index) % ringSize] = record;
    total_.fetch_add(1, std::memory_order_release);
}

void ProcessLog::addPoint(const QueuePoint& point) noexcept {
    const std::int64_t index = pointsClaimed_.fetch_add(1, std::memory_order_relaxed);
    if (index >= static_cast<std::int64_t>(pointSlots))
        return;
    points_[static_cast<std::size_t>(index)] = point;
    pointsWritten_.fetch_add(1, std::memory_order_release);
}

std::vector<QueuePoint> ProcessLog::points() const {
    const std::int64_t written = pointsWritten_.load(std::memory_order_acquire);
    return {points_.begin(), points_.begin() + std::min<std::int64_t>(written, pointSlots)};
}

void ProcessLog::violation(const char* format, ...) noexcept {
    // Audio thread: reserve a slot, format into it, then mark it readable.
    const std::int64_t index = violationCount_.fetch_add(1, std::memory_order_relaxed);
    if (index >= static_cast<std::int64_t>(violationSlots))
        return;
    Slot& slot = slots_[static_cast<std::size_t>(index)];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(slot.text, sizeof slot.text, format, arguments);
    va_end(arguments);
    slot.ready.store(true, std::memory_order_release);
}

std::int64_t ProcessLog::count() const noexcept {
    return total_.load(std::memory_order_acquire);
}

std::vector<ProcessRecord> ProcessLog::last(std::size_t n) const {
    const std::int64_t total = total_.load(std::memory_order_acquire);
    const auto kept = static_cast<std::size_t>(std::min<std::int64_t>(total, ringSize));
    const std::size_t wanted = std::min(n, kept);
    std::vector<ProcessRecord> records;
    records.reserve(wanted);
    for (std::int64_t index = total - static_cast<std::int64_t>(wanted); index < total; ++index)
        records.push_back(ring_[static_cast<std::size_t>(index) % ringSize]);
    return records;
}

void ProcessLog::appendViolations(std::vector<std::string>& out) const {
    const std::int64_t reported = violationCount_.load(std::memory_order_acquire);
    const auto kept = static_cast<std::size_t>(std::min<std::int64_t>(reported, violationSlots));
    for (std::size_t index = 0; index < kept; ++index) {
        if (slots_[index].ready.load(std::memory_order_acquire))
            out.emplace_back(slots_[index].text);
    }
    if (reported > static_cast<std::int64_t>(violationSlots))
        out.push_back(std::to_string(reported - static_cast<std::int64_t>(violationSlots)) +
                      " more violations inside process were not kept");
}

void ProcessLog::reset() noexcept {
    for (auto& slot : slots_)
        slot.ready.store(false, std::memory_order_relaxed);
    violationCount_.store(0, std::memory_order_release);
    claimed_.store(0, std::memory_order_relaxed);
    total_.store(0, std::memory_order_release);
    pointsClaimed_.store(0, std::memory_order_relaxed);
    pointsWritten_.store(0, std::memory_order_release);
}

} // namespace testplugin
