#include "ClassCatalog.h"

#include "PluginConfig.h"

#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"

#include <cstdint>
#include <cstring>

namespace testplugin {
namespace {

// Stable, distinct ids derived from the class name, so every build of a bundle
// declares the same classes and no two names share one.
ClassId classIdFor(const std::string& name) {
    ClassId id{};
    for (std::size_t word = 0; word < 4; ++word) {
        std::uint32_t hash = 2166136261u ^ static_cast<std::uint32_t>(word * 0x9e3779b9u);
        for (char c : name)
            hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
        std::memcpy(id.data() + word * 4, &hash, 4);
    }
    return id;
}

ClassEntry componentClass(const std::string& name, bool withController) {
    return {name,
            kVstAudioEffectClass,
            Role::component,
            classIdFor(name),
            withController,
            classIdFor(name + " Controller")};
}

ClassEntry controllerClass(const std::string& componentName) {
    const std::string name = componentName + " Controller";
    return {name, kVstComponentControllerClass, Role::controller, classIdFor(name), false, {}};
}

std::vector<ClassEntry> buildCatalog() {
    const std::string name = kPluginConfig.name;
    switch (kPluginConfig.classes) {
    case ClassLayout::separate:
        return {componentClass(name, true), controllerClass(name)};
    case ClassLayout::combined: {
        ClassEntry combined = componentClass(name, false);
        combined.role = Role::combined;
        return {combined};
    }
    case ClassLayout::none:
        return {};
    case ClassLayout::twoModules:
        return {componentClass(name + " A", true), controllerClass(name + " A"),
                componentClass(name + " B", true), controllerClass(name + " B")};
    case ClassLayout::effectAndInstrument: {
        ClassEntry synth = componentClass(name + " Synth", true);
        synth.instrument = true;
        return {componentClass(name + " Fx", true), controllerClass(name + " Fx"), synth,
                controllerClass(name + " Synth")};
    }
    case ClassLayout::controllerOnly:
        return {controllerClass(name)};
    case ClassLayout::missingController:
        // Names "<name> Controller" like the separate layout, but never declares it.
        return {componentClass(name, true)};
    }
    return {};
}

} // namespace

const std::vector<ClassEntry>& declaredClasses() {
    static const std::vector<ClassEntry> catalog = buildCatalog();
    return catalog;
}

const ClassEntry* findClass(const char* id) {
    if (id == nullptr)
        return nullptr;
    for (const auto& entry : declaredClasses()) {
        if (std::memcmp(entry.id.data(), id, entry.id.size()) == 0)
            return &entry;
    }
    return nullptr;
}

std::string className(const char* id) {
    const ClassEntry* entry = findClass(id);
    return entry != nullptr ? entry->name : "unknown class";
}

} // namespace testplugin
