#pragma once

// Readable argument texts for call records and violation messages.

#include "pluginterfaces/base/funknown.h"
#include "pluginterfaces/vst/vsttypes.h"

#include <string>

namespace testplugin {

// "context=null", or "context=non-null hostApplication=yes name=<host name>" / "hostApplication=no".
std::string describeContext(Steinberg::FUnknown* context);
// "IComponent", "IEditController", ... or "other interface".
std::string interfaceName(const char* iid);
// "mono", "stereo", or the arrangement's hex bits.
std::string arrangementName(Steinberg::Vst::SpeakerArrangement arrangement);
// "audio input", "event output", ...
std::string busName(Steinberg::Vst::MediaType type, Steinberg::Vst::BusDirection direction);
// "mono (1 channel)", "stereo (2 channels)", ...; a constant text, so the audio thread may use it.
const char* channelLayoutName(int channels);

} // namespace testplugin
