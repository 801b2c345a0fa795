// Loading a VST 3 module (a bundle folder or its library) and reading its factory.
//
// A plug-in library is entered (ModuleEntry on Linux, InitDll on Windows) and
// asked for its factory once per process, however many Modules refer to it:
// real plug-ins neither count their entry and exit calls nor survive a second
// user calling the exit function. The last Module for a library releases the
// factory, calls ModuleExit (ExitDll) and unloads it.
#pragma once

#include "pluginterfaces/base/ipluginbase.h"
#include "pluginterfaces/base/smartpointer.h"
#include "public.sdk/source/vst/utility/uid.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace VST3
{
namespace Hosting
{

class LoadedLibrary;

/** What a factory says about one of its classes, with every string in UTF-8.
	A plain value; reading it is free of any call into the plug-in. */
class ClassInfo
{
public:
	using SubCategories = std::vector<std::string>;

	ClassInfo () noexcept = default;
	explicit ClassInfo (const Steinberg::PClassInfo& info) noexcept;
	explicit ClassInfo (const Steinberg::PClassInfo2& info) noexcept;
	explicit ClassInfo (const Steinberg::PClassInfoW& info) noexcept;

	const UID& ID () const noexcept { return classID; }
	int32_t cardinality () const noexcept { return classCardinality; }
	/** e.g. "Audio Module Class" or "Component Controller Class". */
	const std::string& category () const noexcept { return classCategory; }
	const std::string& name () const noexcept { return className; }
	/** Empty when the factory offers only the first version of class infos. */
	const std::string& vendor () const noexcept { return classVendor; }
	const std::string& version () const noexcept { return classVersion; }
	const std::string& sdkVersion () const noexcept { return classSdkVersion; }
	const SubCategories& subCategories () const noexcept { return classSubCategories; }
	/** The sub-categories joined with '|', as the factory reports them. */
	std::string subCategoriesString () const noexcept;
	Steinberg::uint32 classFlags () const noexcept { return flags; }

private:
	UID classID;
	int32_t classCardinality{0};
	std::string classCategory;
	std::string className;
	std::string classVendor;
	std::string classVersion;
	std::string classSdkVersion;
	SubCategories classSubCategories;
	Steinberg::uint32 flags{0};
};

/** The factory's own description (vendor, contact, PFactoryInfo flags). */
class FactoryInfo
{
public:
	FactoryInfo () noexcept = default;
	explicit FactoryInfo (const Steinberg::PFactoryInfo& info) noexcept;

	const std::string& vendor () const noexcept { return factoryVendor; }
	const std::string& url () const noexcept { return factoryUrl; }
	const std::string& email () const noexcept { return factoryEmail; }
	Steinberg::int32 flags () const noexcept { return factoryFlags; }

private:
	std::string factoryVendor;
	std::string factoryUrl;
	std::string factoryEmail;
	Steinberg::int32 factoryFlags{0};
};

/** A shared handle on a plug-in's IPluginFactory. Copies share the factory
	(one reference each), so a copy must not outlive the Module it came from.
	Control threads only; the factory calls may allocate inside the plug-in. */
class PluginFactory
{
public:
	using ClassInfos = std::vector<ClassInfo>;

	explicit PluginFactory (const Steinberg::IPtr<Steinberg::IPluginFactory>& factory) noexcept;

	/** Hands the host application to the plug-in; reaches it only when the
		factory implements IPluginFactory3. */
	void setHostContext (Steinberg::FUnknown* context) const noexcept;

	FactoryInfo info () const noexcept;
	uint32_t classCount () const noexcept;
	/** A fresh list, read through the newest factory interface the plug-in
		offers (IPluginFactory3, else 2, else 1), in the factory's order. */
	ClassInfos classInfos () const noexcept;

	/** A new instance of classID asked for interface T: an IPtr holding the one
		reference that the factory gave out, or null. */
	template <typename T>
	Steinberg::IPtr<T> createInstance (const UID& classID) const noexcept;

	const Steinberg::IPtr<Steinberg::IPluginFactory>& get () const noexcept { return factory; }

private:
	Steinberg::IPtr<Steinberg::IPluginFactory> factory;
};

template <typename T>
Steinberg::IPtr<T> PluginFactory::createInstance (const UID& classID) const noexcept
{
	if (!factory)
		return {};
	void* object = nullptr;
	if (factory->createInstance (classID.data (), T::iid.toTUID (), &object) !=
			Steinberg::kResultOk ||
		!object)
		return {};
	return Steinberg::owned (static_cast<T*> (object));
}

/** One user's hold on a loaded plug-in library and its factory.
	Creating and destroying Modules is safe from several control threads at
	once; both block while another thread loads or unloads a library. */
class Module
{
public:
	using Ptr = std::shared_ptr<Module>;

	/** Loads path (UTF-8), either a bundle folder Name.vst3 or the library
		itself. The bundle's library is Contents/<machine>-linux/Name.so on
		Linux and Contents/x86_64-win/Name.vst3 on Windows, where an older
		plug-in's single Name.vst3 file is accepted too. A library already
		loaded in this process is shared, not entered again. Gives an empty
		pointer and a one-line reason in errorDescription on failure. */
	static Ptr create (const std::string& path, std::string& errorDescription);

	~Module ();
	Module (const Module&) = delete;
	Module& operator= (const Module&) = delete;

	/** The bundle folder's name without ".vst3", or the library's file name
		without its extension. */
	const std::string& getName () const noexcept { return name; }
	/** The path as given to create. */
	const std::string& getPath () const noexcept { return path; }
	const PluginFactory& getFactory () const noexcept;

private:
	Module (std::string name, std::string path, LoadedLibrary& library) noexcept;

	std::string name;
	std::string path;
	LoadedLibrary& library;
};

} // namespace Hosting
} // namespace VST3
