#include "PluginLookup.h"

#include "BundleScan.h"
#include "NameMatch.h"
#include "TextTable.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <vector>

namespace varnelvst::tool {

namespace fs = std::filesystem;

namespace {

// As long as `plugins` gives a bundle by default.
constexpr std::chrono::seconds kScanLimit{10};

// One effect class of an installed bundle.
struct EffectName {
    std::string name;
    std::string bundle;
};

std::vector<EffectName> installedEffects(const std::vector<std::string>& bundles) {
    std::vector<EffectName> effects;
    for (const std::string& bundle : bundles) {
        for (const auto& info : scanInChildProcess(bundle, kScanLimit, true).classes) {
            if (info.category == "Audio Module Class" && !info.isInstrument)
                effects.push_back({info.name, bundle});
        }
    }
    return effects;
}

// The bundles with an effect of one of `names`, each once.
std::vector<std::string> bundlesOf(const std::vector<EffectName>& effects,
                                   const std::vector<std::string>& names) {
    std::vector<std::string> bundles;
    for (const EffectName& effect : effects) {
        const bool named = std::find(names.begin(), names.end(), effect.name) != names.end();
        if (named && std::find(bundles.begin(), bundles.end(), effect.bundle) == bundles.end())
            bundles.push_back(effect.bundle);
    }
    return bundles;
}

} // namespace

std::optional<PluginLocation> locateByLooseName(const std::string& name, std::string& suggestions) {
    const std::vector<std::string> bundles = findBundles();
    std::vector<std::string> stems;
    for (const std::string& bundle : bundles)
        stems.push_back(fs::path(bundle).stem().string());
    const std::string stem =
        lowerCase(fs::path(name).extension().string()) == ".vst3" ? fs::path(name).stem().string() : name;
    if (const NameMatch bundle = matchName(stems, stem); bundle.index)
        return locatedAt(name, bundles[*bundle.index]);

    const std::vector<EffectName> effects = installedEffects(bundles);
    std::vector<std::string> effectNames;
    for (const EffectName& effect : effects)
        effectNames.push_back(effect.name);
    const NameMatch effect = matchName(effectNames, name);
    if (effect.index) {
        // The name is the class's: every bundle with one so named is a candidate.
        const std::vector<std::string> candidates = bundlesOf(effects, {effectNames[*effect.index]});
        if (candidates.size() == 1) {
            PluginLocation location = locatedAt(name, candidates.front());
            location.pluginClass = effectNames[*effect.index];
            return location;
        }
        suggestions = " (" + counted(candidates.size(), "bundle") + " have an effect " +
                      effectNames[*effect.index] + ": " + joined(candidates, ", ") +
                      "; name the one meant by its path)";
        return std::nullopt;
    }
    std::vector<std::string> known = stems;
    known.insert(known.end(), effectNames.begin(), effectNames.end());
    suggestions = didYouMean(similarNames(known, name));
    return std::nullopt;
}

} // namespace varnelvst::tool
