// The module loader on the Debian plug-ins installed under /usr/lib/vst3
// (Linux only).
#include "public.sdk/source/vst/hosting/module.h"

#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"

#include "testsupport/InstalledPlugins.h"

#include "ConcurrentOwners.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/utsname.h>

#include <filesystem>
#include <mutex>
#include <vector>

namespace
{

namespace fs = std::filesystem;
using VST3::Hosting::ClassInfo;
using VST3::Hosting::Module;

const std::string audioModuleClass = "Audio Module Class";
const std::string controllerClass = "Component Controller Class";
const std::string zamComp = std::string (INSTALLED_VST3_DIR) + "/ZamComp.vst3";

std::string architectureFolder ()
{
	utsname names{};
	uname (&names);
	return std::string (names.machine) + "-linux";
}

/** ZamVerb and ZamHeadX2 lose about 118 KB of static convolution buffers
	each time their library is unloaded. Keeping every installed library
	mapped until the process ends leaves that memory reachable, so sanitizer
	runs report our leaks, not theirs. The loader's own unload order is
	pinned down by the fixture modules. */
void keepMappedUntilExit (const fs::path& bundle)
{
	const fs::path library =
		bundle / "Contents" / architectureFolder () / (bundle.stem ().string () + ".so");
	static std::vector<void*> handles;
	if (void* handle = dlopen (library.c_str (), RTLD_NOW | RTLD_LOCAL))
		handles.push_back (handle);
}

// --- Loading the installed plug-ins ---------------------------------------

TEST (ModuleInstalledPlugins, EveryBundleLoadsAndListsItsComponentAndController)
{
	const auto bundles = testsupport::installedBundles ();
	ASSERT_EQ (bundles.size (), 17u);
	for (const fs::path bundle : bundles)
	{
		SCOPED_TRACE (bundle.string ());
		keepMappedUntilExit (bundle);
		std::string error;
		auto module = Module::create (bundle.string (), error);
		ASSERT_NE (module, nullptr) << error;
		EXPECT_EQ (module->getName (), bundle.stem ().string ());
		EXPECT_EQ (module->getPath (), bundle.string ());

		const auto& factory = module->getFactory ();
		EXPECT_EQ (factory.classCount (), 2u);
		const auto infos = factory.classInfos ();
		ASSERT_EQ (infos.size (), 2u);
		EXPECT_EQ (infos[0].category (), audioModuleClass);
		EXPECT_EQ (infos[1].category (), controllerClass);
		EXPECT_EQ (infos[0].name (), module->getName ());
		EXPECT_NE (infos[0].ID (), infos[1].ID ());
		EXPECT_FALSE (factory.info ().vendor ().empty ());
	}
}

TEST (ModuleInstalledPlugins, ClassInfosCarryTheSecondVersionFields)
{
	std::string error;
	auto module = Module::create (zamComp, error);
	ASSERT_NE (module, nullptr) << error;
	const ClassInfo component = module->getFactory ().classInfos ().at (0);
	EXPECT_EQ (component.cardinality (), Steinberg::PClassInfo::kManyInstances);
	EXPECT_FALSE (component.vendor ().empty ());
	EXPECT_FALSE (component.version ().empty ());
	EXPECT_FALSE (component.sdkVersion ().empty ());
	ASSERT_FALSE (component.subCategories ().empty ());
	EXPECT_EQ (component.subCategories ().front (), "Fx");
	EXPECT_EQ (component.subCategoriesString ().rfind ("Fx", 0), 0u);
}

TEST (ModuleInstalledPlugins, CreateInstanceHandsOverExactlyOneReference)
{
	std::string error;
	auto module = Module::create (zamComp, error);
	ASSERT_NE (module, nullptr) << error;
	const auto& factory = module->getFactory ();
	const auto infos = factory.classInfos ();

	auto component = factory.createInstance<Steinberg::Vst::IComponent> (infos[0].ID ());
	ASSERT_NE (component, nullptr);
	// Ours is the only reference: one more and back gives 2 and 1.
	EXPECT_EQ (component->addRef (), 2u);
	EXPECT_EQ (component->release (), 1u);

	auto controller = factory.createInstance<Steinberg::Vst::IEditController> (infos[1].ID ());
	EXPECT_NE (controller, nullptr);
	// The component class is no controller, and unknown ids give nothing.
	EXPECT_EQ (factory.createInstance<Steinberg::Vst::IEditController> (infos[0].ID ()), nullptr);
	EXPECT_EQ (factory.createInstance<Steinberg::Vst::IComponent> (VST3::UID ()), nullptr);
}

TEST (ModuleInstalledPlugins, BundleFolderAndItsLibraryShareOneLoad)
{
	const fs::path library = fs::path (zamComp) / "Contents" / architectureFolder () / "ZamComp.so";
	std::string error;
	auto viaBundle = Module::create (zamComp, error);
	auto viaLibrary = Module::create (library.string (), error);
	auto viaSlash = Module::create (zamComp + "/", error);
	ASSERT_NE (viaBundle, nullptr);
	ASSERT_NE (viaLibrary, nullptr) << error;
	ASSERT_NE (viaSlash, nullptr) << error;
	EXPECT_EQ (viaLibrary->getName (), "ZamComp");
	EXPECT_EQ (viaSlash->getName (), "ZamComp");
	// GetPluginFactory gives a new factory on every call: one object means one load.
	EXPECT_EQ (viaBundle->getFactory ().get (), viaLibrary->getFactory ().get ());
	EXPECT_EQ (viaBundle->getFactory ().get (), viaSlash->getFactory ().get ());
}

TEST (ModuleInstalledPlugins, SecondOwnerKeepsCreatingAfterTheFirstIsGone)
{
	std::string error;
	auto first = Module::create (zamComp, error);
	auto second = Module::create (zamComp, error);
	ASSERT_NE (second, nullptr);
	const auto componentID = second->getFactory ().classInfos ().at (0).ID ();
	first.reset ();
	auto component = second->getFactory ().createInstance<Steinberg::Vst::IComponent> (componentID);
	EXPECT_NE (component, nullptr);
}

TEST (ModuleSharing, InstalledPluginSurvivesConcurrentOwnersOnFourThreads)
{
	// Loads and unloads race freely; the factory itself is used by one thread at a
	// time, since the installed plug-ins' factories are not thread-safe (they
	// allocate their class infos without a lock).
	std::mutex factoryMutex;
	const auto createAndUse = [&]
	{
		std::string error;
		auto module = Module::create (zamComp, error);
		if (!module)
			return false;
		std::lock_guard<std::mutex> lock (factoryMutex);
		return hostingtest::createsFirstClass (*module);
	};
	const int failures = hostingtest::failuresOnFourThreads (20, createAndUse);
	EXPECT_EQ (failures, 0);
}

} // namespace
