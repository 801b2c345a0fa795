#include "testsupport/SharedLibrary.h"

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace testsupport {

#if defined(_WIN32)

const char* const moduleEntryName = "InitDll";
const char* const moduleExitName = "ExitDll";

void* openLibrary(const std::string& path, std::string& error) {
    std::wstring wide(static_cast<std::size_t>(path.size()), L'\0');
    const int size = MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), wide.data(),
                                         static_cast<int>(wide.size()));
    wide.resize(static_cast<std::size_t>(size > 0 ? size : 0));
    DWORD previousMode = 0;
    SetThreadErrorMode(SEM_FAILCRITICALERRORS, &previousMode);
    HMODULE library = LoadLibraryW(wide.c_str());
    const DWORD code = GetLastError();
    SetThreadErrorMode(previousMode, nullptr);
    if (library == nullptr)
        error = path + ": LoadLibraryW failed with error " + std::to_string(code);
    return reinterpret_cast<void*>(library);
}

void* findSymbol(void* library, const char* name) {
    if (library == nullptr)
        return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void closeLibrary(void* library) {
    if (library != nullptr)
        FreeLibrary(static_cast<HMODULE>(library));
}

bool callModuleEntry(void* library) {
    auto entry = reinterpret_cast<bool (*)()>(findSymbol(library, moduleEntryName));
    return entry != nullptr && entry();
}

#else

const char* const moduleEntryName = "ModuleEntry";
const char* const moduleExitName = "ModuleExit";

void* openLibrary(const std::string& path, std::string& error) {
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* reason = dlerror();
        error = reason != nullptr ? reason : "dlopen failed";
    }
    return library;
}

void* findSymbol(void* library, const char* name) {
    return library != nullptr ? dlsym(library, name) : nullptr;
}

void closeLibrary(void* library) {
    if (library != nullptr)
        dlclose(library);
}

bool callModuleEntry(void* library) {
    auto entry = reinterpret_cast<bool (*)(void*)>(findSymbol(library, moduleEntryName));
    return entry != nullptr && entry(library);
}

#endif

bool callModuleExit(void* library) {
    auto exit = reinterpret_cast<bool (*)()>(findSymbol(library, moduleExitName));
    return exit != nullptr && exit();
}

} // namespace testsupport
