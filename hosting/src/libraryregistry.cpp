#include "libraryregistry.h"

#include <dlfcn.h>

#include <filesystem>
#include <map>
#include <memory>
#include <mutex>

namespace VST3
{
namespace Hosting
{

namespace
{

using ModuleEntryFunction = bool (*) (void*);
using ModuleExitFunction = bool (*) ();
using GetFactoryFunction = Steinberg::IPluginFactory*(PLUGIN_API*)();

struct Registry
{
	std::mutex mutex;
	std::map<std::string, std::unique_ptr<LoadedLibrary>> libraries;
};

Registry& registry ()
{
	// Never destroyed: Modules held by other static objects may still be
	// released while the process exits.
	static auto* instance = new Registry;
	return *instance;
}

std::string lastDlError ()
{
	const char* text = dlerror ();
	return text ? text : "unknown dlopen error";
}

/** dlopen, ModuleEntry and GetPluginFactory, undone as far as they got on
	failure. Returns the handle and fills factory, or null with a reason. */
void* loadLibrary (const std::string& soPath, Steinberg::IPtr<Steinberg::IPluginFactory>& factory,
				   std::string& errorDescription)
{
	// RTLD_LOCAL: plug-ins built from the same framework export the same
	// symbol names and must not bind to each other's.
	void* handle = dlopen (soPath.c_str (), RTLD_LAZY | RTLD_LOCAL);
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
			soPath + " does not export " + (moduleEntry ? "GetPluginFactory" : "ModuleEntry");
		dlclose (handle);
		return nullptr;
	}

	if (!moduleEntry (handle))
	{
		errorDescription = "ModuleEntry of " + soPath + " returned false";
		dlclose (handle);
		return nullptr;
	}

	// GetPluginFactory hands out a reference of its own.
	factory = Steinberg::owned (getFactory ());
	if (!factory)
	{
		errorDescription = "GetPluginFactory of " + soPath + " returned no factory";
		if (auto moduleExit = reinterpret_cast<ModuleExitFunction> (dlsym (handle, "ModuleExit")))
			moduleExit ();
		dlclose (handle);
		return nullptr;
	}
	return handle;
}

} // namespace

LoadedLibrary* LibraryRegistry::acquire (const std::string& soPath, std::string& errorDescription)
{
	std::error_code error;
	const auto canonical = std::filesystem::canonical (soPath, error);
	if (error)
	{
		errorDescription = soPath + ": " + error.message ();
		return nullptr;
	}
	const std::string key = canonical.string ();

	auto& table = registry ();
	std::lock_guard<std::mutex> lock (table.mutex);
	auto found = table.libraries.find (key);
	if (found == table.libraries.end ())
	{
		Steinberg::IPtr<Steinberg::IPluginFactory> factory;
		void* handle = loadLibrary (key, factory, errorDescription);
		if (!handle)
			return nullptr;
		auto library = std::make_unique<LoadedLibrary> (key, handle, PluginFactory (factory));
		found = table.libraries.emplace (key, std::move (library)).first;
	}
	++found->second->owners;
	return found->second.get ();
}

void LibraryRegistry::release (LoadedLibrary& library) noexcept
{
	auto& table = registry ();
	std::lock_guard<std::mutex> lock (table.mutex);
	if (--library.owners > 0)
		return;

	// The plug-ins expect this exact order: no factory reference may be left
	// when ModuleExit runs, and the code must still be mapped while it does.
	void* handle = library.handle;
	auto node = table.libraries.extract (library.key);
	node.mapped ().reset ();
	if (auto moduleExit = reinterpret_cast<ModuleExitFunction> (dlsym (handle, "ModuleExit")))
		moduleExit ();
	dlclose (handle);
}

} // namespace Hosting
} // namespace VST3
