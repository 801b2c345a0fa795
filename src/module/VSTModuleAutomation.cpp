// Automation on the control side: envelopes and timed changes are checked here,
// then handed to the audio side (ParameterAutomation), which plays them into the
// blocks' parameter queues.
#include "module/VSTModuleInternals.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <sstream>
#include <unordered_map>

namespace varnel::extensions::vst {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

bool isNormalised(double value) {
    return std::isfinite(value) && value >= 0.0 && value <= 1.0;
}

std::string describe(double value) {
    std::ostringstream text;
    text << value;
    return text.str();
}

// Why `points` cannot be an envelope, or empty.
std::string envelopeFault(const std::vector<VSTAutomationPoint>& points) {
    for (std::size_t index = 0; index < points.size(); ++index) {
        if (!isNormalised(points[index].value))
            return "Envelope value out of range (0 to 1) at frame " + std::to_string(points[index].frame) +
                   ": " + describe(points[index].value);
        if (index > 0 && points[index].frame <= points[index - 1].frame)
            return "Envelope points out of order: frame " + std::to_string(points[index].frame) +
                   " after frame " + std::to_string(points[index - 1].frame);
    }
    return {};
}

} // namespace

std::string VSTModule::Internals::automationRefusal(ParamID id) const {
    if (isReadOnly(id))
        return kReadOnlyReason + std::to_string(id);
    // Only listed ids: their played values are the ones the controller follows.
    if (!audio.playedValues.lists(id))
        return "Parameter not found: " + std::to_string(id);
    return {};
}

void VSTModule::Internals::publishEnvelopes() {
    std::unordered_map<ParamID, int32> stepCounts;
    if (plugin().hasController()) {
        for (const ParameterInfo& info : plugin().parameterInfos())
            stepCounts[info.id] = info.stepCount;
    }
    auto set = std::make_unique<AutomationSet>();
    set->lanes.reserve(settings.envelopes.size());
    for (const auto& [id, points] : settings.envelopes)
        set->lanes.push_back(AutomationLane{id, stepCounts[id] > 0, points});
    audio.automation.publish(std::move(set));
}

bool VSTModule::setParameterEnvelope(unsigned int id, std::vector<VSTAutomationPoint> points) {
    Internals& in = *internals;
    return in.enter("setParameterEnvelope", [&] {
        if (!in.loaded())
            return in.refuse(kNoProcessorReason);
        if (const std::string refusal = in.automationRefusal(id); !refusal.empty())
            return in.refuse(refusal);
        if (const std::string fault = envelopeFault(points); !fault.empty())
            return in.refuse(fault);
        if (points.empty())
            in.settings.envelopes.erase(id);
        else
            in.settings.envelopes[id] = std::move(points);
        in.publishEnvelopes();
        return true;
    });
}

void VSTModule::clearParameterEnvelopes() {
    Internals& in = *internals;
    in.enter("clearParameterEnvelopes", [&] {
        if (in.settings.envelopes.empty())
            return;
        in.settings.envelopes.clear();
        in.publishEnvelopes();
    });
}

bool VSTModule::setParameterAt(unsigned int id, float value, int frameOffset) {
    Internals& in = *internals;
    return in.enter("setParameterAt", [&] {
        if (!in.loaded())
            return in.refuse(kNoProcessorReason);
        if (const std::string refusal = in.automationRefusal(id); !refusal.empty())
            return in.refuse(refusal);
        if (frameOffset < 0)
            return in.refuse("Invalid frame offset: " + std::to_string(frameOffset));
        if (!isNormalised(value))
            return in.refuse("Parameter value out of range (0 to 1): " + describe(value));
        if (!in.audio.automation.schedule(id, value, frameOffset))
            return in.refuse("Too many timed parameter changes wait for a block");
        return true;
    });
}

} // namespace varnel::extensions::vst
