// Plug-in libraries on Linux: Name.vst3/Contents/<machine>-linux/Name.so,
// entered with ModuleEntry (given the dlopen handle) and left with ModuleExit,
// both required.
#include "moduleplatform.h"

#include <dlfcn.h>
#include <sys/utsname.h>

namespace VST3
{
namespace Hosting
{
namespace Platform
{

namespace
{

using ModuleEntryFunction = bool (*) (void*);
using ModuleExitFunction = bool (*) ();
using GetFactoryFunction = Steinberg::IPluginFactory*(PLUGIN_API*)();

std::string lastDlError ()
{
	const char* text = dlerror ();
	return text ? text : "unknown dlopen error";
}

} // namespace

const char* const libraryExtension = ".so";

std::string bundleArchitectureFolder ()
{
	utsname names{};
	if (uname (&names) != 0)
		return "unknown-linux";
	return std::string (names.machine) + "-linux";
}

void* loadLibrary (const std::string& libraryPath,
				   Steinberg::IPtr<Steinberg::IPluginFactory>& factory,
				   std::string& errorDescription)
{
	// RTLD_LOCAL: plug-ins built from the same framework export the same
	// symbol names and must not bind to each other's.
	void* handle = dlopen (libraryPath.c_str (), RTLD_LAZY | RTLD_LOCAL);
	if (!handle)
	{
		errorDescription = lastDlError ();
		return nullptr;
	}

	auto moduleEntry = reinterpret_cast<ModuleEntryFunction> (dlsym (handle, "ModuleEntry"));
	auto getFactory = reinterpret_cast<GetFactoryFunction> (dlsym (handle, "GetPluginFactory"));
	if (!moduleEntry || !getFactory)
	{
		errorDescription =
			libraryPath + " does not export " + (moduleEntry ? "GetPluginFactory" : "ModuleEntry");
		dlclose (handle);
		return nullptr;
	}

	if (!moduleEntry (handle))
	{
		errorDescription = "ModuleEntry of " + libraryPath + " returned false";
		dlclose (handle);
		return nullptr;
	}

	// GetPluginFactory hands out a reference of its own.
	factory = Steinberg::owned (getFactory ());
	if (!factory)
	{
		errorDescription = "GetPluginFactory of " + libraryPath + " returned no factory";
		unloadLibrary (handle);
		return nullptr;
	}
	return handle;
}

void unloadLibrary (void* handle) noexcept
{
	// The code must still be mapped while ModuleExit runs.
	if (auto moduleExit = reinterpret_cast<ModuleExitFunction> (dlsym (handle, "ModuleExit")))
		moduleExit ();
	dlclose (handle);
}

} // namespace Platform
} // namespace Hosting
} // namespace VST3
