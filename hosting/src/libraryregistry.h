// The process-wide table of loaded plug-in libraries behind Module.
#pragma once

#include "public.sdk/source/vst/hosting/module.h"

#include <string>
#include <utility>

namespace VST3
{
namespace Hosting
{

/** One plug-in library as loaded in this process: entered once, its factory
	asked for once, and shared by every Module that names the same file. */
class LoadedLibrary
{
public:
	LoadedLibrary (void* handle, PluginFactory factory) noexcept
		: handle (handle), factory (std::move (factory))
	{
	}

	const PluginFactory& getFactory () const noexcept { return factory; }

private:
	friend class LibraryRegistry;
	void* handle;
	PluginFactory factory;
	int owners{0};
};

/** Loads and unloads libraries, keyed by the system loader's handle: every
	path that reaches the same file (a link, on Windows another letter case or
	a short name) gives the same handle, so the library is entered once. Both calls
	hold one process-wide lock for their whole duration, so an unload (factory
	release, exit function, unmapping) can never overlap a load of the same file. */
class LibraryRegistry
{
public:
	/** Gives the library at libraryPath (UTF-8) with one more owner, loading it
		first when nobody holds it; null with a one-line reason on failure. */
	static LoadedLibrary* acquire (const std::string& libraryPath, std::string& errorDescription);

	/** Drops one owner; the last one unloads the library. */
	static void release (LoadedLibrary& library) noexcept;
};

} // namespace Hosting
} // namespace VST3
