// Loading, lifetime and teardown of VSTModule against the test plug-ins, whose
// strict checkers flag any call out of the VST 3 order.
#include "HostedTestPlugin.h"

#include <cctype>
#include <map>

using testplugin::TestPluginHandle;
using varnel::extensions::vst::VSTModule;
using vsttest::HostedTestPlugin;
using vsttest::StereoBuffers;

using VSTModuleLoading = vsttest::HostedPluginTest;

TEST_F(VSTModuleLoading, UnloadablePathGivesTheLoadersReason) {
    VSTModule module;
    EXPECT_FALSE(module.loadPlugin("/nonexistent/Nothing.vst3"));
    const auto lines = log.lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("[VSTModule] Error loading plugin: ", 0), 0u) << lines[0];
    EXPECT_GT(lines[0].size(), std::string("[VSTModule] Error loading plugin: ").size());
}

TEST_F(VSTModuleLoading, SeparateControllerFollowsTheVst3OrderThroughLoadAndTeardown) {
    ASSERT_TRUE(plugin.load("TestSeparate"));
    EXPECT_EQ(log.lines().size(), 0u) << log.lines()[0];

    // Set up before activation, activation before processing.
    EXPECT_EQ(plugin.sequence({"setupProcessing", "setActive", "setProcessing"}),
              (std::vector<std::string>{"setupProcessing(mode=0 sampleSize=0 maxSamples=1024 rate=48000)",
                                        "setActive(true)", "setProcessing(true)"}));
    // One component, the processing one, and one controller, connected both ways
    // and given that component's state.
    std::vector<std::string> initialised;
    for (const auto& call : plugin.probe().calls()) {
        if (call.method == "initialize")
            initialised.push_back(call.object.substr(0, call.object.find('#')));
        if (call.method == "connect") {
            EXPECT_EQ(call.result, 0) << call.object;
        }
    }
    EXPECT_EQ(initialised, (std::vector<std::string>{"TestSeparate", "TestSeparate Controller"}));
    EXPECT_EQ(plugin.probe().count("connect"), 2);
    EXPECT_EQ(plugin.sequence({"getState", "setComponentState"}),
              (std::vector<std::string>{"getState(bytes=8 gain=1)", "setComponentState(bytes=8 gain=1)"}));

    plugin.probe().reset();
    plugin.unload();
    const auto teardown = plugin.sequence({"setProcessing", "setActive", "disconnect", "terminate"});
    ASSERT_GE(teardown.size(), 4u);
    EXPECT_EQ(
        std::vector<std::string>(teardown.begin(), teardown.begin() + 3),
        (std::vector<std::string>{"setProcessing(false)", "setActive(false)", "disconnect(other=non-null)"}));
    std::vector<std::string> terminated;
    for (const auto& call : plugin.probe().calls())
        if (call.method == "terminate")
            terminated.push_back(call.object.substr(0, call.object.find('#')));
    EXPECT_EQ(terminated, (std::vector<std::string>{"TestSeparate Controller", "TestSeparate"}))
        << "the reverse of the load: the controller, then the component";
    EXPECT_EQ(plugin.probe().count("ModuleExit"), 1);
    EXPECT_EQ(plugin.probe().liveObjects(), 0);
    EXPECT_NO_ORDER_VIOLATIONS(plugin);
}

TEST_F(VSTModuleLoading, SingleComponentIsItsOwnControllerAndIsReleasedAtTeardown) {
    ASSERT_TRUE(plugin.load("TestSingle"));
    EXPECT_EQ(plugin.probe().count("initialize"), 1) << "one object, initialised once, no provider";
    EXPECT_EQ(plugin.probe().count("setComponentState"), 0);
    plugin.unload();
    EXPECT_EQ(plugin.probe().count("terminate"), 1);
    // Connected to itself at load; without the disconnect it would keep itself alive.
    EXPECT_EQ(plugin.probe().liveObjects(), 0);
    EXPECT_NO_ORDER_VIOLATIONS(plugin);
}

TEST_F(VSTModuleLoading, AClassIsChosenByNameOrIdAndTheLastOneByDefault) {
    const std::string bundle = TestPluginHandle::bundlePath("TestTwoClasses");
    std::string error;
    const auto classes = VSTModule::listPluginClasses(bundle, error);
    ASSERT_EQ(classes.size(), 4u);
    const std::string idOfA = classes[0].classId;
    struct Case {
        std::string choice;
        std::string loaded;
    };
    // The id in lower case too: ids are hexadecimal, whoever typed them.
    std::string lowerIdOfA = idOfA;
    for (char& c : lowerIdOfA)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const Case& c : {Case{"", "TestTwoClasses B"}, Case{"TestTwoClasses A", "TestTwoClasses A"},
                          Case{lowerIdOfA, "TestTwoClasses A"}}) {
        SCOPED_TRACE("class '" + c.choice + "'");
        plugin.host("TestTwoClasses");
        plugin.probe().reset();
        ASSERT_TRUE(plugin.module->loadPlugin(bundle, c.choice, error)) << error;
        EXPECT_EQ(plugin.module->getPluginClassInfo().name, c.loaded);
        plugin.processBlock(64);
        // Only the chosen class is created: a bundle may declare dozens.
        for (const auto& call : plugin.probe().calls()) {
            if (call.method == "initialize") {
                EXPECT_EQ(call.object.rfind(c.loaded, 0), 0u) << call.object;
            }
        }
        ASSERT_EQ(plugin.probe().lastProcesses(1).size(), 1u);
        plugin.unload();
        EXPECT_EQ(plugin.probe().liveObjects(), 0);
        EXPECT_NO_ORDER_VIOLATIONS(plugin);
    }

    plugin.host("TestTwoClasses");
    plugin.probe().reset();
    EXPECT_FALSE(plugin.module->loadPlugin(bundle, "TestTwoClasses A Controller", error));
    EXPECT_EQ(error, "No audio module class is named or has the id TestTwoClasses A Controller; the plug-in "
                     "declares TestTwoClasses A (" +
                         idOfA + "), TestTwoClasses B (" + classes[2].classId + ").");
    EXPECT_EQ(plugin.probe().count("createInstance"), 0);
    EXPECT_EQ(plugin.module->getPluginClassInfo().name, "");
}

TEST_F(VSTModuleLoading, FailuresGiveOneLineAndFalse) {
    struct Case {
        const char* plugin;
        const char* line;
    };
    const Case cases[] = {
        {"TestNoClass", "[VSTModule] No plugin class found."},
        {"TestNoAudioModule", "[VSTModule] No audio module class found."},
        {"TestNoProcessor", "[VSTModule] Failed to get audio processor interface."},
        {"TestInitFails", "[VSTModule] Could not initialize the plug-in component."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.plugin);
        log.clear();
        plugin.host(c.plugin);
        std::string error;
        EXPECT_FALSE(plugin.module->loadPlugin(TestPluginHandle::bundlePath(c.plugin), error));
        EXPECT_EQ(log.lines(), std::vector<std::string>{c.line});
        EXPECT_EQ("[VSTModule] " + error, c.line);
        EXPECT_EQ(plugin.module->getLoadError(), error);
        EXPECT_TRUE(plugin.module->getPluginClassInfo().name.empty());
        EXPECT_TRUE(plugin.module->getBuses().empty());
        EXPECT_EQ(plugin.probe().count("ModuleExit"), 0) << "the module stays loaded until destruction";
        plugin.unload();
        EXPECT_EQ(plugin.probe().count("ModuleExit"), 1);
        EXPECT_EQ(plugin.probe().liveObjects(), 0);
        EXPECT_NO_ORDER_VIOLATIONS(plugin);
    }
}

TEST_F(VSTModuleLoading, WithoutAudioProcessorTheSwitchAndBlocksReportIt) {
    EXPECT_FALSE(plugin.load("TestNoProcessor"));
    log.clear();
    EXPECT_FALSE(plugin.module->setProcessing(true));
    EXPECT_EQ(log.lines(), std::vector<std::string>{"[VSTModule] No audio processor available."});
    log.clear();
    StereoBuffers buffers(16, 0.25f);
    for (int block = 0; block < 3; ++block)
        buffers.process(*plugin.module, 16);
    EXPECT_TRUE(log.lines().empty()) << "the audio thread only counts";
    EXPECT_EQ(buffers.outL, std::vector<float>(16, 0.0f)) << "the output is left as it was";
    plugin.module->reportAudioThreadFailures();
    EXPECT_EQ(log.lines(),
              (std::vector<std::string>{"[VSTModule] No audio processor available.",
                                        "[VSTModule] No audio processor available repeated 2 times"}));
}

TEST_F(VSTModuleLoading, ControllerThatCannotBeSetUpStillLoadsWithoutTable) {
    ASSERT_TRUE(plugin.load("TestNoController"));
    EXPECT_EQ(log.count("[VSTModule] Edit controller interface is not available."), 1u);
    EXPECT_EQ(plugin.probe().count("connect"), 0);
    EXPECT_FALSE(plugin.module->setParameter(std::string("Gain"), 0.5f));
    EXPECT_TRUE(plugin.module->getParameters().empty());
    EXPECT_EQ(log.count("[VSTModule] Edit controller interface is not available."), 2u)
        << "logged on every call";
    expectUnloadsInOrder();
    EXPECT_EQ(plugin.probe().liveObjects(), 0);
}

TEST_F(VSTModuleLoading, RefusedProcessingSwitchIsLoggedAndLoadStillSucceeds) {
    ASSERT_TRUE(plugin.load("TestRefuseProcessing"));
    EXPECT_EQ(log.lines(), std::vector<std::string>{"[VSTModule] setProcessing to true failed"});
    log.clear();
    EXPECT_FALSE(plugin.module->setProcessing(false));
    EXPECT_EQ(log.lines(), std::vector<std::string>{"[VSTModule] setProcessing to false failed"});
    log.clear();
    EXPECT_FALSE(plugin.module->setProcessing(true));
    EXPECT_EQ(log.lines(), std::vector<std::string>{"[VSTModule] setProcessing to true failed"});
    // The state it refused is asked for again, not taken as in force.
    plugin.probe().reset();
    EXPECT_FALSE(plugin.module->setProcessing(true));
    EXPECT_EQ(plugin.sequence({"setProcessing"}), std::vector<std::string>{"setProcessing(true)"});
    expectUnloadsInOrder();
}

TEST_F(VSTModuleLoading, ProcessingSwitchesOffAndOnAgain) {
    ASSERT_TRUE(plugin.load("TestSeparate"));
    StereoBuffers buffers(32);
    EXPECT_TRUE(plugin.module->setProcessing(false));
    buffers.process(*plugin.module, 32);
    EXPECT_EQ(plugin.probe().processCount(), 0) << "no block reaches a plug-in whose processing is off";
    EXPECT_TRUE(plugin.module->setProcessing(true));
    buffers.process(*plugin.module, 32);
    EXPECT_EQ(plugin.probe().processCount(), 1);
    expectCleanFinish();
}

TEST_F(VSTModuleLoading, SecondLoadIsRefusedAndChangesNothing) {
    ASSERT_TRUE(plugin.load("TestSeparate"));
    const int created = plugin.probe().count("createInstance");
    EXPECT_FALSE(plugin.load());
    EXPECT_EQ(log.lines(), std::vector<std::string>{"[VSTModule] A plug-in is already loaded."});
    EXPECT_EQ(plugin.probe().count("createInstance"), created);
    plugin.processBlock(8);
    EXPECT_EQ(plugin.probe().processCount(), 1);
}

TEST_F(VSTModuleLoading, MonoPluginIsGivenItsOwnChannelCount) {
    ASSERT_TRUE(plugin.load("TestMono"));
    StereoBuffers buffers(64, 0.5f);
    buffers.process(*plugin.module, 64);
    const auto processed = plugin.probe().lastProcesses(1);
    ASSERT_EQ(processed.size(), 1u);
    EXPECT_EQ(processed[0].inputChannels, 1);
    EXPECT_EQ(processed[0].outputChannels, 1);
    EXPECT_FLOAT_EQ(buffers.outL[10], 0.5f);
    expectUnloadsInOrder();
}

TEST_F(VSTModuleLoading, PluginWithoutInputBusIsHandedNone) {
    ASSERT_TRUE(plugin.load("TestNoInput"));
    StereoBuffers buffers(64, 0.5f);
    buffers.process(*plugin.module, 64);
    const auto processed = plugin.probe().lastProcesses(1);
    ASSERT_EQ(processed.size(), 1u);
    EXPECT_EQ(processed[0].numInputs, 0);
    EXPECT_EQ(processed[0].numOutputs, 1);
    EXPECT_EQ(plugin.sequence({"activateBus"}).size(), 1u) << "only the output bus is activated";
    expectCleanFinish();
}

TEST_F(VSTModuleLoading, RefusedBusActivationIsLoggedAndLoadStillSucceeds) {
    ASSERT_TRUE(plugin.load("TestRefuseBus"));
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"[VSTModule] input bus activation error",
                                                     "[VSTModule] output bus activation error"}));
    expectUnloadsInOrder();
}

TEST_F(VSTModuleLoading, LoadedPluginDescribesItsClassAndBuses) {
    plugin.host("TestSeparate");
    std::string error = "stale";
    ASSERT_TRUE(plugin.module->loadPlugin(TestPluginHandle::bundlePath("TestSeparate"), error));
    EXPECT_EQ(error, "");
    EXPECT_EQ(plugin.module->getLoadError(), "");
    const auto info = plugin.module->getPluginClassInfo();
    EXPECT_EQ(info.name, "TestSeparate");
    EXPECT_EQ(info.category, "Audio Module Class");
    EXPECT_EQ(info.vendor, "Varnel Tests");
    EXPECT_EQ(info.subCategories, std::vector<std::string>{"Fx"});
    EXPECT_EQ(info.classId.size(), 32u);
    const auto buses = plugin.module->getBuses();
    ASSERT_EQ(buses.size(), 2u);
    EXPECT_EQ(buses[0].name, "Input");
    EXPECT_TRUE(buses[0].isInput);
    EXPECT_FALSE(buses[1].isInput);
    for (const auto& bus : buses) {
        EXPECT_EQ(bus.channelCount, 2);
        EXPECT_FALSE(bus.isAuxiliary);
        EXPECT_TRUE(bus.defaultActive);
    }
}

TEST_F(VSTModuleLoading, ClassListNamesEveryClassWithoutCreatingOne) {
    plugin.host("TestTwoClasses");
    std::string error;
    const auto classes = VSTModule::listPluginClasses(TestPluginHandle::bundlePath("TestTwoClasses"), error);
    EXPECT_EQ(error, "");
    std::vector<std::string> names;
    for (const auto& info : classes)
        names.push_back(info.name + " / " + info.category);
    EXPECT_EQ(names, (std::vector<std::string>{"TestTwoClasses A / Audio Module Class",
                                               "TestTwoClasses A Controller / Component Controller Class",
                                               "TestTwoClasses B / Audio Module Class",
                                               "TestTwoClasses B Controller / Component Controller Class"}));
    EXPECT_EQ(plugin.probe().count("createInstance"), 0);
    EXPECT_EQ(plugin.probe().count("ModuleExit"), 1) << "the module is unloaded again";

    EXPECT_TRUE(VSTModule::listPluginClasses("/nonexistent/Nothing.vst3", error).empty());
    EXPECT_EQ(error.rfind("Error loading plugin: ", 0), 0u) << error;
    EXPECT_TRUE(log.lines().empty()) << "the reason goes to the caller only";
}

TEST_F(VSTModuleLoading, TheHostContextSaysWhichInterfacesItReallyServesAndUses) {
    ASSERT_TRUE(plugin.load("TestTempoSynced"));
    std::map<std::string, std::int32_t> answers;
    for (const auto& call : plugin.probe().calls()) {
        if (call.method == "isPlugInterfaceSupported")
            answers[call.arguments] = call.result;
    }
    // kResultTrue and kResultFalse.
    constexpr std::int32_t yes = 0;
    constexpr std::int32_t no = 1;
    // No editor frame or run loop, units, MIDI mapping or context requirements: a
    // plug-in told yes would wait for calls that never come.
    EXPECT_EQ(answers, (std::map<std::string, std::int32_t>{{"IComponent", yes},
                                                            {"IAudioProcessor", yes},
                                                            {"IEditController", yes},
                                                            {"IConnectionPoint", yes},
                                                            {"IHostApplication", yes},
                                                            {"IComponentHandler", yes},
                                                            {"IMessage", yes},
                                                            {"IAttributeList", yes},
                                                            {"IPlugInterfaceSupport", yes},
                                                            {"IUnitInfo", no},
                                                            {"IMidiMapping", no},
                                                            {"IEditController2", no},
                                                            {"IProcessContextRequirements", no}}));
    EXPECT_NO_ORDER_VIOLATIONS(plugin);
}
