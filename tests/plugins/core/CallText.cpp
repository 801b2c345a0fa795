#include "CallText.h"

#include "pluginterfaces/base/ipluginbase.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/ivsthostapplication.h"
#include "pluginterfaces/vst/ivstmessage.h"
#include "pluginterfaces/vst/vstspeaker.h"

#include <cstdio>

namespace testplugin {

using namespace Steinberg;

std::string describeContext(FUnknown* context) {
    if (context == nullptr)
        return "context=null";
    Vst::IHostApplication* host = nullptr;
    if (context->queryInterface(Vst::IHostApplication::iid, reinterpret_cast<void**>(&host)) != kResultOk ||
        host == nullptr)
        return "context=non-null hostApplication=no";
    Vst::String128 name16 = {};
    std::string name;
    if (host->getName(name16) == kResultOk) {
        // Host names are ASCII in practice; anything wider is shown as '?'.
        for (const Vst::TChar* c = name16; *c != 0; ++c)
            name += *c < 128 ? static_cast<char>(*c) : '?';
    }
    host->release();
    return "context=non-null hostApplication=yes name=" + name;
}

std::string interfaceName(const char* iid) {
    if (iid == nullptr)
        return "null interface id";
    const struct {
        const TUID& id;
        const char* name;
    } known[] = {
        {Vst::IComponent::iid, "IComponent"},
        {Vst::IAudioProcessor::iid, "IAudioProcessor"},
        {Vst::IEditController::iid, "IEditController"},
        {Vst::IConnectionPoint::iid, "IConnectionPoint"},
        {IPluginBase::iid, "IPluginBase"},
        {FUnknown::iid, "FUnknown"},
    };
    for (const auto& entry : known) {
        if (FUnknownPrivate::iidEqual(entry.id, iid))
            return entry.name;
    }
    return "other interface";
}

std::string arrangementName(Vst::SpeakerArrangement arrangement) {
    if (arrangement == Vst::SpeakerArr::kMono)
        return "mono";
    if (arrangement == Vst::SpeakerArr::kStereo)
        return "stereo";
    char text[32];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(arrangement));
    return text;
}

std::string busName(Vst::MediaType type, Vst::BusDirection direction) {
    std::string text = type == Vst::kAudio   ? "audio"
                       : type == Vst::kEvent ? "event"
                                             : "media " + std::to_string(type);
    return text + (direction == Vst::kInput ? " input" : " output");
}

const char* channelLayoutName(int channels) {
    switch (channels) {
    case 0:
        return "without channels";
    case 1:
        return "mono (1 channel)";
    case 2:
        return "stereo (2 channels)";
    default:
        return "multi-channel";
    }
}

} // namespace testplugin
