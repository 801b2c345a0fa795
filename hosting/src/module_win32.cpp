// Plug-in libraries on Windows: Name.vst3/Contents/x86_64-win/Name.vst3, or an
// older plug-in's single Name.vst3 file, both DLLs. GetPluginFactory is
// required; InitDll (right after loading) and ExitDll (before unloading) are
// called when the library exports them.
#include "moduleplatform.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace VST3
{
namespace Hosting
{
namespace Platform
{

namespace
{

using InitDllFunction = bool (PLUGIN_API*) ();
using ExitDllFunction = bool (PLUGIN_API*) ();

template <typename Function>
Function entryPoint (HMODULE library, const char* name)
{
	return reinterpret_cast<Function> (reinterpret_cast<void*> (GetProcAddress (library, name)));
}

/** The UTF-16 form of a UTF-8 path; empty when the text is not valid UTF-8. */
std::wstring wideFromUtf8 (const std::string& text)
{
	if (text.empty ())
		return {};
	const int size = MultiByteToWideChar (CP_UTF8, MB_ERR_INVALID_CHARS, text.data (),
										  static_cast<int> (text.size ()), nullptr, 0);
	if (size <= 0)
		return {};
	std::wstring wide (static_cast<size_t> (size), L'\0');
	MultiByteToWideChar (CP_UTF8, MB_ERR_INVALID_CHARS, text.data (),
						 static_cast<int> (text.size ()), wide.data (), size);
	return wide;
}

/** The system's text for an error code, in UTF-8, on one line. */
std::string systemMessage (DWORD code)
{
	wchar_t* buffer = nullptr;
	const DWORD length = FormatMessageW (
		FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
		nullptr, code, 0, reinterpret_cast<wchar_t*> (&buffer), 0, nullptr);
	std::string text;
	if (length > 0 && buffer)
	{
		const int size = WideCharToMultiByte (CP_UTF8, 0, buffer, static_cast<int> (length),
											  nullptr, 0, nullptr, nullptr);
		text.resize (static_cast<size_t> (size > 0 ? size : 0));
		if (size > 0)
			WideCharToMultiByte (CP_UTF8, 0, buffer, static_cast<int> (length), text.data (), size,
								 nullptr, nullptr);
	}
	if (buffer)
		LocalFree (buffer);
	while (!text.empty () && (text.back () == '\n' || text.back () == '\r' || text.back () == ' '))
		text.pop_back ();
	if (text.empty ())
		text = "system error";
	return text + " (error " + std::to_string (code) + ")";
}

} // namespace

const char* const libraryExtension = ".vst3";

std::string bundleArchitectureFolder ()
{
#if defined(_M_ARM64) || defined(__aarch64__)
	return "arm64-win";
#else
	return "x86_64-win";
#endif
}

void* openLibrary (const std::string& libraryPath, std::string& errorDescription)
{
	const std::wstring widePath = wideFromUtf8 (libraryPath);
	if (widePath.empty ())
	{
		errorDescription = libraryPath + ": the path is not valid UTF-8";
		return nullptr;
	}
	// A file that is no loadable DLL must give an error result, never a
	// message box that waits for a user.
	DWORD previousMode = 0;
	SetThreadErrorMode (SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previousMode);
	HMODULE library = LoadLibraryW (widePath.c_str ());
	const DWORD loadError = GetLastError ();
	SetThreadErrorMode (previousMode, nullptr);
	if (!library)
		errorDescription = libraryPath + ": " + systemMessage (loadError);
	return library;
}

bool enterLibrary (void* handle, const std::string& libraryPath, GetFactoryFunction& getFactory,
				   std::string& errorDescription)
{
	auto library = static_cast<HMODULE> (handle);
	getFactory = entryPoint<GetFactoryFunction> (library, "GetPluginFactory");
	if (!getFactory)
	{
		errorDescription = libraryPath + " does not export GetPluginFactory";
		return false;
	}

	auto initDll = entryPoint<InitDllFunction> (library, "InitDll");
	if (initDll && !initDll ())
	{
		errorDescription = "InitDll of " + libraryPath + " returned false";
		return false;
	}

	return true;
}

void exitLibrary (void* handle) noexcept
{
	if (auto exitDll = entryPoint<ExitDllFunction> (static_cast<HMODULE> (handle), "ExitDll"))
		exitDll ();
}

void closeLibrary (void* handle) noexcept
{
	FreeLibrary (static_cast<HMODULE> (handle));
}

} // namespace Platform
} // namespace Hosting
} // namespace VST3
