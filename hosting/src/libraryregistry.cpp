#include "libraryregistry.h"

#include "moduleplatform.h"

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

struct Registry
{
	std::mutex mutex;
	std::map<void*, std::unique_ptr<LoadedLibrary>> libraries;
};

Registry& registry ()
{
	// Never destroyed: Modules held by other static objects may still be
	// released while the process exits.
	static auto* instance = new Registry;
	return *instance;
}

} // namespace

LoadedLibrary* LibraryRegistry::acquire (const std::string& libraryPath,
										 std::string& errorDescription)
{
	std::error_code error;
	const auto canonical = std::filesystem::canonical (pathFromUtf8 (libraryPath), error);
	if (error)
	{
		errorDescription = libraryPath + ": " + error.message ();
		return nullptr;
	}
	const std::string absolutePath = utf8FromPath (canonical);

	auto& table = registry ();
	std::lock_guard<std::mutex> lock (table.mutex);
	void* handle = Platform::openLibrary (absolutePath, errorDescription);
	if (!handle)
		return nullptr;
	auto found = table.libraries.find (handle);
	if (found != table.libraries.end ())
	{
		// Already ours: keep only the registry's own reference to the library.
		Platform::closeLibrary (handle);
	}
	else
	{
		Platform::GetFactoryFunction getFactory = nullptr;
		if (!Platform::enterLibrary (handle, absolutePath, getFactory, errorDescription))
		{
			Platform::closeLibrary (handle);
			return nullptr;
		}
		// GetPluginFactory hands out a reference of its own.
		auto factory = Steinberg::owned (getFactory ());
		if (!factory)
		{
			errorDescription = "GetPluginFactory of " + absolutePath + " returned no factory";
			Platform::exitLibrary (handle);
			Platform::closeLibrary (handle);
			return nullptr;
		}
		auto library = std::make_unique<LoadedLibrary> (handle, PluginFactory (factory));
		found = table.libraries.emplace (handle, std::move (library)).first;
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
	// when the library's exit function runs.
	void* handle = library.handle;
	auto node = table.libraries.extract (handle);
	node.mapped ().reset ();
	Platform::exitLibrary (handle);
	Platform::closeLibrary (handle);
}

} // namespace Hosting
} // namespace VST3
