#include "public.sdk/source/vst/hosting/module.h"

#include "libraryregistry.h"
#include "moduleplatform.h"

#include <filesystem>
#include <new>

namespace VST3
{
namespace Hosting
{

namespace
{

namespace fs = std::filesystem;

std::string withoutSuffix (std::string text, const std::string& suffix)
{
	if (text.size () > suffix.size () &&
		text.compare (text.size () - suffix.size (), suffix.size (), suffix) == 0)
		text.resize (text.size () - suffix.size ());
	return text;
}

struct LibraryLocation
{
	std::string name;
	std::string libraryPath;
};

/** Finds the library a path names; false with a reason when there is none. */
bool locateLibrary (const std::string& path, LibraryLocation& location,
					std::string& errorDescription)
{
	const std::string extension = Platform::libraryExtension;
	std::error_code error;
	const fs::path given = pathFromUtf8 (path).lexically_normal ();
	if (fs::is_directory (given, error))
	{
		// "Name.vst3/" normalises to "Name.vst3/" with an empty file name.
		const fs::path bundle = given.has_filename () ? given : given.parent_path ();
		location.name = withoutSuffix (utf8FromPath (bundle.filename ()), ".vst3");
		const fs::path library = bundle / "Contents" / Platform::bundleArchitectureFolder () /
								 pathFromUtf8 (location.name + extension);
		if (!fs::is_regular_file (library, error))
		{
			errorDescription = "The bundle " + path + " has no library " + utf8FromPath (library);
			return false;
		}
		location.libraryPath = utf8FromPath (library);
		return true;
	}
	// A library on its own: on Windows also the older single-file form of a
	// plug-in, "Name.vst3" directly in the plug-in folder.
	if (fs::is_regular_file (given, error) && given.extension () == extension)
	{
		location.name = utf8FromPath (given.stem ());
		location.libraryPath = utf8FromPath (given);
		return true;
	}
	errorDescription = path + " is not a VST 3 bundle folder or a " + extension + " file";
	return false;
}

} // namespace

Module::Ptr Module::create (const std::string& path, std::string& errorDescription)
{
	try
	{
		LibraryLocation location;
		if (!locateLibrary (path, location, errorDescription))
			return {};
		LoadedLibrary* library = LibraryRegistry::acquire (location.libraryPath, errorDescription);
		if (!library)
			return {};
		Module* module = new (std::nothrow) Module (location.name, path, *library);
		if (!module)
		{
			LibraryRegistry::release (*library);
			errorDescription = "Out of memory while loading " + path;
			return {};
		}
		return Ptr (module);
	}
	catch (const std::exception& exception)
	{
		errorDescription = std::string ("Could not load ") + path + ": " + exception.what ();
		return {};
	}
}

Module::Module (std::string name, std::string path, LoadedLibrary& library) noexcept
	: name (std::move (name)), path (std::move (path)), library (library)
{
}

Module::~Module ()
{
	LibraryRegistry::release (library);
}

const PluginFactory& Module::getFactory () const noexcept
{
	return library.getFactory ();
}

} // namespace Hosting
} // namespace VST3
