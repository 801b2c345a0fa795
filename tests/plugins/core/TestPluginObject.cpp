#include "TestPluginObject.h"

#include "CallText.h"
#include "PluginConfig.h"
#include "Recorder.h"
#include "TestView.h"

#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/ivsthostapplication.h"
#include "pluginterfaces/vst/ivstmessage.h"
#include "pluginterfaces/vst/ivstpluginterfacesupport.h"
#include "pluginterfaces/vst/ivstunits.h"

namespace testplugin {

using namespace Steinberg;
using namespace Steinberg::Vst;

TestPluginObject::TestPluginObject(const ClassEntry& entry)
    : entry_(entry), instance_(Recorder::instance().registerObject(entry.name)),
      name_(entry.name + "#" + std::to_string(instance_)) {}

TestPluginObject::~TestPluginObject() {
    if (initialized_ && !terminated_)
        Recorder::instance().violation(name_ + ": last release without IPluginBase::terminate");
    Recorder::instance().forgetController(this);
    Recorder::instance().releaseObject(instance_);
}

tresult PLUGIN_API TestPluginObject::queryInterface(const TUID iid, void** object) {
    FUnknown* answer = nullptr;
    if (FUnknownPrivate::iidEqual(iid, IComponent::iid)) {
        if (isComponent())
            answer = static_cast<IComponent*>(this);
    } else if (FUnknownPrivate::iidEqual(iid, IAudioProcessor::iid)) {
        if (isComponent() && kPluginConfig.answersAudioProcessor)
            answer = static_cast<IAudioProcessor*>(this);
    } else if (FUnknownPrivate::iidEqual(iid, IEditController::iid)) {
        if (isController())
            answer = static_cast<IEditController*>(this);
    } else if (FUnknownPrivate::iidEqual(iid, IPluginBase::iid)) {
        answer = isComponent() ? static_cast<IPluginBase*>(static_cast<IComponent*>(this))
                               : static_cast<IPluginBase*>(static_cast<IEditController*>(this));
    } else if (FUnknownPrivate::iidEqual(iid, IConnectionPoint::iid)) {
        answer = static_cast<IConnectionPoint*>(this);
    } else {
        // FUnknown and the SDK's own object interfaces; the Component base's
        // table is skipped because it would answer IComponent for any role.
        return FObject::queryInterface(iid, object);
    }
    if (answer == nullptr) {
        *object = nullptr;
        return kNoInterface;
    }
    addRef();
    *object = answer;
    return kResultOk;
}

bool TestPluginObject::admit(RecordedCall& call) const {
    if (call.onForeignThread())
        return false;
    if (terminated_) {
        call.violation("after IPluginBase::terminate");
        return false;
    }
    if (!initialized_) {
        call.violation("before IPluginBase::initialize");
        return false;
    }
    return true;
}

namespace {

// Asks what a careful plug-in asks before relying on a host: the interfaces it
// may call, and those of its own the host would use.
void askInterfaceSupport(FUnknown* context, const std::string& object) {
    FUnknownPtr<Vst::IPlugInterfaceSupport> support(context);
    if (!support) {
        RecordedCall call("IPlugInterfaceSupport", "isPlugInterfaceSupported", "unavailable", object);
        call.done(kNoInterface);
        return;
    }
    const struct {
        const FUID& id;
        const char* name;
    } asked[] = {
        {Vst::IComponent::iid, "IComponent"},
        {Vst::IAudioProcessor::iid, "IAudioProcessor"},
        {Vst::IEditController::iid, "IEditController"},
        {Vst::IConnectionPoint::iid, "IConnectionPoint"},
        {Vst::IHostApplication::iid, "IHostApplication"},
        {Vst::IComponentHandler::iid, "IComponentHandler"},
        {Vst::IMessage::iid, "IMessage"},
        {Vst::IAttributeList::iid, "IAttributeList"},
        {Vst::IPlugInterfaceSupport::iid, "IPlugInterfaceSupport"},
        {Vst::IUnitInfo::iid, "IUnitInfo"},
        {Vst::IMidiMapping::iid, "IMidiMapping"},
        {Vst::IEditController2::iid, "IEditController2"},
        {Vst::IProcessContextRequirements::iid, "IProcessContextRequirements"},
    };
    for (const auto& entry : asked) {
        RecordedCall call("IPlugInterfaceSupport", "isPlugInterfaceSupported", entry.name, object);
        call.done(support->isPlugInterfaceSupported(entry.id.toTUID()));
    }
}

} // namespace

tresult PLUGIN_API TestPluginObject::initialize(FUnknown* context) {
    RecordedCall call("IPluginBase", "initialize", describeContext(context), name_);
    if (call.onForeignThread())
        return call.done(kResultFalse);
    if (terminated_) {
        call.violation("after IPluginBase::terminate");
        return call.done(kResultFalse);
    }
    if (initialized_) {
        call.violation("called twice");
        return call.done(kResultFalse);
    }
    if (isComponent() && kPluginConfig.initializeFails)
        return call.done(kResultFalse);
    const tresult result = Component::initialize(context);
    if (result != kResultOk)
        return call.done(result);
    if (isComponent())
        addBuses();
    if (isController())
        addParameters();
    if (isComponent() && kPluginConfig.asksInterfaceSupport)
        askInterfaceSupport(context, name_);
    initialized_ = true;
    return call.done(kResultOk);
}

tresult PLUGIN_API TestPluginObject::terminate() {
    RecordedCall call("IPluginBase", "terminate", "", name_);
    if (call.onForeignThread())
        return call.done(kResultFalse);
    if (terminated_) {
        call.violation("after IPluginBase::terminate (terminated twice)");
        return call.done(kResultFalse);
    }
    if (!initialized_) {
        call.violation("before IPluginBase::initialize");
        return call.done(kResultFalse);
    }
    if (active_)
        call.violation("while the component is active (setActive(false) missing)");
    if (getPeer() != nullptr)
        call.violation("while still connected (IConnectionPoint::disconnect missing)");
    // Without a handler a controller cannot tell the host about its own edits, a
    // new latency or changed parameters; that matters once the plug-in ran.
    if (isController() && !handlerGiven_ && Recorder::instance().anyActivated())
        call.violation("of an edit controller never given a component handler "
                       "(IEditController::setComponentHandler missing)");
    if (isController() && liveTestViews() > 0)
        call.violation("while its editor view is still alive (the view is released first)");
    if (isController())
        Recorder::instance().setComponentHandler(nullptr, nullptr);
    terminated_ = true;
    setUp_ = false;
    active_ = false;
    processing_ = false;
    // The base removes the buses and, for a host that forgot, disconnects the peer.
    return call.done(Component::terminate());
}

tresult PLUGIN_API TestPluginObject::connect(IConnectionPoint* other) {
    RecordedCall call("IConnectionPoint", "connect", other != nullptr ? "other=non-null" : "other=null",
                      name_);
    if (!admit(call))
        return call.refuse(kNotInitialized);
    return call.done(ComponentBase::connect(other));
}

tresult PLUGIN_API TestPluginObject::disconnect(IConnectionPoint* other) {
    RecordedCall call("IConnectionPoint", "disconnect", other != nullptr ? "other=non-null" : "other=null",
                      name_);
    if (!admit(call))
        return call.refuse(kNotInitialized);
    return call.done(ComponentBase::disconnect(other));
}

tresult PLUGIN_API TestPluginObject::notify(IMessage* message) {
    const char* id = message != nullptr ? message->getMessageID() : nullptr;
    RecordedCall call("IConnectionPoint", "notify", std::string("id=") + (id != nullptr ? id : "null"),
                      name_);
    if (!admit(call))
        return call.refuse(kNotInitialized);
    return call.done(ComponentBase::notify(message));
}

const char* TestPluginObject::stateInterface() const {
    return entry_.role == Role::controller ? "IEditController" : "IComponent";
}

} // namespace testplugin
