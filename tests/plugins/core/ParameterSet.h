#pragma once

// The parameter ids of the family and the step rules of its stepped
// parameters, shared by the controller (which lists and names them) and the
// processor (which turns normalised values into steps on the audio thread), so
// that both sides agree on every step.

#include "pluginterfaces/vst/vsttypes.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace testplugin {

// ParameterLayout::standard; the two-way layout keeps them and adds the rest.
constexpr Steinberg::Vst::ParamID kGainId = 1;
constexpr Steinberg::Vst::ParamID kModeId = 2;
constexpr Steinberg::Vst::ParamID kMeterId = 3; // read-only: the output peak, reported every rendered block
constexpr Steinberg::Vst::ParamID kHiddenId = 4;
// ParameterLayout::twoWay only.
constexpr Steinberg::Vst::ParamID kProgramId = 5; // truncating list "Full", "Half", "Quarter"
constexpr Steinberg::Vst::ParamID kChoiceId = 6;  // rounding choice "Low", "Mid", "High"
constexpr Steinberg::Vst::ParamID kLatencyId = 7; // read-only: samples / kMaxLatency

// "Program" and "Choice" have three values each: steps 0, 1 and 2.
constexpr Steinberg::int32 kListStepCount = 2;
// The gain each program sets (step 0, 1, 2): the normalised "Gain" value.
constexpr std::array<double, 3> kProgramGains = {1.0, 0.5, 0.25};
// The factor each choice scales the output by (step 0, 1, 2).
constexpr std::array<double, 3> kChoiceFactors = {1.0, 0.5, 0.25};

// How a stepped parameter maps a normalised value to its step: the SDK's list
// parameters truncate, JUCE's choice parameters round. Both land on step i at
// i / stepCount; only truncation does at i / (stepCount + 1).
enum class StepRule { truncate, round };

// Audio thread safe: no allocation. Values outside 0..1 count as the nearest end.
inline Steinberg::int32 stepOf(double normalized, Steinberg::int32 stepCount, StepRule rule) {
    const double value = std::clamp(normalized, 0.0, 1.0);
    const double step =
        rule == StepRule::truncate ? std::floor(value * (stepCount + 1)) : std::round(value * stepCount);
    return std::min(stepCount, static_cast<Steinberg::int32>(step));
}

} // namespace testplugin
