#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "varnel/VLAny.h"

namespace varnel {

// Named events with listeners. Control threads only: it locks and allocates.
class EventEmitter {
public:
    using Listener = std::function<void(const VLAny& payload)>;

    EventEmitter() = default;
    EventEmitter(const EventEmitter&) = delete;
    EventEmitter& operator=(const EventEmitter&) = delete;
    virtual ~EventEmitter();

    // Adds a listener for eventName; listeners stay for the emitter's lifetime.
    void on(const std::string& eventName, Listener listener) noexcept;

    // Calls the listeners of eventName in the order they were added and returns
    // how many were called. Listeners run outside the emitter's lock, so they may
    // add listeners; one that throws is logged and the rest still run.
    std::size_t emit(const std::string& eventName, const VLAny& payload) noexcept;

private:
    mutable std::mutex listenersMutex;
    std::map<std::string, std::vector<Listener>> listeners;
};

} // namespace varnel
