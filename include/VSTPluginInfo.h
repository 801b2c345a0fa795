#pragma once

#include "VSTParameter.h"

#include <cstdint>
#include <string>
#include <vector>

namespace varnel::extensions::vst {

/// One class a plug-in's factory declares, as the factory describes it.
struct VSTPluginClassInfo {
    std::string name;                       ///< UTF-8
    std::string vendor;                     ///< UTF-8; the factory's vendor when the class names none
    std::string version;                    ///< e.g. "1.2.0"; empty when not declared
    std::string category;                   ///< e.g. "Audio Module Class"
    std::vector<std::string> subCategories; ///< e.g. {"Fx", "Dynamics"}
    std::string classId;                    ///< 32 upper-case hex digits
    /// An instrument (a synth, a sampler, a drum machine), not an effect: its
    /// category or one of its sub-categories is "Instrument", as in "Instrument|Synth".
    /// Bundles hold instruments beside effects; fed audio without notes, they
    /// output silence.
    bool isInstrument = false;
};

/// One audio bus of a plug-in's component, as it declares it at load.
struct VSTBusInfo {
    std::string name;              ///< UTF-8
    bool isInput = true;           ///< direction
    std::int32_t index = 0;        ///< index within its direction
    std::int32_t channelCount = 0; ///< as declared (after the host's negotiation)
    bool isAuxiliary = false;      ///< a side-chain or other auxiliary bus, not the main one
    bool defaultActive = false;    ///< the plug-in wants it active by default
};

/// What the edit controller says about one parameter beyond VSTParameter.
struct VSTParameterDetails {
    VSTParameter parameter;   ///< what VSTModule::getParameters gives for it
    std::string shortTitle;   ///< UTF-8; may be empty
    bool hidden = false;      ///< the plug-in does not want it shown to users
    bool canAutomate = false; ///< the host may automate it (kCanAutomate)
    bool isBypass = false;    ///< the plug-in's own bypass switch (kIsBypass)
    bool isList = false;      ///< a stepped parameter best shown as a list of names
    double value = 0.0;       ///< the controller's current normalised value
    std::string valueText;    ///< the controller's text for `value` (without units); may be empty
};

} // namespace varnel::extensions::vst
