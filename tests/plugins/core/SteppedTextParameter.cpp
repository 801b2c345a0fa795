#include "SteppedTextParameter.h"

#include "pluginterfaces/base/fstrdefs.h"
#include "pluginterfaces/base/ustring.h"

namespace testplugin {

using namespace Steinberg;
using namespace Steinberg::Vst;

SteppedTextParameter::SteppedTextParameter(const TChar* title, ParamID id, int32 flags, StepRule rule,
                                           std::vector<const TChar*> texts)
    : Parameter(title, id, nullptr, 0.0, static_cast<int32>(texts.size()) - 1, flags), rule_(rule),
      texts_(std::move(texts)) {}

void SteppedTextParameter::toString(ParamValue valueNormalized, String128 string) const {
    UString(string, str16BufferSize(String128))
        .assign(texts_[static_cast<std::size_t>(toPlain(valueNormalized))]);
}

bool SteppedTextParameter::fromString(const TChar* string, ParamValue& valueNormalized) const {
    for (std::size_t step = 0; step < texts_.size(); ++step) {
        if (strcmp16(texts_[step], string) == 0) {
            valueNormalized = toNormalized(static_cast<ParamValue>(step));
            return true;
        }
    }
    return false;
}

ParamValue SteppedTextParameter::toPlain(ParamValue valueNormalized) const {
    return stepOf(valueNormalized, info.stepCount, rule_);
}

ParamValue SteppedTextParameter::toNormalized(ParamValue plainValue) const {
    return std::clamp(plainValue, 0.0, static_cast<ParamValue>(info.stepCount)) / info.stepCount;
}

} // namespace testplugin
