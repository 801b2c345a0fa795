// The plug-in's lifecycle. VST 3 allows configuration only while a component is
// inactive, and no block after processing is switched off, so each instance moves
// one step at a time along
//   created <-> initialized <-> connected <-> setUp <-> active <-> processing
// and every transition goes through moveTo. The two instances of a dual-mono
// plug-in move together, each in that order.
#include "plugin/local/LocalPlugin.h"

#include "thread/PluginThread.h"

#include <algorithm>
#include <chrono>

namespace varnel::extensions::vst {

using namespace Steinberg;
using namespace Steinberg::Vst;

using State = LifecycleState;

namespace {

// The SDK's base classes answer kNotImplemented for a processing switch they do not
// care about; that is no refusal.
bool switchAccepted(tresult result) {
    return result == kResultOk || result == kNotImplemented;
}

/// Messages a plug-in sends from its audio thread (or any other but the plug-in
/// thread) wait in the proxy for the plug-in thread: up to this many per direction
/// between two deliveries; more are refused to the sender. On the audio thread a
/// message costs one reference taken and one slot claimed in a lock-free queue: no
/// allocation, lock or wait (the plug-in made the message itself, beforehand or
/// not); the reference is let go on the plug-in thread after delivery.
constexpr uint32 kPendingMessages = 256;
/// How often the plug-in thread hands waiting messages over: soon enough for a
/// meter or a display the processor feeds this way, rarely enough to cost nothing.
constexpr std::chrono::milliseconds kMessageDeliveryInterval{10};

} // namespace

bool LocalPlugin::stepUp(PluginInstance& instance) {
    switch (instance.state) {
    case State::created:
        // The load reports a refusal: it knows which class was refused.
        if (!instance.component || callPlugin("initialize", [&] {
                                       return instance.component->initialize(hostApplication);
                                   }) != kResultOk)
            return false;
        instance.state = State::initialized;
        return true;
    case State::initialized: {
        // Component and controller hear each other's messages through one proxy per
        // direction, which the host cuts on the way down whatever the plug-in keeps,
        // and which hands each message over on the plug-in thread only (as VST 3
        // has it), also one sent from inside process. Failed connections are no
        // reason to stop: the plug-in merely hears less. A second instance runs
        // without a controller of its own: its parameter values arrive with the
        // blocks.
        FUnknownPtr<IConnectionPoint> componentPoint(instance.component);
        FUnknownPtr<IConnectionPoint> controllerPoint(controller);
        if (&instance == &lead() && componentPoint && controllerPoint) {
            const auto connectThroughProxy = [&](IConnectionPoint* source, IConnectionPoint* destination) {
                auto proxy = owned(new ConnectionProxy(source, kPendingMessages));
                const bool connected =
                    callPlugin("connect", [&] { return proxy->connect(destination); }) == kResultOk;
                return connected ? proxy : nullptr;
            };
            instance.componentConnection = connectThroughProxy(componentPoint, controllerPoint);
            instance.controllerConnection = connectThroughProxy(controllerPoint, componentPoint);
            if (instance.componentConnection || instance.controllerConnection)
                instance.messageDelivery =
                    PluginThread::instance().addTimer(kMessageDeliveryInterval, [this, &instance] {
                        for (ConnectionProxy* proxy :
                             {instance.componentConnection.get(), instance.controllerConnection.get()}) {
                            if (proxy)
                                callPlugin("notify", [&] { return proxy->deliverPending(), kResultOk; });
                        }
                    });
        }
        instance.state = State::connected;
        return true;
    }
    case State::connected:
        if (callPlugin("setupProcessing", [&] {
                return instance.audioProcessor->setupProcessing(requestedSetup);
            }) != kResultOk) {
            refuseCall("setupProcessing failed");
            // A plug-in keeps the set-up it had when it refuses a new one.
            if (instance.hasSetup)
                instance.state = State::setUp;
            return false;
        }
        if (&instance == &lead())
            acceptedSetup = requestedSetup;
        // Read by the audio thread only once blocks start again.
        instance.maxSamplesPerBlock = requestedSetup.maxSamplesPerBlock;
        instance.processData.processMode = requestedSetup.processMode;
        instance.hasSetup = true;
        instance.state = State::setUp;
        if (&instance == &lead())
            readTiming();
        return true;
    case State::setUp:
        // An inactive plug-in must not be given blocks.
        if (callPlugin("setActive", [&] { return instance.component->setActive(true); }) != kResultOk)
            return refuseCall("setActive to true failed");
        instance.state = State::active;
        if (&instance == &lead()) {
            ++activationCount;
            readTiming();
        }
        return true;
    case State::active: {
        const bool accepted = switchAccepted(
            callPlugin("setProcessing", [&] { return instance.audioProcessor->setProcessing(true); }));
        if (!accepted)
            refuseCall("setProcessing to true failed");
        // Blocks run even when the plug-in refused: many process all the same. It
        // is asked again when the caller asks again.
        instance.refusedSwitch = accepted ? std::nullopt : std::optional<bool>(true);
        instance.state = State::processing;
        return accepted;
    }
    case State::processing:
        return true;
    }
    return false;
}

bool LocalPlugin::stepDown(PluginInstance& instance) {
    switch (instance.state) {
    case State::created:
        return true;
    case State::initialized:
        // The component, and the controller when it is the same object, was
        // initialised here; a separate controller goes first, as it came after.
        if (&instance == &lead() && controllerInitialized) {
            callPlugin("terminate", [&] { return controller->terminate(); });
            controllerInitialized = false;
        }
        callPlugin("terminate", [&] { return instance.component->terminate(); });
        instance.state = State::created;
        return true;
    case State::connected: {
        // Messages still waiting are dropped with the connection, released here on
        // the plug-in thread; none is delivered after the disconnect.
        if (instance.messageDelivery != 0)
            PluginThread::instance().removeTimer(instance.messageDelivery);
        instance.messageDelivery = 0;
        for (ConnectionProxy* proxy :
             {instance.componentConnection.get(), instance.controllerConnection.get()}) {
            if (proxy)
                callPlugin("disconnect", [&] { return proxy->disconnect() ? kResultOk : kResultFalse; });
        }
        instance.componentConnection = nullptr;
        instance.controllerConnection = nullptr;
        instance.state = State::initialized;
        return true;
    }
    case State::setUp:
        // VST 3 has no call that undoes a set-up.
        instance.state = State::connected;
        return true;
    case State::active:
        callPlugin("setActive", [&] { return instance.component->setActive(false); });
        instance.state = State::setUp;
        return true;
    case State::processing: {
        link.stopBlocks();
        blocksRunning = false;
        instance.state = State::active;
        const bool accepted = switchAccepted(
            callPlugin("setProcessing", [&] { return instance.audioProcessor->setProcessing(false); }));
        instance.refusedSwitch = accepted ? std::nullopt : std::optional<bool>(false);
        return accepted || refuseCall("setProcessing to false failed");
    }
    }
    return true;
}

void LocalPlugin::startAudio() {
    // Blocks may be running already; what they read is not touched then.
    if (blocksRunning)
        return;
    Steinberg::int32 smallestMaximum = lead().maxSamplesPerBlock;
    for (int index = 0; index < instanceCount; ++index) {
        const PluginInstance& instance = instances[static_cast<std::size_t>(index)];
        if (instance.state != State::processing)
            return;
        smallestMaximum = std::min(smallestMaximum, instance.maxSamplesPerBlock);
    }
    // Blocks are cut to what every instance accepted, and the scratch buffers grow
    // with the maximum here, while no block runs.
    if (smallestMaximum > scratchFrames)
        prepareScratch(smallestMaximum);
    link.startBlocks(smallestMaximum, acceptedSetup.value_or(requestedSetup).sampleRate);
    blocksRunning = true;
}

LifecycleState LocalPlugin::lowestState() const {
    State level = State::processing;
    for (int index = 0; index < instanceCount; ++index)
        level = std::min(level, instances[static_cast<std::size_t>(index)].state);
    return level;
}

LifecycleState LocalPlugin::highestState() const {
    State level = State::created;
    for (int index = 0; index < instanceCount; ++index)
        level = std::max(level, instances[static_cast<std::size_t>(index)].state);
    return level;
}

bool LocalPlugin::moveTo(LifecycleState target) {
    // All instances move in step: each level is reached by every instance (the
    // last one first on the way down) before the next one is asked for.
    bool accepted = true;
    while (highestState() > target) {
        const State level = highestState();
        for (int index = instanceCount - 1; index >= 0; --index) {
            PluginInstance& instance = instances[static_cast<std::size_t>(index)];
            if (instance.state == level)
                accepted = stepDown(instance) && accepted;
        }
    }
    // Going up stops at the first refusal, so that a refused set-up is asked once;
    // a refused processing switch is no stop, since blocks run all the same.
    bool stopped = false;
    while (!stopped && lowestState() < target) {
        const State level = lowestState();
        for (int index = 0; index < instanceCount && !stopped; ++index) {
            PluginInstance& instance = instances[static_cast<std::size_t>(index)];
            if (instance.state != level)
                continue;
            const bool stepAccepted = stepUp(instance);
            accepted = stepAccepted && accepted;
            stopped = !stepAccepted && level != State::active;
        }
    }
    if (target == State::processing)
        startAudio();
    return accepted;
}

bool LocalPlugin::applySetup(const ProcessSetup& setup, LifecycleState running) {
    moveTo(State::connected);
    requestedSetup = setup;
    const bool accepted = moveTo(State::setUp);
    // The set-up in force stays after a refusal: an instance that was not asked,
    // having stepped back, gets it again, so that all of them share one set-up.
    if (!accepted && acceptedSetup) {
        requestedSetup = *acceptedSetup;
        moveTo(State::setUp);
    }
    if (lowestState() == State::setUp)
        moveTo(running);
    return accepted;
}

bool LocalPlugin::repeatRefusedSwitch(bool processing) {
    bool accepted = true;
    forEachInstance([&](PluginInstance& instance) {
        if (instance.refusedSwitch != processing)
            return;
        const bool taken = switchAccepted(
            callPlugin("setProcessing", [&] { return instance.audioProcessor->setProcessing(processing); }));
        instance.refusedSwitch = taken ? std::nullopt : std::optional<bool>(processing);
        if (!taken)
            accepted =
                refuseCall(processing ? "setProcessing to true failed" : "setProcessing to false failed");
    });
    return accepted;
}

void LocalPlugin::readTiming() {
    // Both instances of a dual-mono plug-in are one class in one set-up: the
    // first speaks for the pair.
    latency = lead().audioProcessor->getLatencySamples();
    tail = lead().audioProcessor->getTailSamples();
}

std::uint32_t LocalPlugin::currentLatency() {
    return lead().audioProcessor->getLatencySamples();
}

} // namespace varnel::extensions::vst
