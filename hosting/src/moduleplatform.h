// What the module loader needs from the operating system: where a bundle keeps
// this machine's library, and opening, entering, leaving and closing it.
// One implementation per system: module_linux.cpp, module_win32.cpp.
#pragma once

#include "pluginterfaces/base/ipluginbase.h"
#include "pluginterfaces/base/smartpointer.h"

#include <filesystem>
#include <string>

namespace VST3
{
namespace Hosting
{
namespace Platform
{

/** The folder inside a bundle's Contents that holds this machine's library,
	e.g. "x86_64-linux" or "x86_64-win". */
std::string bundleArchitectureFolder ();

/** The extension of a plug-in library file: ".so" on Linux, ".vst3" on Windows. */
extern const char* const libraryExtension;

/** Opens the library at libraryPath (an absolute UTF-8 path) without calling
	any of its functions. Opening a library that is already open gives the
	same handle again, with one more reference. Null with a one-line reason. */
void* openLibrary (const std::string& libraryPath, std::string& errorDescription);

/** The library's GetPluginFactory. */
using GetFactoryFunction = Steinberg::IPluginFactory*(PLUGIN_API*)();

/** Calls the opened library's entry function and gives its GetPluginFactory.
	False with a one-line reason when it can't, with the library left as it was
	(an entry that succeeded is matched by the exit function). */
bool enterLibrary (void* handle, const std::string& libraryPath, GetFactoryFunction& getFactory,
				   std::string& errorDescription);

/** Calls the entered library's exit function; every reference to its
	factory must be released before. */
void exitLibrary (void* handle) noexcept;

/** Drops one reference to an opened library; the last one unloads it. */
void closeLibrary (void* handle) noexcept;

} // namespace Platform

/** Paths are UTF-8 strings at the loader's interface on every system; these
	convert without going through the system's narrow code page. */
inline std::filesystem::path pathFromUtf8 (const std::string& text)
{
	return std::filesystem::path (std::u8string (text.begin (), text.end ()));
}

inline std::string utf8FromPath (const std::filesystem::path& path)
{
	const std::u8string text = path.u8string ();
	return std::string (text.begin (), text.end ());
}

} // namespace Hosting
} // namespace VST3
