#include "varnel/EventEmitter.h"

#include <exception>

#include "varnel/Logger.h"

namespace varnel {

EventEmitter::~EventEmitter() = default;

void EventEmitter::on(const std::string& eventName, Listener listener) noexcept {
    if (!listener) {
        return;
    }
    try {
        const std::lock_guard<std::mutex> lock(listenersMutex);
        listeners[eventName].push_back(std::move(listener));
    } catch (const std::exception& failure) {
        Logger::error("[EventEmitter] could not add a listener for \"" + eventName + "\": " + failure.what());
    }
}

std::size_t EventEmitter::emit(const std::string& eventName, const VLAny& payload) noexcept {
    std::vector<Listener> toCall;
    try {
        const std::lock_guard<std::mutex> lock(listenersMutex);
        const auto entry = listeners.find(eventName);
        if (entry == listeners.end()) {
            return 0;
        }
        // A copy, so listeners run unlocked and may add listeners themselves.
        toCall = entry->second;
    } catch (const std::exception& failure) {
        Logger::error("[EventEmitter] could not emit \"" + eventName + "\": " + failure.what());
        return 0;
    }
    for (const Listener& listener : toCall) {
        try {
            listener(payload);
        } catch (const std::exception& failure) {
            Logger::error("[EventEmitter] a listener for \"" + eventName + "\" failed: " + failure.what());
        } catch (...) {
            Logger::error("[EventEmitter] a listener for \"" + eventName + "\" failed");
        }
    }
    return toCall.size();
}

} // namespace varnel
