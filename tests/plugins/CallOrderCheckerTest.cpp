// The recorder and the strict VST 3 order checker of the test plug-ins, driven
// through the raw interfaces: a correct host leaves no violations and a full
// record; each deliberate misuse is caught and named.

#include "RawHost.h"

#include "testplugin/TestPluginHandle.h"

#include "pluginterfaces/vst/vstspeaker.h"
#include "public.sdk/source/common/memorystream.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace Steinberg;
using namespace Steinberg::Vst;
using rawhost::Session;
using testplugin::CallRecord;
using testplugin::TestPluginHandle;

std::vector<std::string> methodsOf(const std::vector<CallRecord>& calls) {
    std::vector<std::string> methods;
    for (const auto& call : calls)
        methods.push_back(call.method);
    return methods;
}

const CallRecord* findCall(const std::vector<CallRecord>& calls, const std::string& method,
                           const std::string& object) {
    for (const auto& call : calls) {
        if (call.method == method && call.object == object)
            return &call;
    }
    return nullptr;
}

// --- A correct host -------------------------------------------------------

struct CorrectHostCase {
    std::string bundle;
    int32 channels;
};

void PrintTo(const CorrectHostCase& value, std::ostream* out) {
    *out << value.bundle;
}

class CorrectHost : public testing::TestWithParam<CorrectHostCase> {};

TEST_P(CorrectHost, FullLifecycleLeavesNoViolationsAndNothingAlive) {
    const auto& [bundle, channels] = GetParam();
    TestPluginHandle handle(bundle);
    ASSERT_TRUE(handle.loaded()) << handle.error();
    {
        Session session(bundle, channels);
        ASSERT_TRUE(session.bringUp()) << describeViolations(handle.probe());
        for (int block = 0; block < 3; ++block)
            session.process(512);
        // A block of 0 samples is allowed, with or without buffers.
        session.process(0);
        session.data.numInputs = 0;
        session.data.numOutputs = 0;
        session.process(0);
    }
    auto& probe = handle.probe();
    EXPECT_TRUE(probe.violations().empty()) << describeViolations(probe);
    EXPECT_EQ(probe.liveObjects(), 0);
    EXPECT_EQ(probe.count("ModuleEntry"), 1);
    EXPECT_EQ(probe.count("GetPluginFactory"), 1);
    EXPECT_EQ(probe.count("ModuleExit"), 1);
    EXPECT_EQ(probe.count("process"), 5);
    EXPECT_EQ(probe.processCount(), 5);
}

INSTANTIATE_TEST_SUITE_P(
    Bundles, CorrectHost,
    testing::Values(CorrectHostCase{"TestSeparate", 2}, CorrectHostCase{"TestSingle", 2},
                    CorrectHostCase{"TestTwoClasses", 2}, CorrectHostCase{"TestMono", 1},
                    CorrectHostCase{"TestDuplicateTitles", 2}, CorrectHostCase{"TestInfoFails", 2},
                    CorrectHostCase{"TestRefuseRate", 2}, CorrectHostCase{"TestProcessFalse", 2},
                    CorrectHostCase{"TestNoInput", 2}, CorrectHostCase{"TestTwoWay", 2},
                    CorrectHostCase{"TestResetsOnActivation", 2}, CorrectHostCase{"TestStrictThreads", 2}),
    [](const testing::TestParamInfo<CorrectHostCase>& info) { return info.param.bundle; });

TEST(CorrectHostRecord, RecordsEveryCallInOrderWithObjectArgumentsAndThread) {
    TestPluginHandle handle("TestSeparate");
    ASSERT_TRUE(handle.loaded()) << handle.error();
    {
        Session session("TestSeparate");
        ASSERT_TRUE(session.bringUp(48000.0, 512));
        session.process(512);
    }
    const auto calls = handle.probe().calls();
    const std::vector<std::string> expected = {
        "ModuleEntry",     "GetPluginFactory", "countClasses",        "getClassInfo",
        "getClassInfo",    "createInstance",   "initialize",          "getControllerClassId",
        "createInstance",  "initialize",       "setComponentHandler", "connect",
        "connect",         "getState",         "setComponentState",   "getBusCount",
        "setupProcessing", "getBusCount",      "activateBus",         "getBusCount",
        "activateBus",     "setActive",        "setProcessing",       "setProcessing",
        "setActive",       "disconnect",       "disconnect",          "terminate",
        "terminate",       "ModuleExit"};
    EXPECT_EQ(methodsOf(calls), expected);

    for (const auto& call : calls)
        EXPECT_EQ(call.thread, testplugin::currentThreadToken()) << call.method;

    const CallRecord* created = findCall(calls, "createInstance", "factory#1");
    ASSERT_NE(created, nullptr);
    EXPECT_EQ(created->interface, "IPluginFactory");
    EXPECT_EQ(created->arguments, "class=TestSeparate interface=IComponent -> TestSeparate#2");
    EXPECT_EQ(created->result, kResultOk);

    const CallRecord* initialized = findCall(calls, "initialize", "TestSeparate#2");
    ASSERT_NE(initialized, nullptr);
    EXPECT_EQ(initialized->interface, "IPluginBase");
    EXPECT_EQ(initialized->arguments, "context=non-null hostApplication=yes name=Raw test host");

    const CallRecord* setup = findCall(calls, "setupProcessing", "TestSeparate#2");
    ASSERT_NE(setup, nullptr);
    EXPECT_EQ(setup->arguments, "mode=0 sampleSize=0 maxSamples=512 rate=48000");

    const CallRecord* bus = findCall(calls, "activateBus", "TestSeparate#2");
    ASSERT_NE(bus, nullptr);
    EXPECT_EQ(bus->arguments, "audio input index=0 state=true");

    const CallRecord* active = findCall(calls, "setActive", "TestSeparate#2");
    ASSERT_NE(active, nullptr);
    EXPECT_EQ(active->arguments, "true");

    // The component's state blob (its gain, 1.0) arrived at the controller.
    const CallRecord* handedOver = findCall(calls, "setComponentState", "TestSeparate Controller#3");
    ASSERT_NE(handedOver, nullptr);
    EXPECT_EQ(handedOver->arguments, "bytes=8 gain=1");
    EXPECT_EQ(handedOver->result, kResultOk);
}

TEST(CorrectHostRecord, ProcessAppliesGainAndRecordsTheBlock) {
    TestPluginHandle handle("TestSeparate");
    ASSERT_TRUE(handle.loaded()) << handle.error();
    Session session("TestSeparate");
    ASSERT_TRUE(session.bringUp(48000.0, 512));
    session.inputChanges.add(1, 0, 0.25);
    session.inputChanges.add(1, 100, 0.5);
    session.inputChanges.add(2, 7, 1.0);
    ASSERT_EQ(session.process(512), kResultOk);

    float peak = 0.0f;
    for (std::size_t frame = 0; frame < 512; ++frame) {
        ASSERT_FLOAT_EQ(session.output[0][frame], session.input[0][frame] * 0.5f) << frame;
        ASSERT_FLOAT_EQ(session.output[1][frame], session.input[1][frame] * 0.5f) << frame;
        peak = std::max(peak, std::fabs(session.output[0][frame]));
    }

    const auto records = handle.probe().lastProcesses(1);
    ASSERT_EQ(records.size(), 1u);
    const auto& record = records[0];
    EXPECT_EQ(record.numSamples, 512);
    EXPECT_EQ(record.processMode, kRealtime);
    EXPECT_EQ(record.symbolicSampleSize, kSample32);
    EXPECT_EQ(record.numInputs, 1);
    EXPECT_EQ(record.numOutputs, 1);
    EXPECT_EQ(record.inputChannels, 2);
    EXPECT_EQ(record.outputChannels, 2);
    EXPECT_TRUE(record.hasOutputParameterChanges);
    EXPECT_EQ(record.thread, testplugin::currentThreadToken());
    EXPECT_EQ(record.parameterCount, 2);
    EXPECT_EQ(record.queues[0].id, 1u);
    EXPECT_EQ(record.queues[0].pointCount, 2);
    EXPECT_EQ(record.queues[0].firstOffset, 0);
    EXPECT_EQ(record.queues[0].firstValue, 0.25);
    EXPECT_EQ(record.queues[0].lastValue, 0.5);
    EXPECT_EQ(record.queues[1].id, 2u);
    EXPECT_EQ(record.queues[1].firstOffset, 7);
    EXPECT_EQ(record.gain, 0.5);
    EXPECT_EQ(record.result, kResultOk);

    // "Meter" (id 3) reports the block's peak at offset 0.
    ASSERT_EQ(session.outputChanges.getParameterCount(), 1);
    auto* meter = session.outputChanges.getParameterData(0);
    int32 offset = -1;
    ParamValue value = -1.0;
    ASSERT_EQ(meter->getPoint(0, offset, value), kResultOk);
    EXPECT_EQ(meter->getParameterId(), 3u);
    EXPECT_EQ(offset, 0);
    EXPECT_FLOAT_EQ(static_cast<float>(value), peak);

    // The gain stays until the host sends another.
    session.inputChanges.clear();
    session.process(64);
    EXPECT_EQ(handle.probe().lastProcesses(1)[0].gain, 0.5);
    EXPECT_EQ(handle.probe().lastProcesses(1)[0].parameterCount, 0);
    EXPECT_FLOAT_EQ(session.output[0][10], session.input[0][10] * 0.5f);
}

TEST(Recorder, KeepsTheLast256ProcessRecordsOldestFirst) {
    TestPluginHandle handle("TestSeparate");
    ASSERT_TRUE(handle.loaded()) << handle.error();
    Session session("TestSeparate");
    ASSERT_TRUE(session.bringUp(48000.0, 512));
    for (int32 block = 0; block < 300; ++block)
        session.process(block);
    auto& probe = handle.probe();
    EXPECT_EQ(probe.processCount(), 300);
    const auto all = probe.lastProcesses(1000);
    ASSERT_EQ(all.size(), 256u);
    EXPECT_EQ(all.front().numSamples, 300 - 256);
    EXPECT_EQ(all.back().numSamples, 299);
    const auto three = probe.lastProcesses(3);
    ASSERT_EQ(three.size(), 3u);
    EXPECT_EQ(three[0].numSamples, 297);
    EXPECT_EQ(three[2].numSamples, 299);
}

TEST(Recorder, ResetClearsTheRecordButKeepsTheLifecycleState) {
    TestPluginHandle handle("TestSeparate");
    ASSERT_TRUE(handle.loaded()) << handle.error();
    Session session("TestSeparate");
    ASSERT_TRUE(session.bringUp());
    session.setupProcessing(48000.0, 512); // a violation: set up while active
    session.process(64);
    auto& probe = handle.probe();
    ASSERT_FALSE(probe.violations().empty());

    probe.reset();
    EXPECT_TRUE(probe.calls().empty());
    EXPECT_TRUE(probe.violations().empty());
    EXPECT_EQ(probe.processCount(), 0);
    EXPECT_TRUE(probe.lastProcesses(10).empty());

    // Still set up, active and processing: the next block is in order.
    EXPECT_EQ(session.process(64), kResultOk);
    EXPECT_TRUE(probe.violations().empty()) << describeViolations(probe);
    EXPECT_EQ(probe.processCount(), 1);
    EXPECT_EQ(probe.liveObjects(), 3); // factory, component, controller
}

TEST(Recorder, ProcessRecordsTheAudioThreadAndControlCallsTheirOwn) {
    TestPluginHandle handle("TestSeparate");
    ASSERT_TRUE(handle.loaded()) << handle.error();
    Session session("TestSeparate");
    ASSERT_TRUE(session.bringUp());
    std::uint64_t audioThread = 0;
    std::thread audio([&] {
        audioThread = testplugin::currentThreadToken();
        for (int block = 0; block < 50; ++block)
            session.process(64);
    });
    // A host's enable switch may reach setProcessing while a block runs; the
    // plug-in's state is atomic, so this only ever shows up as recorded calls.
    for (int toggle = 0; toggle < 20; ++toggle)
        session.processor()->setProcessing(toggle % 2 == 1);
    audio.join();

    EXPECT_NE(audioThread, testplugin::currentThreadToken());
    EXPECT_EQ(handle.probe().processCount(), 50);
    for (const auto& record : handle.probe().lastProcesses(50))
        EXPECT_EQ(record.thread, audioThread);
    for (const auto& call : handle.probe().calls())
        EXPECT_EQ(call.thread, testplugin::currentThreadToken()) << call.method;
}

// --- Misuse: each wrong order is caught and named --------------------------

struct Misuse {
    std::string name;
    std::string bundle;
    int32 channels;
    std::function<void(Session&)> run;
    std::string expected; // part of the first violation recorded
};

void PrintTo(const Misuse& value, std::ostream* out) {
    *out << value.name;
}

void createAndInitialize(Session& session) {
    session.moduleEntry();
    session.getPluginFactory();
    session.createComponent();
    session.initializeComponent();
}

void stopAndDisconnect(Session& session) {
    session.setProcessing(false);
    session.setActive(false);
    session.disconnect();
}

IEditController* uninitializedController(Session& session) {
    createAndInitialize(session);
    TUID controllerId = {};
    session.component()->getControllerClassId(controllerId);
    IEditController* controller = nullptr;
    session.factory()->createInstance(controllerId, IEditController::iid,
                                      reinterpret_cast<void**>(&controller));
    return controller;
}

const std::vector<Misuse> misuses = {
    {"ProcessBeforeSetupProcessing", "TestSeparate", 2,
     [](Session& s) {
         createAndInitialize(s);
         EXPECT_EQ(s.process(64), kResultFalse);
     },
     "TestSeparate#2: IAudioProcessor::process before IAudioProcessor::setupProcessing"},
    {"SetActiveBeforeSetupProcessing", "TestSeparate", 2,
     [](Session& s) {
         createAndInitialize(s);
         s.setActive(true);
     },
     "TestSeparate#2: IComponent::setActive(true) before IAudioProcessor::setupProcessing"},
    {"SetupProcessingWhileActive", "TestSeparate", 2,
     [](Session& s) {
         s.bringUp();
         s.setupProcessing(44100.0, 256);
     },
     "IAudioProcessor::setupProcessing(mode=0 sampleSize=0 maxSamples=256 rate=44100) while the component is "
     "active"},
    {"ActivateBusWhileActive", "TestSeparate", 2,
     [](Session& s) {
         s.bringUp();
         s.activateBuses(false);
     },
     "IComponent::activateBus(audio input index=0 state=false) while the component is active"},
    {"SetBusArrangementsWhileActive", "TestSeparate", 2,
     [](Session& s) {
         s.bringUp();
         SpeakerArrangement stereo = SpeakerArr::kStereo;
         s.processor()->setBusArrangements(&stereo, 1, &stereo, 1);
     },
     "IAudioProcessor::setBusArrangements(inputs=[stereo] outputs=[stereo]) while the component is active"},
    {"SetProcessingWhileInactive", "TestSeparate", 2,
     [](Session& s) {
         createAndInitialize(s);
         s.setupProcessing(48000.0, 512);
         s.setProcessing(true);
     },
     "IAudioProcessor::setProcessing(true) while the component is inactive"},
    {"ProcessWithoutSetProcessing", "TestSeparate", 2,
     [](Session& s) {
         createAndInitialize(s);
         s.setupProcessing(48000.0, 512);
         s.setActive(true);
         s.process(64);
     },
     "IAudioProcessor::process while processing is off"},
    {"SetActiveFalseWhileProcessing", "TestSeparate", 2,
     [](Session& s) {
         s.bringUp();
         s.setActive(false);
     },
     "IComponent::setActive(false) while processing"},
    {"BlockAboveMaximum", "TestSeparate", 2,
     [](Session& s) {
         s.bringUp(48000.0, 256);
         EXPECT_EQ(s.process(512), kResultFalse);
         EXPECT_EQ(s.output[0][0], 0.0f); // refused, not overrun
     },
     "IAudioProcessor::process with numSamples 512 above maxSamplesPerBlock 256"},
    {"NegativeBlock", "TestSeparate", 2,
     [](Session& s) {
         s.bringUp();
         EXPECT_EQ(s.process(-1), kResultFalse);
     },
     "IAudioProcessor::process with negative numSamples -1"},
    {"SampleSizeOtherThanSetUp", "TestSeparate", 2,
     [](Session& s) {
         s.bringUp();
         s.data.symbolicSampleSize = kSample64;
         EXPECT_EQ(s.process(64), kResultFalse);
     },
     "IAudioProcessor::process with symbolicSampleSize 1, set up with 0"},
    {"TwoInputBusesDeclared", "TestSeparate", 2,
     [](Session& s) {
         s.bringUp();
         s.data.numInputs = 2;
         s.process(64);
     },
     "IAudioProcessor::process declares 2 input bus(es), the plug-in has 1"},
    {"StereoBusOnMonoPlugin", "TestMono", 2,
     [](Session& s) {
         s.bringUp();
         s.process(64);
     },
     "TestMono#2: IAudioProcessor::process declares input bus 0 as stereo (2 channels) but the plug-in's bus "
     "is "
     "mono (1 channel)"},
    {"InputBusDeclaredToAGenerator", "TestNoInput", 2,
     [](Session& s) {
         s.bringUp();
         s.data.numInputs = 1;
         s.process(64);
     },
     "TestNoInput#2: IAudioProcessor::process declares 1 input bus(es), the plug-in has 0"},
    {"TerminateWhileActive", "TestSeparate", 2,
     [](Session& s) {
         s.bringUp();
         s.setProcessing(false);
         s.terminateComponent();
     },
     "TestSeparate#2: IPluginBase::terminate while the component is active"},
    {"TerminateWhileConnected", "TestSeparate", 2,
     [](Session& s) {
         s.bringUp();
         s.setProcessing(false);
         s.setActive(false);
         s.terminateController();
     },
     "TestSeparate Controller#3: IPluginBase::terminate while still connected"},
    {"ControllerWithoutComponentHandler", "TestSeparate", 2,
     [](Session& s) {
         s.givesComponentHandler = false;
         s.bringUp();
         s.tearDown();
     },
     "TestSeparate Controller#3: IPluginBase::terminate of an edit controller never given a component "
     "handler"},
    {"CallAfterTerminate", "TestSeparate", 2,
     [](Session& s) {
         s.bringUp();
         stopAndDisconnect(s);
         s.terminateController();
         s.terminateComponent();
         s.setActive(false);
     },
     "TestSeparate#2: IComponent::setActive(false) after IPluginBase::terminate"},
    {"ProcessAfterTerminate", "TestSeparate", 2,
     [](Session& s) {
         s.bringUp();
         stopAndDisconnect(s);
         s.terminateController();
         s.terminateComponent();
         EXPECT_EQ(s.process(64), kResultFalse);
     },
     "TestSeparate#2: IAudioProcessor::process after IPluginBase::terminate"},
    {"InitializeTwice", "TestSeparate", 2,
     [](Session& s) {
         createAndInitialize(s);
         s.initializeComponent();
     },
     "TestSeparate#2: IPluginBase::initialize(context=non-null hostApplication=yes name=Raw test host) "
     "called twice"},
    {"TerminateWithoutInitialize", "TestSeparate", 2,
     [](Session& s) {
         s.moduleEntry();
         s.getPluginFactory();
         s.createComponent();
         s.terminateComponent();
     },
     "TestSeparate#2: IPluginBase::terminate before IPluginBase::initialize"},
    {"BusCountBeforeInitialize", "TestSeparate", 2,
     [](Session& s) {
         s.moduleEntry();
         s.getPluginFactory();
         s.createComponent();
         // Answered like the installed plug-ins: the error code where a count belongs.
         EXPECT_EQ(s.component()->getBusCount(kAudio, kInput), kNotInitialized);
     },
     "TestSeparate#2: IComponent::getBusCount(audio input) before IPluginBase::initialize"},
    {"SetComponentStateBeforeInitialize", "TestSeparate", 2,
     [](Session& s) {
         IEditController* controller = uninitializedController(s);
         MemoryStream stream;
         controller->setComponentState(&stream);
         controller->release();
     },
     "TestSeparate Controller#3: IEditController::setComponentState before IPluginBase::initialize"},
    {"SetParamNormalizedBeforeInitialize", "TestSeparate", 2,
     [](Session& s) {
         IEditController* controller = uninitializedController(s);
         controller->setParamNormalized(1, 0.5);
         controller->release();
     },
     "TestSeparate Controller#3: IEditController::setParamNormalized(id=1 value=0.5) before "
     "IPluginBase::initialize"},
    {"GetParameterInfoBeforeInitialize", "TestSeparate", 2,
     [](Session& s) {
         IEditController* controller = uninitializedController(s);
         ParameterInfo info{};
         controller->getParameterInfo(0, info);
         controller->release();
     },
     "TestSeparate Controller#3: IEditController::getParameterInfo(index=0) before IPluginBase::initialize"},
    {"SetReadOnlyParameterToAnUnreportedValue", "TestSeparate", 2,
     [](Session& s) {
         s.bringUp();
         s.process(64);
         s.controller()->setParamNormalized(3, 0.123);
     },
     "TestSeparate Controller#3: IEditController::setParamNormalized(id=3 value=0.123) sets a read-only "
     "parameter to a value the processor never reported"},
    {"ReleaseWithoutTerminate", "TestSeparate", 2,
     [](Session& s) {
         createAndInitialize(s);
         s.releaseComponent();
     },
     "TestSeparate#2: last release without IPluginBase::terminate"},
    {"GetPluginFactoryBeforeModuleEntry", "TestSeparate", 2, [](Session& s) { s.getPluginFactory(); },
     "GetPluginFactory before ModuleEntry"},
    {"ModuleEntryTwice", "TestSeparate", 2,
     [](Session& s) {
         s.moduleEntry();
         s.moduleEntry();
     },
     "ModuleEntry(handle=non-null) called again without ModuleExit"},
    {"ModuleExitWithoutModuleEntry", "TestSeparate", 2, [](Session& s) { s.moduleExit(); },
     "ModuleExit without ModuleEntry"},
    {"ModuleExitWithLiveObjects", "TestSeparate", 2,
     [](Session& s) {
         s.bringUp();
         s.moduleExit();
     },
     "ModuleExit while 3 plug-in object(s) are still alive: factory#1, TestSeparate#2, TestSeparate "
     "Controller#3"},
};

class MisuseTest : public testing::TestWithParam<Misuse> {};

TEST_P(MisuseTest, IsRecordedAsANamedViolationWithoutCrashing) {
    const Misuse& misuse = GetParam();
    TestPluginHandle handle(misuse.bundle);
    ASSERT_TRUE(handle.loaded()) << handle.error();
    Session session(misuse.bundle, misuse.channels);
    misuse.run(session);
    const auto violations = handle.probe().violations();
    ASSERT_FALSE(violations.empty()) << "expected: " << misuse.expected;
    EXPECT_NE(violations.front().find(misuse.expected), std::string::npos)
        << "expected: " << misuse.expected << "\n"
        << describeViolations(handle.probe());
}

INSTANTIATE_TEST_SUITE_P(StrictOrder, MisuseTest, testing::ValuesIn(misuses),
                         [](const testing::TestParamInfo<Misuse>& info) { return info.param.name; });

} // namespace
