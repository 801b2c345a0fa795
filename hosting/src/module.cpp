#include "public.sdk/source/vst/hosting/module.h"

#include "libraryregistry.h"

#include <sys/utsname.h>

#include <filesystem>
#include <new>

namespace VST3
{
namespace Hosting
{

namespace
{

namespace fs = std::filesystem;

/** "x86_64-linux" and the like: the bundle's folder for this machine. */
std::string architectureFolder ()
{
	utsname names{};
	if (uname (&names) != 0)
		return "unknown-linux";
	return std::string (names.machine) + "-linux";
}

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
	std::string soPath;
};

/** Finds the library a path names; false with a reason when there is none. */
bool locateLibrary (const std::string& path, LibraryLocation& location,
					std::string& errorDescription)
{
	std::error_code error;
	const fs::path given = fs::path (path).lexically_normal ();
	if (fs::is_directory (given, error))
	{
		// "Name.vst3/" normalises to "Name.vst3/" with an empty file name.
		const fs::path bundle = given.has_filename () ? given : given.parent_path ();
		location.name = withoutSuffix (bundle.filename ().string (), ".vst3");
		const fs::path library =
			bundle / "Contents" / architectureFolder () / (location.name + ".so");
		if (!fs::is_regular_file (library, error))
		{
			errorDescription = "The bundle " + path + " has no library " + library.string ();
			return false;
		}
		location.soPath = library.string ();
		return true;
	}
	if (fs::is_regular_file (given, error) && given.extension () == ".so")
	{
		location.name = given.stem ().string ();
		location.soPath = given.string ();
		return true;
	}
	errorDescription = path + " is not a VST 3 bundle folder or a .so file";
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
		LoadedLibrary* library = LibraryRegistry::acquire (location.soPath, errorDescription);
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
