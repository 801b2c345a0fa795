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
	std::map<std::string, std::unique_ptr<LoadedLibrary>> libraries;
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
	const std::string key = utf8FromPath (canonical);

	auto& table = registry ();
	std::lock_guard<std::mutex> lock (table.mutex);
	auto found = table.libraries.find (key);
	if (found == table.libraries.end ())
	{
		Steinberg::IPtr<Steinberg::IPluginFactory> factory;
		void* handle = Platform::loadLibrary (key, factory, errorDescription);
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
	// when the library's exit function runs.
	void* handle = library.handle;
	auto node = table.libraries.extract (library.key);
	node.mapped ().reset ();
	Platform::unloadLibrary (handle);
}

} // namespace Hosting
} // namespace VST3
