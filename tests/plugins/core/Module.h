#pragma once

// The module entry points' behaviour and the module-level order rules:
// ModuleEntry once, GetPluginFactory only after it, ModuleExit only after it and
// only when every plug-in object has been released.

namespace Steinberg {
class IPluginFactory;
}

namespace testplugin {

bool enterModule(void* sharedLibraryHandle);
bool exitModule();
Steinberg::IPluginFactory* createFactory();
bool moduleEntered();

} // namespace testplugin
