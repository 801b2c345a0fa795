// What the module loader needs from the operating system: where a bundle keeps
// this machine's library, and loading, entering and unloading that library.
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

/** Loads the library at libraryPath (UTF-8), calls its entry function and
	takes its factory. Gives an opaque handle for unloadLibrary and fills
	factory, or gives null with a one-line reason, having undone what it did. */
void* loadLibrary (const std::string& libraryPath,
				   Steinberg::IPtr<Steinberg::IPluginFactory>& factory,
				   std::string& errorDescription);

/** Calls the library's exit function and unloads it. Every reference to its
	factory must be released before. */
void unloadLibrary (void* handle) noexcept;

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
