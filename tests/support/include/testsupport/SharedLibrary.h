#pragma once

// Opening a plug-in library the way this system's dynamic loader does, for
// tests that reach into a library themselves (dlopen/dlsym on Linux,
// LoadLibraryW/GetProcAddress on Windows). Opening runs no VST 3 entry function.

#include <string>

namespace testsupport {

// The library at `path` (UTF-8), or null with the loader's reason in `error`.
void* openLibrary(const std::string& path, std::string& error);
void* findSymbol(void* library, const char* name);
void closeLibrary(void* library);

// The VST 3 module entry and exit functions as a host on this system calls
// them: ModuleEntry(handle) and ModuleExit() on Linux, InitDll() and ExitDll()
// on Windows. False when the library does not export the function.
bool callModuleEntry(void* library);
bool callModuleExit(void* library);
extern const char* const moduleEntryName;
extern const char* const moduleExitName;

} // namespace testsupport
