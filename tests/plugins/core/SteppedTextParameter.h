#pragma once

// A stepped parameter whose every step has a text, mapping normalised values to
// steps by a chosen StepRule: an SDK-style list parameter (truncating) or a
// JUCE-style choice parameter (rounding). The value texts are what
// getParamStringByValue shows and getParamValueByString reads back.

#include "ParameterSet.h"

#include "public.sdk/source/vst/vstparameters.h"

#include <vector>

namespace testplugin {

class SteppedTextParameter final : public Steinberg::Vst::Parameter {
public:
    // texts: one per step, as static strings (STR16); stepCount is texts.size() - 1; default step 0.
    SteppedTextParameter(const Steinberg::Vst::TChar* title, Steinberg::Vst::ParamID id,
                         Steinberg::int32 flags, StepRule rule,
                         std::vector<const Steinberg::Vst::TChar*> texts);

    void toString(Steinberg::Vst::ParamValue valueNormalized,
                  Steinberg::Vst::String128 string) const override;
    bool fromString(const Steinberg::Vst::TChar* string,
                    Steinberg::Vst::ParamValue& valueNormalized) const override;
    // The step number, and back to step / stepCount, which every rule maps to that step.
    Steinberg::Vst::ParamValue toPlain(Steinberg::Vst::ParamValue valueNormalized) const override;
    Steinberg::Vst::ParamValue toNormalized(Steinberg::Vst::ParamValue plainValue) const override;

private:
    const StepRule rule_;
    const std::vector<const Steinberg::Vst::TChar*> texts_;
};

} // namespace testplugin
