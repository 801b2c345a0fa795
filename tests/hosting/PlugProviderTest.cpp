#include "public.sdk/source/vst/hosting/plugprovider.h"

#include "public.sdk/source/vst/hosting/hostclasses.h"
#include "testplugin/TestPluginHandle.h"

#include <gtest/gtest.h>

#include <cstring>
#include <iostream>
#include <sstream>

namespace
{

using namespace Steinberg;
using namespace Steinberg::Vst;
using testplugin::CallRecord;
using testplugin::TestPluginHandle;
using VST3::Hosting::ClassInfo;
using VST3::Hosting::Module;

const std::string audioModuleClass = "Audio Module Class";

/** Every provider test runs with a host application as plug-in context and
	with failure lines captured instead of going to standard error. */
struct PlugProviderTest : ::testing::Test
{
	PlugProviderTest ()
	{
		PluginContextFactory::instance ().setPluginContext (&hostApplication);
		PlugProvider::setErrorStream (&errors);
	}
	~PlugProviderTest () override
	{
		PlugProvider::setErrorStream (&std::cerr);
		PluginContextFactory::instance ().setPluginContext (nullptr);
	}

	Module::Ptr load (const std::string& path)
	{
		std::string error;
		auto module = Module::create (path, error);
		EXPECT_NE (module, nullptr) << error;
		return module;
	}

	static ClassInfo audioClassOf (const Module& module)
	{
		for (const auto& info : module.getFactory ().classInfos ())
			if (info.category () == audioModuleClass)
				return info;
		return {};
	}

	HostApplication hostApplication;
	std::ostringstream errors;
};

/** A test plug-in's module with a clean record, and its provider. */
struct ProvidedTestPlugin
{
	explicit ProvidedTestPlugin (const std::string& name) : handle (name)
	{
		EXPECT_TRUE (handle.loaded ()) << handle.error ();
		handle.probe ().reset ();
		std::string error;
		module = Module::create (TestPluginHandle::bundlePath (name), error);
		EXPECT_NE (module, nullptr) << error;
		if (module)
			provider = owned (new PlugProvider (module->getFactory (),
												module->getFactory ().classInfos ().at (0)));
	}

	/** Tears down in the order a host must: provider, then module. */
	void release ()
	{
		provider = nullptr;
		module.reset ();
	}

	testplugin::TestPluginProbe& probe () { return handle.probe (); }
	std::string violations () { return testplugin::describeViolations (handle.probe ()); }

	/** Position of the first call of method on an object whose name starts
		with objectPrefix, or -1. */
	int indexOf (const std::string& method, const std::string& objectPrefix)
	{
		const auto calls = probe ().calls ();
		for (size_t i = 0; i < calls.size (); ++i)
			if (calls[i].method == method && calls[i].object.rfind (objectPrefix, 0) == 0)
				return static_cast<int> (i);
		return -1;
	}

	const CallRecord* find (const std::string& method)
	{
		records = probe ().calls ();
		for (const auto& call : records)
			if (call.method == method)
				return &call;
		return nullptr;
	}

	TestPluginHandle handle;
	Module::Ptr module;
	IPtr<PlugProvider> provider;
	std::vector<CallRecord> records;
};

// --- Installed plug-ins (separate controller) -----------------------------

TEST_F (PlugProviderTest, SetsUpTheInstalledCompressorsComponentAndSeparateController)
{
	auto module = load (std::string (INSTALLED_VST3_DIR) + "/ZamCompX2.vst3");
	ASSERT_NE (module, nullptr);
	auto provider = owned (new PlugProvider (module->getFactory (), audioClassOf (*module), true));
	EXPECT_EQ (provider->getClassInfo ().name (), "ZamCompX2");
	// Nothing exists before initialize.
	EXPECT_EQ (provider->getController (), nullptr);
	ASSERT_TRUE (provider->initialize ());
	EXPECT_TRUE (provider->initialize ());
	EXPECT_EQ (errors.str (), "");

	IPtr<IComponent> component = owned (provider->getComponent ());
	IPtr<IEditController> controller = owned (provider->getController ());
	ASSERT_NE (component, nullptr);
	ASSERT_NE (controller, nullptr);
	EXPECT_EQ (FUnknownPtr<IEditController> (component), nullptr);
	// The controller got the component's state and knows its parameters
	// (three internal ones, then the compressor's).
	EXPECT_GT (controller->getParameterCount (), 3);

	// The references handed out are the caller's own: one more and back.
	const uint32 countWithOurs = controller->addRef ();
	EXPECT_EQ (controller->release (), countWithOurs - 1);
}

TEST_F (PlugProviderTest, ControllerRefusingTheComponentStateIsReportedButKept)
{
	// ZamAutoSat's controller refuses the state its own component wrote.
	auto module = load (std::string (INSTALLED_VST3_DIR) + "/ZamAutoSat.vst3");
	ASSERT_NE (module, nullptr);
	auto provider = owned (new PlugProvider (module->getFactory (), audioClassOf (*module)));
	EXPECT_TRUE (provider->initialize ());
	EXPECT_EQ (errors.str (),
			   "PlugProvider: IEditController::setComponentState failed for \"ZamAutoSat\"\n");
	IPtr<IEditController> controller = owned (provider->getController ());
	EXPECT_NE (controller, nullptr);
}

// --- Failures ----------------------------------------------------------------

TEST_F (PlugProviderTest, UnknownClassFailsWithOneLineNamingStepAndClass)
{
	auto module = load (std::string (INSTALLED_VST3_DIR) + "/ZamComp.vst3");
	ASSERT_NE (module, nullptr);
	PClassInfo bogus;
	std::memset (bogus.cid, 0x5A, sizeof (bogus.cid));
	std::strcpy (bogus.category, audioModuleClass.c_str ());
	std::strcpy (bogus.name, "Bogus");

	auto provider = owned (new PlugProvider (module->getFactory (), ClassInfo (bogus)));
	EXPECT_FALSE (provider->initialize ());
	EXPECT_EQ (errors.str (), "PlugProvider: creating the component failed for \"Bogus\"\n");
	EXPECT_EQ (provider->getComponent (), nullptr);
	EXPECT_EQ (provider->getController (), nullptr);
}

TEST_F (PlugProviderTest, NullErrorStreamSilencesFailures)
{
	auto module = load (std::string (INSTALLED_VST3_DIR) + "/ZamComp.vst3");
	ASSERT_NE (module, nullptr);
	PlugProvider::setErrorStream (nullptr);
	auto provider = owned (new PlugProvider (module->getFactory (), ClassInfo ()));
	EXPECT_FALSE (provider->initialize ());
	EXPECT_EQ (errors.str (), "");
}

// --- Test plug-ins ---------------------------------------------------------

TEST_F (PlugProviderTest, SeparateControllerIsInitialisedConnectedAndGivenTheState)
{
	ProvidedTestPlugin plugin ("TestSeparate");
	ASSERT_TRUE (plugin.provider);
	EXPECT_EQ (plugin.probe ().count ("initialize"), 0);
	ASSERT_TRUE (plugin.provider->initialize ());
	EXPECT_EQ (errors.str (), "");

	auto& probe = plugin.probe ();
	EXPECT_EQ (probe.count ("initialize"), 2);
	// Connected both ways, each side to a proxy for the other.
	EXPECT_GE (plugin.indexOf ("connect", "TestSeparate#"), 0);
	EXPECT_GE (plugin.indexOf ("connect", "TestSeparate Controller#"), 0);
	// The component's blob (its gain, one double) reached the controller.
	const CallRecord* stateHandOver = plugin.find ("setComponentState");
	ASSERT_NE (stateHandOver, nullptr);
	EXPECT_EQ (stateHandOver->result, kResultOk);
	EXPECT_EQ (stateHandOver->arguments.rfind ("bytes=8 gain=", 0), 0u) << stateHandOver->arguments;
	EXPECT_LT (plugin.indexOf ("getState", "TestSeparate#"),
			   plugin.indexOf ("setComponentState", ""));

	IPtr<IEditController> controller = owned (plugin.provider->getController ());
	IPtr<IComponent> component = owned (plugin.provider->getComponent ());
	ASSERT_TRUE (controller && component);
	EXPECT_EQ (controller->getParameterCount (), 4);
	controller = nullptr;
	component = nullptr;

	plugin.release ();
	// Disconnected before terminate, controller terminated before the component.
	EXPECT_EQ (probe.count ("disconnect"), 2);
	EXPECT_EQ (probe.count ("terminate"), 2);
	EXPECT_LT (plugin.indexOf ("disconnect", "TestSeparate"),
			   plugin.indexOf ("terminate", "TestSeparate"));
	EXPECT_LT (plugin.indexOf ("terminate", "TestSeparate Controller#"),
			   plugin.indexOf ("terminate", "TestSeparate#"));
	EXPECT_EQ (probe.liveObjects (), 0);
	EXPECT_EQ (plugin.violations (), "no violations");
}

TEST_F (PlugProviderTest, SingleComponentIsItsOwnControllerAndInitialisedOnce)
{
	ProvidedTestPlugin plugin ("TestSingle");
	ASSERT_TRUE (plugin.provider);
	ASSERT_TRUE (plugin.provider->initialize ());

	IPtr<IEditController> controller = owned (plugin.provider->getController ());
	IPtr<IComponent> component = owned (plugin.provider->getComponent ());
	ASSERT_TRUE (controller && component);
	// The same object behind both interfaces.
	EXPECT_EQ (FUnknownPtr<IComponent> (controller).get (), component.get ());
	controller = nullptr;
	component = nullptr;

	auto& probe = plugin.probe ();
	EXPECT_EQ (probe.count ("initialize"), 1);
	EXPECT_EQ (probe.count ("getControllerClassId"), 0);
	EXPECT_EQ (probe.count ("connect"), 0);
	plugin.release ();
	EXPECT_EQ (probe.count ("terminate"), 1);
	EXPECT_EQ (probe.liveObjects (), 0);
	EXPECT_EQ (plugin.violations (), "no violations");
}

TEST_F (PlugProviderTest, ComponentThatFailsToInitialiseGivesFalseAndOneLine)
{
	ProvidedTestPlugin plugin ("TestInitFails");
	ASSERT_TRUE (plugin.provider);
	EXPECT_FALSE (plugin.provider->initialize ());
	EXPECT_EQ (errors.str (),
			   "PlugProvider: IComponent::initialize failed for \"TestInitFails\"\n");
	EXPECT_EQ (plugin.provider->getComponent (), nullptr);
	EXPECT_EQ (plugin.provider->getController (), nullptr);

	// Released at once; a component that never initialised is not terminated.
	EXPECT_EQ (plugin.probe ().liveObjects (), 1); // the factory
	EXPECT_EQ (plugin.probe ().count ("terminate"), 0);
	plugin.release ();
	EXPECT_EQ (plugin.probe ().liveObjects (), 0);
	EXPECT_EQ (plugin.violations (), "no violations");
}

TEST_F (PlugProviderTest, MissingControllerClassGivesFalseAndWindsTheComponentDown)
{
	ProvidedTestPlugin plugin ("TestNoController");
	ASSERT_TRUE (plugin.provider);
	EXPECT_FALSE (plugin.provider->initialize ());
	EXPECT_EQ (errors.str (),
			   "PlugProvider: creating the edit controller failed for \"TestNoController\"\n");
	EXPECT_EQ (plugin.probe ().count ("initialize"), 1);
	EXPECT_EQ (plugin.probe ().count ("terminate"), 1);
	EXPECT_EQ (plugin.probe ().liveObjects (), 1); // the factory
	plugin.release ();
	EXPECT_EQ (plugin.violations (), "no violations");
}

TEST_F (PlugProviderTest, PluginsAreInitialisedWithTheProcessWideContext)
{
	ProvidedTestPlugin plugin ("TestSeparate");
	ASSERT_TRUE (plugin.provider);
	ASSERT_TRUE (plugin.provider->initialize ());
	const CallRecord* initialize = plugin.find ("initialize");
	ASSERT_NE (initialize, nullptr);
	EXPECT_NE (initialize->arguments.find ("hostApplication=yes"), std::string::npos)
		<< initialize->arguments;
}

} // namespace
