#pragma once

// The classes a test plug-in's factory declares, derived from its PluginConfig.

#include <array>
#include <string>
#include <vector>

namespace testplugin {

using ClassId = std::array<char, 16>;

// Which VST 3 objects an instance of a class plays.
enum class Role { component, controller, combined };

struct ClassEntry {
    std::string name;     // also the object names' prefix: "TestSeparate#2"
    const char* category; // "Audio Module Class" or "Component Controller Class"
    Role role;
    ClassId id;
    bool namesController; // getControllerClassId answers controllerId
    ClassId controllerId;
    bool instrument = false; // sub-categories "Instrument|Synth" instead of "Fx"
};

// In the factory's order. Built once; lives as long as the library.
const std::vector<ClassEntry>& declaredClasses();
// The declared class with this id, or null.
const ClassEntry* findClass(const char* id);
// The name of a declared class for call records, "unknown class" otherwise.
std::string className(const char* id);

} // namespace testplugin
