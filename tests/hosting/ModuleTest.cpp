#include "public.sdk/source/vst/hosting/module.h"

#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "public.sdk/source/vst/hosting/hostclasses.h"
#include "testplugin/TestPluginHandle.h"

#include "testsupport/SharedLibrary.h"

#include "ConcurrentOwners.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <vector>

namespace
{

namespace fs = std::filesystem;
using testplugin::TestPluginHandle;
using VST3::Hosting::ClassInfo;
using VST3::Hosting::Module;

const std::string audioModuleClass = "Audio Module Class";
const std::string controllerClass = "Component Controller Class";
const std::string libraryExtension = VARNELVST_TEST_PLUGIN_SUFFIX;

/** The test's own hold on a fixture library: keeps it mapped, so its
	counters outlive the loader's unload, and reads them. */
class FixtureLibrary
{
public:
	explicit FixtureLibrary (const char* path)
		: path (path), handle (testsupport::openLibrary (path, error))
	{
	}
	~FixtureLibrary () { testsupport::closeLibrary (handle); }
	int count (const char* counter) const
	{
		auto* value = static_cast<std::atomic<int>*> (testsupport::findSymbol (handle, counter));
		return value ? value->load () : -1;
	}
	int entries () const { return count ("fixtureEntryCount"); }
	int exits () const { return count ("fixtureExitCount"); }
	int factories () const { return count ("fixtureFactoryCount"); }
	int misuses () const { return count ("fixtureMisuseCount"); }

	const std::string path;

private:
	std::string error;
	void* handle;
};

/** A scratch folder removed at the end of the test. */
struct TemporaryFolder
{
	TemporaryFolder ()
	{
		path = fs::temp_directory_path () /
			   ("hosting_tests_" +
				std::to_string (std::chrono::steady_clock::now ().time_since_epoch ().count ()) +
				"_" + ::testing::UnitTest::GetInstance ()->current_test_info ()->name ());
		fs::remove_all (path);
		fs::create_directories (path);
	}
	~TemporaryFolder () { fs::remove_all (path); }
	fs::path path;
};

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
		EXPECT_EQ (error,
				   path + " is not a VST 3 bundle folder or a " + libraryExtension + " file");
	}
}

TEST (ModuleLoadingErrors, BundleWithoutLibraryNamesTheExpectedPath)
{
	TemporaryFolder folder;
	const fs::path bundle = folder.path / "Empty.vst3";
	fs::create_directories (bundle / "Contents" / VARNELVST_TEST_PLUGIN_ARCH_FOLDER);

	std::string error;
	EXPECT_EQ (Module::create (bundle.string (), error), nullptr);
	const fs::path expected =
		bundle / "Contents" / VARNELVST_TEST_PLUGIN_ARCH_FOLDER / ("Empty" + libraryExtension);
	EXPECT_NE (error.find (expected.string ()), std::string::npos) << error;
}

TEST (ModuleLoadingErrors, FileThatIsNoLibraryGivesTheDynamicLoadersReason)
{
	TemporaryFolder folder;
	const fs::path fake = folder.path / ("Fake" + libraryExtension);
	std::ofstream (fake) << std::string (256, 'x');

	std::string error;
	EXPECT_EQ (Module::create (fake.string (), error), nullptr);
#if defined(_WIN32)
	EXPECT_NE (error.find ("(error 193)"), std::string::npos) << error; // ERROR_BAD_EXE_FORMAT
#else
	EXPECT_NE (error.find ("invalid ELF header"), std::string::npos) << error;
#endif
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

#if !defined(_WIN32)
// Windows modules need not export InitDll (see InitDllIsOptional below).
TEST (ModuleLoadingErrors, TestPluginWithoutModuleEntryIsRefused)
{
	std::string error;
	EXPECT_EQ (Module::create (TestPluginHandle::bundlePath ("TestNoEntry"), error), nullptr);
	EXPECT_NE (error.find ("does not export ModuleEntry"), std::string::npos) << error;
}
#endif

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
#if defined(_WIN32)
		BrokenModuleCase{FIXTURE_MODULE_NoFactoryExport, "does not export GetPluginFactory", 0, 0},
		BrokenModuleCase{FIXTURE_MODULE_EntryFails, "InitDll of", 1, 0},
#else
		BrokenModuleCase{FIXTURE_MODULE_NoEntry, "does not export ModuleEntry", 0, 0},
		BrokenModuleCase{FIXTURE_MODULE_NoFactoryExport, "does not export GetPluginFactory", 0, 0},
		BrokenModuleCase{FIXTURE_MODULE_EntryFails, "ModuleEntry of", 1, 0},
#endif
		BrokenModuleCase{FIXTURE_MODULE_NullFactory, "GetPluginFactory of", 1, 1}),
	[] (const auto& info)
	{
		const std::string path = info.param.library;
		return fs::path (path).stem ().string ();
	});

#if defined(_WIN32)
TEST (ModuleLoadingErrors, InitDllIsOptionalAndExitDllStillRunsAtUnload)
{
	FixtureLibrary fixture (FIXTURE_MODULE_NoEntry);
	std::string error;
	auto module = Module::create (fixture.path, error);
	ASSERT_NE (module, nullptr) << error;
	EXPECT_EQ (fixture.factories (), 1);
	module.reset ();
	EXPECT_EQ (fixture.exits (), 1);
	EXPECT_EQ (fixture.misuses (), 0);
}
#endif

TEST (ModuleLoading, PathWithNonAsciiCharactersLoads)
{
	// Paths are UTF-8 on every system; on Windows they must reach the loader
	// as UTF-16, not through the narrow code page.
	TemporaryFolder folder;
	const std::string name = "Z\xc3\xa4hlwerk \xe9\x9f\xb3";
	const auto fromUtf8 = [] (const std::string& text)
	{ return fs::path (std::u8string (text.begin (), text.end ())); };
	const fs::path bundle =
		folder.path / fromUtf8 ("Plug-ins \xc3\x9c") / fromUtf8 (name + ".vst3");
	const fs::path libraryFolder = bundle / "Contents" / VARNELVST_TEST_PLUGIN_ARCH_FOLDER;
	fs::create_directories (libraryFolder);
	fs::copy_file (FIXTURE_MODULE_Counting, libraryFolder / fromUtf8 (name + libraryExtension));

	const std::u8string bundlePath = bundle.u8string ();
	std::string error;
	auto module = Module::create (std::string (bundlePath.begin (), bundlePath.end ()), error);
	ASSERT_NE (module, nullptr) << error;
	EXPECT_EQ (module->getName (), name);
	EXPECT_EQ (module->getFactory ().info ().vendor (), "Fixture Vendor");
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

TEST (ModuleSharing, AnotherPathToTheSameFileIsEnteredOnlyOnce)
{
	FixtureLibrary fixture (FIXTURE_MODULE_Counting);
	const fs::path original (fixture.path);
#if defined(_WIN32)
	// File names on Windows ignore letter case.
	const fs::path other = original.parent_path () / "fixturecounting.vst3";
#else
	const fs::path other = original.parent_path () / ("CountingLink" + libraryExtension);
	fs::remove (other);
	fs::create_hard_link (original, other);
#endif
	std::string error;
	auto first = Module::create (fixture.path, error);
	auto second = Module::create (other.string (), error);
	ASSERT_TRUE (first && second) << error;
	EXPECT_EQ (fixture.entries (), 1);
	EXPECT_EQ (fixture.factories (), 1);
	first.reset ();
	second.reset ();
	EXPECT_EQ (fixture.exits (), 1);
	EXPECT_EQ (fixture.misuses (), 0);
#if !defined(_WIN32)
	fs::remove (other);
#endif
}

TEST (ModuleSharing, CreatingAndDestroyingOnFourThreadsStaysBalanced)
{
	FixtureLibrary fixture (FIXTURE_MODULE_Counting);
	const auto createAndUse = [&]
	{
		std::string error;
		auto module = Module::create (fixture.path, error);
		return module && module->getFactory ().info ().vendor () == "Fixture Vendor";
	};
	const int failures = hostingtest::failuresOnFourThreads (200, createAndUse);
	EXPECT_EQ (failures, 0);
	EXPECT_GE (fixture.entries (), 1);
	EXPECT_EQ (fixture.entries (), fixture.exits ());
	EXPECT_EQ (fixture.entries (), fixture.factories ());
	EXPECT_EQ (fixture.misuses (), 0);
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

TEST (ModuleSharing, BundleItsLibraryAndATrailingSeparatorShareOneLoad)
{
	RecordedPlugin plugin ("TestSeparate");
	std::string error;
	auto viaBundle = Module::create (plugin.path, error);
	auto viaLibrary = Module::create (TestPluginHandle::libraryPath ("TestSeparate"), error);
	auto viaSlash = Module::create (plugin.path + "/", error);
	ASSERT_TRUE (viaBundle && viaLibrary && viaSlash) << error;
	EXPECT_EQ (viaLibrary->getName (), "TestSeparate");
	EXPECT_EQ (viaSlash->getName (), "TestSeparate");
	EXPECT_EQ (plugin.probe ().count ("ModuleEntry"), 1);
	EXPECT_EQ (plugin.probe ().count ("GetPluginFactory"), 1);
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
	const auto createAndUse = [&]
	{
		std::string error;
		auto module = Module::create (plugin.path, error);
		return module && hostingtest::createsFirstClass (*module);
	};
	const int failures = hostingtest::failuresOnFourThreads (25, createAndUse);
	EXPECT_EQ (failures, 0);
	const int entries = plugin.probe ().count ("ModuleEntry");
	EXPECT_GE (entries, 1);
	EXPECT_EQ (plugin.probe ().count ("GetPluginFactory"), entries);
	EXPECT_EQ (plugin.probe ().count ("ModuleExit"), entries);
	EXPECT_EQ (plugin.probe ().liveObjects (), 0);
	EXPECT_EQ (plugin.violations (), "no violations");
}

} // namespace
