// What sets each test plug-in apart: its factory, classes, parameters and the
// step at which it fails, as a host meets them through the raw interfaces.

#include "RawHost.h"

#include "testplugin/TestPluginHandle.h"

#include "pluginterfaces/vst/vstspeaker.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace Steinberg;
using namespace Steinberg::Vst;
using rawhost::Session;
using testplugin::TestPluginHandle;

std::string toUtf8(const TChar* text) {
    std::string result;
    for (; *text != 0; ++text)
        result += static_cast<char>(*text);
    return result;
}

template <class Interface>
bool answers(FUnknown* object, const TUID iid) {
    Interface* result = nullptr;
    const bool found = object->queryInterface(iid, reinterpret_cast<void**>(&result)) == kResultOk && result;
    if (result != nullptr)
        result->release();
    return found;
}

struct Parameter {
    std::string title;
    ParamID id;
    int32 stepCount;
    double defaultValue;
    std::string units;
    int32 flags;
    bool operator==(const Parameter&) const = default;
};

std::vector<Parameter> parametersOf(IEditController* controller) {
    std::vector<Parameter> parameters;
    for (int32 index = 0; index < controller->getParameterCount(); ++index) {
        ParameterInfo info{};
        if (controller->getParameterInfo(index, info) == kResultOk)
            parameters.push_back({toUtf8(info.title), info.id, info.stepCount, info.defaultNormalizedValue,
                                  toUtf8(info.units), info.flags});
    }
    return parameters;
}

// --- Factories ---------------------------------------------------------------

TEST(Factory, TestSeparateAnswersFactory3AndRecordsTheHostContext) {
    TestPluginHandle handle("TestSeparate");
    Session session("TestSeparate");
    ASSERT_TRUE(session.moduleEntry() && session.getPluginFactory());
    IPluginFactory3* factory3 = nullptr;
    ASSERT_EQ(session.factory()->queryInterface(IPluginFactory3::iid, reinterpret_cast<void**>(&factory3)),
              kResultOk);
    EXPECT_EQ(factory3->setHostContext(&session.host), kResultOk);

    PFactoryInfo factoryInfo;
    ASSERT_EQ(factory3->getFactoryInfo(&factoryInfo), kResultOk);
    EXPECT_STREQ(factoryInfo.vendor, "Varnel Tests");
    EXPECT_EQ(factoryInfo.flags & PFactoryInfo::kUnicode, PFactoryInfo::kUnicode);

    ASSERT_EQ(factory3->countClasses(), 2);
    PClassInfoW component;
    PClassInfoW controller;
    ASSERT_EQ(factory3->getClassInfoUnicode(0, &component), kResultOk);
    ASSERT_EQ(factory3->getClassInfoUnicode(1, &controller), kResultOk);
    EXPECT_STREQ(component.category, kVstAudioEffectClass);
    EXPECT_EQ(toUtf8(component.name), "TestSeparate");
    EXPECT_STREQ(component.subCategories, "Fx");
    EXPECT_EQ(toUtf8(component.vendor), "Varnel Tests");
    EXPECT_STREQ(controller.category, kVstComponentControllerClass);
    EXPECT_EQ(toUtf8(controller.name), "TestSeparate Controller");
    EXPECT_NE(std::memcmp(component.cid, controller.cid, sizeof(TUID)), 0);
    factory3->release();

    const auto calls = handle.probe().calls();
    const auto context =
        std::find_if(calls.begin(), calls.end(), [](auto& c) { return c.method == "setHostContext"; });
    ASSERT_NE(context, calls.end());
    EXPECT_EQ(context->interface, "IPluginFactory3");
    EXPECT_EQ(context->arguments, "context=non-null hostApplication=yes name=Raw test host");
}

TEST(Factory, TestTwoClassesOffersFactory2AndTwoModulesWithTheirControllers) {
    TestPluginHandle handle("TestTwoClasses");
    Session session("TestTwoClasses");
    ASSERT_TRUE(session.moduleEntry() && session.getPluginFactory());
    EXPECT_FALSE(answers<IPluginFactory3>(session.factory(), IPluginFactory3::iid));
    IPluginFactory2* factory2 = nullptr;
    ASSERT_EQ(session.factory()->queryInterface(IPluginFactory2::iid, reinterpret_cast<void**>(&factory2)),
              kResultOk);
    std::vector<std::string> names;
    for (int32 index = 0; index < factory2->countClasses(); ++index) {
        PClassInfo2 info;
        ASSERT_EQ(factory2->getClassInfo2(index, &info), kResultOk);
        names.push_back(std::string(info.name) + " / " + info.category + " / " + info.subCategories);
    }
    factory2->release();
    EXPECT_EQ(names, (std::vector<std::string>{
                         "TestTwoClasses A / Audio Module Class / Fx",
                         "TestTwoClasses A Controller / Component Controller Class / ",
                         "TestTwoClasses B / Audio Module Class / Fx",
                         "TestTwoClasses B Controller / Component Controller Class / ",
                     }));

    // Each instance's record names its class, so a test sees which one a host kept.
    ASSERT_EQ(session.createComponent(1), kResultOk);
    ASSERT_EQ(session.initializeComponent(), kResultOk);
    ASSERT_EQ(session.createController(), kResultOk);
    const auto calls = handle.probe().calls();
    std::vector<std::string> created;
    for (const auto& call : calls) {
        if (call.method == "createInstance")
            created.push_back(call.arguments);
    }
    EXPECT_EQ(
        created,
        (std::vector<std::string>{
            "class=TestTwoClasses B interface=IComponent -> TestTwoClasses B#2",
            "class=TestTwoClasses B Controller interface=IEditController -> TestTwoClasses B Controller#3",
        }));
}

TEST(Factory, TestNoClassIsAPlainFactoryWithoutClasses) {
    Session session("TestNoClass");
    ASSERT_TRUE(session.moduleEntry() && session.getPluginFactory());
    EXPECT_FALSE(answers<IPluginFactory2>(session.factory(), IPluginFactory2::iid));
    EXPECT_EQ(session.factory()->countClasses(), 0);
    PClassInfo info;
    EXPECT_NE(session.factory()->getClassInfo(0, &info), kResultOk);
}

TEST(Factory, TestNoAudioModuleDeclaresOnlyAController) {
    Session session("TestNoAudioModule");
    ASSERT_TRUE(session.moduleEntry() && session.getPluginFactory());
    const auto infos = rawhost::classInfos(session.factory());
    ASSERT_EQ(infos.size(), 1u);
    EXPECT_STREQ(infos[0].category, kVstComponentControllerClass);
    EXPECT_NE(session.createComponent(), kResultOk);
}

TEST(Factory, UnknownClassGivesNoObject) {
    TestPluginHandle handle("TestSeparate");
    Session session("TestSeparate");
    ASSERT_TRUE(session.moduleEntry() && session.getPluginFactory());
    TUID unknown = {};
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(session.factory()->createInstance(unknown, IComponent::iid, &object), kNoInterface);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(handle.probe().liveObjects(), 1); // the factory only
}

// --- Classes -------------------------------------------------------------------

TEST(Classes, TestSingleIsItsOwnControllerAndNamesNone) {
    TestPluginHandle handle("TestSingle");
    Session session("TestSingle");
    ASSERT_TRUE(session.bringUp()) << describeViolations(handle.probe());
    ASSERT_EQ(rawhost::classInfos(session.factory()).size(), 1u);
    FUnknown* componentIdentity = nullptr;
    FUnknown* controllerIdentity = nullptr;
    session.component()->queryInterface(FUnknown::iid, reinterpret_cast<void**>(&componentIdentity));
    session.controller()->queryInterface(FUnknown::iid, reinterpret_cast<void**>(&controllerIdentity));
    EXPECT_EQ(componentIdentity, controllerIdentity);
    componentIdentity->release();
    controllerIdentity->release();
    TUID controllerId = {};
    EXPECT_EQ(session.component()->getControllerClassId(controllerId), kResultFalse);
    EXPECT_EQ(parametersOf(session.controller()).size(), 4u);
    EXPECT_EQ(handle.probe().count("initialize"), 1);
}

TEST(Classes, SeparateComponentAndControllerAnswerOnlyTheirOwnInterfaces) {
    Session session("TestSeparate");
    ASSERT_TRUE(session.bringUp());
    EXPECT_FALSE(answers<IEditController>(session.component(), IEditController::iid));
    EXPECT_FALSE(answers<IComponent>(session.controller(), IComponent::iid));
    EXPECT_FALSE(answers<IAudioProcessor>(session.controller(), IAudioProcessor::iid));
    EXPECT_TRUE(answers<IConnectionPoint>(session.component(), IConnectionPoint::iid));
    EXPECT_TRUE(answers<IConnectionPoint>(session.controller(), IConnectionPoint::iid));
}

TEST(Classes, ASecondConnectIsRefused) {
    Session session("TestSeparate");
    ASSERT_TRUE(session.bringUp());
    IConnectionPoint* componentPoint = nullptr;
    IConnectionPoint* controllerPoint = nullptr;
    session.component()->queryInterface(IConnectionPoint::iid, reinterpret_cast<void**>(&componentPoint));
    session.controller()->queryInterface(IConnectionPoint::iid, reinterpret_cast<void**>(&controllerPoint));
    EXPECT_EQ(componentPoint->connect(controllerPoint), kResultFalse);
    componentPoint->release();
    controllerPoint->release();
}

TEST(Classes, TestNoProcessorHasNoAudioProcessor) {
    Session session("TestNoProcessor");
    ASSERT_TRUE(session.moduleEntry() && session.getPluginFactory());
    ASSERT_EQ(session.createComponent(), kResultOk);
    EXPECT_NE(session.component(), nullptr);
    EXPECT_EQ(session.processor(), nullptr);
}

TEST(Classes, TestNoControllerNamesAControllerTheFactoryCannotCreate) {
    TestPluginHandle handle("TestNoController");
    Session session("TestNoController");
    ASSERT_TRUE(session.moduleEntry() && session.getPluginFactory());
    ASSERT_EQ(session.createComponent(), kResultOk);
    ASSERT_EQ(session.initializeComponent(), kResultOk);
    TUID controllerId = {};
    EXPECT_EQ(session.component()->getControllerClassId(controllerId), kResultOk);
    EXPECT_EQ(session.createController(), kNoInterface);
    EXPECT_EQ(session.controller(), nullptr);
    EXPECT_TRUE(handle.probe().violations().empty()) << describeViolations(handle.probe());
}

TEST(Classes, TestInitFailsRefusesInitializeAndMayBeReleased) {
    TestPluginHandle handle("TestInitFails");
    {
        Session session("TestInitFails");
        ASSERT_TRUE(session.moduleEntry() && session.getPluginFactory());
        ASSERT_EQ(session.createComponent(), kResultOk);
        EXPECT_EQ(session.initializeComponent(), kResultFalse);
    }
    EXPECT_TRUE(handle.probe().violations().empty()) << describeViolations(handle.probe());
    EXPECT_EQ(handle.probe().liveObjects(), 0);
}

// --- Parameters ----------------------------------------------------------------

TEST(Parameters, StandardSetHasGainModeMeterAndHidden) {
    Session session("TestSeparate");
    ASSERT_TRUE(session.bringUp());
    const auto parameters = parametersOf(session.controller());
    EXPECT_EQ(parameters, (std::vector<Parameter>{
                              {"Gain", 1, 0, 1.0, "x", ParameterInfo::kCanAutomate},
                              {"Mode", 2, 2, 0.0, "", ParameterInfo::kCanAutomate | ParameterInfo::kIsList},
                              {"Meter", 3, 0, 0.0, "", ParameterInfo::kIsReadOnly},
                              {"Hidden", 4, 0, 0.5, "", ParameterInfo::kIsHidden},
                          }));
    EXPECT_EQ(session.controller()->setParamNormalized(2, 0.5), kResultOk);
    EXPECT_EQ(session.controller()->getParamNormalized(2), 0.5);
    EXPECT_EQ(session.controller()->getParamNormalized(99), 0.0);
}

TEST(Parameters, SetParamNormalizedIsRecordedWithFullPrecision) {
    TestPluginHandle handle("TestSeparate");
    Session session("TestSeparate");
    ASSERT_TRUE(session.bringUp());
    session.controller()->setParamNormalized(1, static_cast<double>(0.7f));
    const auto calls = handle.probe().calls();
    EXPECT_EQ(calls.back().method, "setParamNormalized");
    EXPECT_EQ(calls.back().arguments, "id=1 value=0.69999998807907104");
}

TEST(Parameters, TestDuplicateTitlesListsBothAsInOrderAndPassesAudioThrough) {
    Session session("TestDuplicateTitles");
    ASSERT_TRUE(session.bringUp());
    const auto parameters = parametersOf(session.controller());
    ASSERT_EQ(parameters.size(), 3u);
    EXPECT_EQ(parameters[0].title + std::to_string(parameters[0].id), "A10");
    EXPECT_EQ(parameters[1].title + std::to_string(parameters[1].id), "B11");
    EXPECT_EQ(parameters[2].title + std::to_string(parameters[2].id), "A12");
    session.inputChanges.add(1, 0, 0.5); // no "Gain" here: ignored
    ASSERT_EQ(session.process(256), kResultOk);
    EXPECT_FLOAT_EQ(session.output[0][50], session.input[0][50]);
}

TEST(Parameters, TestInfoFailsFailsOnlyIndexOne) {
    Session session("TestInfoFails");
    ASSERT_TRUE(session.bringUp());
    ParameterInfo info{};
    EXPECT_EQ(session.controller()->getParameterCount(), 4);
    EXPECT_EQ(session.controller()->getParameterInfo(0, info), kResultOk);
    EXPECT_EQ(session.controller()->getParameterInfo(1, info), kResultFalse);
    EXPECT_EQ(session.controller()->getParameterInfo(2, info), kResultOk);
    EXPECT_EQ(toUtf8(info.title), "Meter");
    EXPECT_EQ(session.controller()->getParameterInfo(3, info), kResultOk);
}

// --- Processing set-up and processing ------------------------------------------

TEST(Processing, TestRefuseRateRefuses44100Only) {
    TestPluginHandle handle("TestRefuseRate");
    Session session("TestRefuseRate");
    ASSERT_TRUE(session.moduleEntry() && session.getPluginFactory());
    ASSERT_EQ(session.createComponent(), kResultOk);
    ASSERT_EQ(session.initializeComponent(), kResultOk);
    EXPECT_EQ(session.setupProcessing(44100.0, 1024), kResultFalse);
    EXPECT_EQ(session.setupProcessing(48000.0, 1024), kResultOk);
    EXPECT_EQ(session.setupProcessing(96000.0, 1024), kResultOk);
}

TEST(Processing, ARefusedSetupDoesNotCountAsSetUp) {
    TestPluginHandle handle("TestRefuseRate");
    Session session("TestRefuseRate");
    ASSERT_TRUE(session.moduleEntry() && session.getPluginFactory());
    ASSERT_EQ(session.createComponent(), kResultOk);
    ASSERT_EQ(session.initializeComponent(), kResultOk);
    session.setupProcessing(44100.0, 1024);
    session.setActive(true);
    const auto violations = handle.probe().violations();
    ASSERT_EQ(violations.size(), 1u);
    EXPECT_NE(violations[0].find("setActive(true) before IAudioProcessor::setupProcessing"),
              std::string::npos);
}

TEST(Processing, TestProcessFalseDoesItsWorkThenAnswersFalse) {
    Session session("TestProcessFalse");
    ASSERT_TRUE(session.bringUp());
    session.inputChanges.add(1, 0, 0.25);
    EXPECT_EQ(session.process(128), kResultFalse);
    EXPECT_FLOAT_EQ(session.output[0][60], session.input[0][60] * 0.25f);
}

TEST(Processing, TestRefuseProcessingAnswersFalseButIsNotBlamedForProcessing) {
    TestPluginHandle handle("TestRefuseProcessing");
    Session session("TestRefuseProcessing");
    EXPECT_FALSE(session.bringUp()); // setProcessing(true) refused
    EXPECT_EQ(session.process(64), kResultOk);
    EXPECT_EQ(session.setProcessing(false), kResultFalse);
    EXPECT_TRUE(handle.probe().violations().empty()) << describeViolations(handle.probe());
}

TEST(Processing, TestMonoHasMonoBusesAndRefusesStereo) {
    TestPluginHandle handle("TestMono");
    Session session("TestMono", 1);
    ASSERT_TRUE(session.moduleEntry() && session.getPluginFactory());
    ASSERT_EQ(session.createComponent(), kResultOk);
    ASSERT_EQ(session.initializeComponent(), kResultOk);
    BusInfo info{};
    ASSERT_EQ(session.component()->getBusInfo(kAudio, kInput, 0, info), kResultOk);
    EXPECT_EQ(info.channelCount, 1);
    EXPECT_EQ(info.busType, kMain);
    SpeakerArrangement stereo = SpeakerArr::kStereo;
    SpeakerArrangement mono = SpeakerArr::kMono;
    EXPECT_EQ(session.processor()->setBusArrangements(&stereo, 1, &stereo, 1), kResultFalse);
    EXPECT_EQ(session.processor()->setBusArrangements(&mono, 1, &mono, 1), kResultTrue);
    EXPECT_TRUE(handle.probe().violations().empty()) << describeViolations(handle.probe());
}

TEST(Processing, TestMonoProcessesOnlyItsOneChannelOfAStereoBlock) {
    Session session("TestMono", 2);
    ASSERT_TRUE(session.bringUp());
    session.inputChanges.add(1, 0, 0.5);
    session.process(128);
    EXPECT_FLOAT_EQ(session.output[0][30], session.input[0][30] * 0.5f);
    EXPECT_EQ(session.output[1][30], 0.0f); // left as the host put it
}

TEST(Processing, TestNoInputIsAGeneratorOfSilenceWithoutInputBus) {
    TestPluginHandle handle("TestNoInput");
    Session session("TestNoInput");
    ASSERT_TRUE(session.bringUp()) << describeViolations(handle.probe());
    EXPECT_EQ(session.component()->getBusCount(kAudio, kInput), 0);
    EXPECT_EQ(session.component()->getBusCount(kAudio, kOutput), 1);
    std::fill(session.output[0].begin(), session.output[0].end(), 1.0f);
    ASSERT_EQ(session.process(128), kResultOk);
    EXPECT_EQ(session.output[0][5], 0.0f);
    EXPECT_EQ(session.data.outputs[0].silenceFlags, 3u);
    SpeakerArrangement stereo = SpeakerArr::kStereo;
    EXPECT_EQ(session.processor()->setBusArrangements(nullptr, 0, &stereo, 1), kResultOk);
    EXPECT_EQ(session.processor()->setBusArrangements(&stereo, 1, &stereo, 1), kResultFalse);
}

TEST(Processing, TestRefuseBusRefusesBusActivationAndStillProcesses) {
    TestPluginHandle handle("TestRefuseBus");
    Session session("TestRefuseBus");
    ASSERT_TRUE(session.moduleEntry() && session.getPluginFactory());
    ASSERT_EQ(session.createComponent(), kResultOk);
    ASSERT_EQ(session.initializeComponent(), kResultOk);
    ASSERT_EQ(session.setupProcessing(48000.0, 512), kResultOk);
    EXPECT_EQ(session.activateBuses(true), kResultFalse);
    ASSERT_EQ(session.setActive(true), kResultOk);
    ASSERT_EQ(session.setProcessing(true), kResultOk);
    EXPECT_EQ(session.process(64), kResultOk);
    EXPECT_FLOAT_EQ(session.output[0][20], session.input[0][20]);
    EXPECT_TRUE(handle.probe().violations().empty()) << describeViolations(handle.probe());
}

TEST(Processing, TestSeparateRefusesNonStereoArrangements) {
    Session session("TestSeparate");
    ASSERT_TRUE(session.moduleEntry() && session.getPluginFactory());
    ASSERT_EQ(session.createComponent(), kResultOk);
    ASSERT_EQ(session.initializeComponent(), kResultOk);
    SpeakerArrangement stereo = SpeakerArr::kStereo;
    SpeakerArrangement mono = SpeakerArr::kMono;
    EXPECT_EQ(session.processor()->setBusArrangements(&mono, 1, &mono, 1), kResultFalse);
    EXPECT_EQ(session.processor()->setBusArrangements(&stereo, 1, &stereo, 1), kResultTrue);
    EXPECT_EQ(session.processor()->canProcessSampleSize(kSample64), kResultFalse);
}

} // namespace
