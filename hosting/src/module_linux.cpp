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

void* openLibrary (const std::string& libraryPath, std::string& errorDescription)
{
	// RTLD_LOCAL: plug-ins built from the same framework export the same
	// symbol names and must not bind to each other's.
	void* handle = dlopen (libraryPath.c_str (), RTLD_LAZY | RTLD_LOCAL);
	if (!handle)
		errorDescription = lastDlError ();
	return handle;
}

bool enterLibrary (void* handle, const std::string& libraryPath, GetFactoryFunction& getFactory,
				   std::string& errorDescription)
{
	auto moduleEntry = reinterpret_cast<ModuleEntryFunction> (dlsym (handle, "ModuleEntry"));
	getFactory = reinterpret_cast<GetFactoryFunction> (dlsym (handle, "GetPluginFactory"));
	if (!moduleEntry || !getFactory)
	{
		errorDescription =
			libraryPath + " does not export " + (moduleEntry ? "GetPluginFactory" : "ModuleEntry");
		return false;
	}

	if (!moduleEntry (handle))
	{
		errorDescription = "ModuleEntry of " + libraryPath + " returned false";
		return false;
	}

	return true;
}

void exitLibrary (void* handle) noexcept
{
	if (auto moduleExit = reinterpret_cast<ModuleExitFunction> (dlsym (handle, "ModuleExit")))
		moduleExit ();
}

void closeLibrary (void* handle) noexcept
{
	dlclose (handle);
}

} // namespace Platform
} // namespace Hosting
} // namespace VST3
