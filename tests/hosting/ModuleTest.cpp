#include "public.sdk/source/vst/hosting/module.h"

#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "public.sdk/source/vst/hosting/hostclasses.h"
#include "testplugin/TestPluginHandle.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

namespace
{

namespace fs = std::filesystem;
using testplugin::TestPluginHandle;
using VST3::Hosting::ClassInfo;
using VST3::Hosting::Module;

const std::string audioModuleClass = "Audio Module Class";
const std::string controllerClass = "Component Controller Class";
const std::string zamComp = std::string (INSTALLED_VST3_DIR) + "/ZamComp.vst3";

/** The test's own hold on a fixture library: keeps it mapped, so its
	counters outlive the loader's unload, and reads them. */
class FixtureLibrary
{
public:
	explicit FixtureLibrary (const char* path)
		: path (path), handle (dlopen (path, RTLD_NOW | RTLD_LOCAL))
	{
	}
	~FixtureLibrary ()
	{
		if (handle)
			dlclose (handle);
	}
	int count (const char* counter) const
	{
		auto* value = handle ? static_cast<std::atomic<int>*> (dlsym (handle, counter)) : nullptr;
		return value ? value->load () : -1;
	}
	int entries () const { return count ("fixtureEntryCount"); }
	int exits () const { return count ("fixtureExitCount"); }
	int factories () const { return count ("fixtureFactoryCount"); }
	int misuses () const { return count ("fixtureMisuseCount"); }

	const std::string path;

private:
	void* handle;
};

/** A scratch folder removed at the end of the test. */
struct TemporaryFolder
{
	TemporaryFolder ()
	{
		path = fs::temp_directory_path () /
			   ("hosting_tests_" + std::to_string (::getpid ()) + "_" +
				::testing::UnitTest::GetInstance ()->current_test_info ()->name ());
		fs::remove_all (path);
		fs::create_directories (path);
	}
	~TemporaryFolder () { fs::remove_all (path); }
	fs::path path;
};

std::string architectureFolder ()
{
	utsname names{};
	uname (&names);
	return std::string (names.machine) + "-linux";
}

std::vector<fs::path> installedBundles ()
{
	std::vector<fs::path> bundles;
	for (const auto& entry : fs::directory_iterator (INSTALLED_VST3_DIR))
		if (entry.path ().extension () == ".vst3")
			bundles.push_back (entry.path ());
	std::sort (bundles.begin (), bundles.end ());
	return bundles;
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

// --- Loading errors -------------------------------------------------------

TEST (ModuleLoadingErrors, PathThatIsNeitherBundleNorLibraryIsRefused)
{
	TemporaryFolder folder;
	const fs::path textFile = folder.path / "notes.txt";
	std::ofstream (textFile) << "not a plug-in";

	for (const std::string& path : {textFile.string (), (folder.path / "missing.vst3").string ()})
	{
		std::string error;
		EXPECT_EQ (Module::create (path, error), nullptr);
		EXPECT_EQ (error, path + " is not a VST 3 bundle folder or a .so file");
	}
}

TEST (ModuleLoadingErrors, BundleWithoutLibraryNamesTheExpectedPath)
{
	TemporaryFolder folder;
	const fs::path bundle = folder.path / "Empty.vst3";
	fs::create_directories (bundle / "Contents" / architectureFolder ());

	std::string error;
	EXPECT_EQ (Module::create (bundle.string (), error), nullptr);
	const fs::path expected = bundle / "Contents" / architectureFolder () / "Empty.so";
	EXPECT_NE (error.find (expected.string ()), std::string::npos) << error;
}

TEST (ModuleLoadingErrors, FileThatIsNoLibraryGivesTheDynamicLoadersReason)
{
	TemporaryFolder folder;
	const fs::path fake = folder.path / "Fake.so";
	std::ofstream (fake) << std::string (256, 'x');

	std::string error;
	EXPECT_EQ (Module::create (fake.string (), error), nullptr);
	EXPECT_NE (error.find ("invalid ELF header"), std::string::npos) << error;
}

struct BrokenModuleCase
{
	const char* library;
	const char* reason;
	int entries;
	int exits;
};

class ModuleBrokenContract : public ::testing::TestWithParam<BrokenModuleCase>
{
};

TEST (ModuleLoadingErrors, TestPluginWithoutModuleEntryIsRefused)
{
	std::string error;
	EXPECT_EQ (Module::create (TestPluginHandle::bundlePath ("TestNoEntry"), error), nullptr);
	EXPECT_NE (error.find ("does not export ModuleEntry"), std::string::npos) << error;
}

TEST_P (ModuleBrokenContract, IsRefusedWithItsReasonAndLeftCleanly)
{
	const auto& expected = GetParam ();
	FixtureLibrary fixture (expected.library);
	std::string error;
	EXPECT_EQ (Module::create (expected.library, error), nullptr);
	EXPECT_NE (error.find (expected.reason), std::string::npos) << error;
	EXPECT_EQ (fixture.entries (), expected.entries);
	// ModuleExit exactly when ModuleEntry had succeeded.
	EXPECT_EQ (fixture.exits (), expected.exits);
	EXPECT_EQ (fixture.misuses (), 0);
}

INSTANTIATE_TEST_SUITE_P (
	Fixtures, ModuleBrokenContract,
	::testing::Values (
		BrokenModuleCase{FIXTURE_MODULE_NoEntry, "does not export ModuleEntry", 0, 0},
		BrokenModuleCase{FIXTURE_MODULE_NoFactoryExport, "does not export GetPluginFactory", 0, 0},
		BrokenModuleCase{FIXTURE_MODULE_EntryFails, "ModuleEntry of", 1, 0},
		BrokenModuleCase{FIXTURE_MODULE_NullFactory, "GetPluginFactory of", 1, 1}),
	[] (const auto& info)
	{
		const std::string path = info.param.library;
		return fs::path (path).stem ().string ();
	});

// --- Loading the installed plug-ins ---------------------------------------

TEST (ModuleInstalledPlugins, EveryBundleLoadsAndListsItsComponentAndController)
{
	const auto bundles = installedBundles ();
	ASSERT_EQ (bundles.size (), 17u);
	for (const auto& bundle : bundles)
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

// --- Sharing one load -----------------------------------------------------

TEST (ModuleSharing, TwoOwnersEnterAndExitOnce)
{
	FixtureLibrary fixture (FIXTURE_MODULE_Counting);
	std::string error;
	auto first = Module::create (fixture.path, error);
	ASSERT_NE (first, nullptr) << error;
	auto second = Module::create (fixture.path, error);
	ASSERT_NE (second, nullptr) << error;
	EXPECT_EQ (fixture.entries (), 1);
	EXPECT_EQ (fixture.factories (), 1);
	EXPECT_EQ (first->getFactory ().info ().vendor (), "Fixture Vendor");
	EXPECT_EQ (second->getFactory ().classCount (), 0u);
	EXPECT_TRUE (second->getFactory ().classInfos ().empty ());

	first.reset ();
	EXPECT_EQ (fixture.exits (), 0);
	second.reset ();
	EXPECT_EQ (fixture.exits (), 1);
	// The factory was released before ModuleExit, and nothing ran unentered.
	EXPECT_EQ (fixture.misuses (), 0);

	// A later load is a fresh one.
	auto third = Module::create (fixture.path, error);
	ASSERT_NE (third, nullptr) << error;
	third.reset ();
	EXPECT_EQ (fixture.entries (), 2);
	EXPECT_EQ (fixture.exits (), 2);
	EXPECT_EQ (fixture.misuses (), 0);
}

TEST (ModuleSharing, CreatingAndDestroyingOnFourThreadsStaysBalanced)
{
	FixtureLibrary fixture (FIXTURE_MODULE_Counting);
	std::atomic<int> failures{0};
	std::vector<std::thread> threads;
	for (int t = 0; t < 4; ++t)
		threads.emplace_back (
			[&]
			{
				for (int i = 0; i < 200; ++i)
				{
					std::string error;
					auto module = Module::create (fixture.path, error);
					if (!module || module->getFactory ().info ().vendor () != "Fixture Vendor")
						++failures;
				}
			});
	for (auto& thread : threads)
		thread.join ();
	EXPECT_EQ (failures, 0);
	EXPECT_GE (fixture.entries (), 1);
	EXPECT_EQ (fixture.entries (), fixture.exits ());
	EXPECT_EQ (fixture.entries (), fixture.factories ());
	EXPECT_EQ (fixture.misuses (), 0);
}

TEST (ModuleSharing, InstalledPluginSurvivesConcurrentOwnersOnFourThreads)
{
	// Loads and unloads race freely; the factory itself is used by one thread at a
	// time, since the installed plug-ins' factories are not thread-safe (they
	// allocate their class infos without a lock).
	std::mutex factoryMutex;
	std::atomic<int> failures{0};
	std::vector<std::thread> threads;
	for (int t = 0; t < 4; ++t)
		threads.emplace_back (
			[&]
			{
				for (int i = 0; i < 20; ++i)
				{
					std::string error;
					auto module = Module::create (zamComp, error);
					if (!module)
					{
						++failures;
						continue;
					}
					std::lock_guard<std::mutex> lock (factoryMutex);
					const auto infos = module->getFactory ().classInfos ();
					if (infos.empty () ||
						!module->getFactory ().createInstance<Steinberg::Vst::IComponent> (
							infos[0].ID ()))
						++failures;
				}
			});
	for (auto& thread : threads)
		thread.join ();
	EXPECT_EQ (failures, 0);
}

// --- Test plug-ins: factory versions and one load per library -------------

/** Each test starts from a clean record of the plug-in's library. */
struct RecordedPlugin
{
	explicit RecordedPlugin (const std::string& name)
		: handle (name), path (TestPluginHandle::bundlePath (name))
	{
		EXPECT_TRUE (handle.loaded ()) << handle.error ();
		handle.probe ().reset ();
	}
	testplugin::TestPluginProbe& probe () { return handle.probe (); }
	std::string violations () { return testplugin::describeViolations (handle.probe ()); }

	TestPluginHandle handle;
	const std::string path;
};

TEST (ModuleFactoryVersions, ClassInfosComeFromTheNewestInterfaceTheFactoryHas)
{
	RecordedPlugin three ("TestSeparate");
	RecordedPlugin two ("TestTwoClasses");
	RecordedPlugin plain ("TestNoClass");
	std::string error;
	auto separate = Module::create (three.path, error);
	auto twoClasses = Module::create (two.path, error);
	auto noClass = Module::create (plain.path, error);
	ASSERT_TRUE (separate && twoClasses && noClass) << error;

	const auto separateInfos = separate->getFactory ().classInfos ();
	ASSERT_EQ (separateInfos.size (), 2u);
	EXPECT_EQ (separateInfos[0].name (), "TestSeparate");
	EXPECT_EQ (separateInfos[0].category (), audioModuleClass);
	EXPECT_EQ (separateInfos[1].name (), "TestSeparate Controller");
	EXPECT_EQ (separateInfos[1].category (), controllerClass);
	EXPECT_EQ (three.probe ().count ("getClassInfoUnicode"), 2);
	EXPECT_EQ (three.probe ().count ("getClassInfo2"), 0);

	const auto twoInfos = twoClasses->getFactory ().classInfos ();
	ASSERT_EQ (twoInfos.size (), 4u);
	EXPECT_EQ (twoInfos[2].name (), "TestTwoClasses B");
	EXPECT_FALSE (twoInfos[2].vendor ().empty ());
	EXPECT_EQ (two.probe ().count ("getClassInfo2"), 4);
	EXPECT_EQ (two.probe ().count ("getClassInfo"), 0);

	EXPECT_EQ (noClass->getFactory ().classCount (), 0u);
	EXPECT_TRUE (noClass->getFactory ().classInfos ().empty ());
	EXPECT_EQ (three.violations () + two.violations () + plain.violations (),
			   "no violationsno violationsno violations");
}

TEST (ModuleFactoryVersions, HostContextReachesOnlyAThirdVersionFactory)
{
	RecordedPlugin three ("TestSeparate");
	RecordedPlugin two ("TestTwoClasses");
	Steinberg::Vst::HostApplication host;
	std::string error;
	auto separate = Module::create (three.path, error);
	auto twoClasses = Module::create (two.path, error);
	ASSERT_TRUE (separate && twoClasses) << error;
	separate->getFactory ().setHostContext (&host);
	twoClasses->getFactory ().setHostContext (&host);
	EXPECT_EQ (three.probe ().count ("setHostContext"), 1);
	EXPECT_EQ (two.probe ().count ("setHostContext"), 0);
}

TEST (ModuleSharing, TestPluginIsEnteredOnceForTwoOwnersAndExitedAfterTheLast)
{
	RecordedPlugin plugin ("TestSeparate");
	std::string error;
	auto first = Module::create (plugin.path, error);
	auto second = Module::create (plugin.path, error);
	ASSERT_TRUE (first && second) << error;
	const auto componentID = first->getFactory ().classInfos ().at (0).ID ();
	first.reset ();
	EXPECT_EQ (plugin.probe ().count ("ModuleExit"), 0);

	auto component = second->getFactory ().createInstance<Steinberg::Vst::IComponent> (componentID);
	EXPECT_NE (component, nullptr);
	component = nullptr;
	second.reset ();

	EXPECT_EQ (plugin.probe ().count ("ModuleEntry"), 1);
	EXPECT_EQ (plugin.probe ().count ("GetPluginFactory"), 1);
	EXPECT_EQ (plugin.probe ().count ("ModuleExit"), 1);
	EXPECT_EQ (plugin.probe ().liveObjects (), 0);
	EXPECT_EQ (plugin.violations (), "no violations");
}

TEST (ModuleSharing, TestPluginStaysBalancedUnderOwnersOnFourThreads)
{
	RecordedPlugin plugin ("TestSeparate");
	std::atomic<int> failures{0};
	std::vector<std::thread> threads;
	for (int t = 0; t < 4; ++t)
		threads.emplace_back (
			[&]
			{
				for (int i = 0; i < 25; ++i)
				{
					std::string error;
					auto module = Module::create (plugin.path, error);
					if (!module)
					{
						++failures;
						continue;
					}
					const auto infos = module->getFactory ().classInfos ();
					if (infos.empty () ||
						!module->getFactory ().createInstance<Steinberg::Vst::IComponent> (
							infos[0].ID ()))
						++failures;
				}
			});
	for (auto& thread : threads)
		thread.join ();
	EXPECT_EQ (failures, 0);
	const int entries = plugin.probe ().count ("ModuleEntry");
	EXPECT_GE (entries, 1);
	EXPECT_EQ (plugin.probe ().count ("GetPluginFactory"), entries);
	EXPECT_EQ (plugin.probe ().count ("ModuleExit"), entries);
	EXPECT_EQ (plugin.probe ().liveObjects (), 0);
	EXPECT_EQ (plugin.violations (), "no violations");
}

} // namespace
