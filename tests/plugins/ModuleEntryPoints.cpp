// The exported symbols of a test plug-in library, compiled into each bundle so
// that a variant can leave the entry function out. Everything else in the
// library is hidden (on Linux by TestPluginExports.map; on Windows only what is
// marked dllexport is exported).
//
// Windows hosts call InitDll and ExitDll where Linux hosts call ModuleEntry and
// ModuleExit; the record names both by their role, ModuleEntry and ModuleExit,
// so that the order rules read the same on every system.

#include "core/Module.h"
#include "core/Recorder.h"

#include "pluginterfaces/base/ipluginbase.h"

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

extern "C" {

#if defined(_WIN32)

#ifndef VARNELVST_TEST_PLUGIN_WITHOUT_MODULE_ENTRY
SMTG_EXPORT_SYMBOL bool InitDll() {
    // The library's own handle, as ModuleEntry is given it on Linux.
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&InitDll), &self);
    return testplugin::enterModule(self);
}
#endif

SMTG_EXPORT_SYMBOL bool ExitDll() {
    return testplugin::exitModule();
}

#else

#ifndef VARNELVST_TEST_PLUGIN_WITHOUT_MODULE_ENTRY
SMTG_EXPORT_SYMBOL bool ModuleEntry(void* sharedLibraryHandle) {
    return testplugin::enterModule(sharedLibraryHandle);
}
#endif

SMTG_EXPORT_SYMBOL bool ModuleExit() {
    return testplugin::exitModule();
}

#endif

SMTG_EXPORT_SYMBOL Steinberg::IPluginFactory* PLUGIN_API GetPluginFactory() {
    return testplugin::createFactory();
}

SMTG_EXPORT_SYMBOL testplugin::TestPluginProbe* VarnelTestPlugin_probe() {
    return &testplugin::Recorder::instance();
}

} // extern "C"
