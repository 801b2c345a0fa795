// The exported symbols of a test plug-in library, compiled into each bundle so
// that a variant can leave ModuleEntry out. Everything else in the library is
// hidden (see TestPluginExports.map).

#include "core/Module.h"
#include "core/Recorder.h"

#include "pluginterfaces/base/ipluginbase.h"

extern "C" {

#ifndef VARNELVST_TEST_PLUGIN_WITHOUT_MODULE_ENTRY
SMTG_EXPORT_SYMBOL bool ModuleEntry(void* sharedLibraryHandle) {
    return testplugin::enterModule(sharedLibraryHandle);
}
#endif

SMTG_EXPORT_SYMBOL bool ModuleExit() {
    return testplugin::exitModule();
}

SMTG_EXPORT_SYMBOL Steinberg::IPluginFactory* PLUGIN_API GetPluginFactory() {
    return testplugin::createFactory();
}

SMTG_EXPORT_SYMBOL testplugin::TestPluginProbe* VarnelTestPlugin_probe() {
    return &testplugin::Recorder::instance();
}

} // extern "C"
