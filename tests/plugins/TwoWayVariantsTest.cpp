// The test plug-ins that act on their own, as most bought plug-ins do: their
// processor changes parameters and reports them back, their controller loads
// programs and asks for restarts from other threads, they reset on activation,
// throw, or hold the host to VST 3's threading rule. Driven by hand, so that
// host tests can rely on each behaviour.

#include "RawHost.h"

#include "testplugin/TestPluginHandle.h"

#include "public.sdk/source/common/memorystream.h"

#include <gtest/gtest.h>

#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

using namespace Steinberg;
using namespace Steinberg::Vst;
using rawhost::Session;
using testplugin::TestPluginHandle;
using testplugin::ThrowingCall;

// Records the restarts a plug-in asks for and the thread it asks on.
class RestartRecorder final : public IComponentHandler {
public:
    tresult PLUGIN_API beginEdit(ParamID) override { return kResultOk; }
    tresult PLUGIN_API performEdit(ParamID, ParamValue) override { return kResultOk; }
    tresult PLUGIN_API endEdit(ParamID) override { return kResultOk; }
    tresult PLUGIN_API restartComponent(int32 flags) override {
        restarts.push_back({flags, testplugin::currentThreadToken()});
        return kResultOk;
    }
    tresult PLUGIN_API queryInterface(const TUID iid, void** object) override {
        const bool known = FUnknownPrivate::iidEqual(iid, IComponentHandler::iid) ||
                           FUnknownPrivate::iidEqual(iid, FUnknown::iid);
        *object = known ? this : nullptr;
        return known ? kResultOk : kNoInterface;
    }
    RAWHOST_STACK_REFCOUNT

    std::vector<std::pair<int32, std::uint64_t>> restarts; // flags, thread
};

// The last value the block reported for id in its outputParameterChanges.
std::optional<double> reportedValue(rawhost::ParameterChangeList& changes, ParamID id) {
    for (int32 index = 0; index < changes.getParameterCount(); ++index) {
        IParamValueQueue* queue = changes.getParameterData(index);
        int32 offset = 0;
        ParamValue value = 0.0;
        if (queue->getParameterId() == id &&
            queue->getPoint(queue->getPointCount() - 1, offset, value) == kResultOk)
            return value;
    }
    return std::nullopt;
}

std::string valueText(IEditController* controller, ParamID id, double value) {
    String128 text = {};
    controller->getParamStringByValue(id, value, text);
    std::string result;
    for (const TChar* c = text; *c != 0; ++c)
        result += static_cast<char>(*c);
    return result;
}

double valueOfText(IEditController* controller, ParamID id, const std::u16string& text) {
    std::u16string copy = text;
    ParamValue value = -1.0;
    controller->getParamValueByString(id, reinterpret_cast<TChar*>(copy.data()), value);
    return value;
}

void reactivate(Session& session) {
    session.setProcessing(false);
    session.setActive(false);
    session.setActive(true);
    session.setProcessing(true);
}

// --- The processor changes its own parameters -------------------------------------

TEST(TwoWay, AProgramChangeSetsTheProcessorsGainAndReportsGain) {
    TestPluginHandle handle("TestTwoWay");
    Session session("TestTwoWay");
    ASSERT_TRUE(session.bringUp());
    session.inputChanges.add(5, 0, 0.5); // "Half"
    ASSERT_EQ(session.process(128), kResultOk);
    EXPECT_FLOAT_EQ(session.output[0][60], session.input[0][60] * 0.5f);
    EXPECT_EQ(reportedValue(session.outputChanges, 1), 0.5);
    EXPECT_TRUE(reportedValue(session.outputChanges, 3).has_value()); // the meter, as every block
    // The controller knows only what a host passes on.
    EXPECT_EQ(session.controller()->getParamNormalized(1), 1.0);
    EXPECT_TRUE(handle.probe().violations().empty()) << describeViolations(handle.probe());
}

TEST(TwoWay, ChoiceRoundsWhereProgramTruncates) {
    Session session("TestTwoWay");
    ASSERT_TRUE(session.bringUp());
    IEditController* controller = session.controller();
    ParameterInfo program{};
    ParameterInfo choice{};
    ASSERT_EQ(controller->getParameterCount(), 7);
    ASSERT_EQ(controller->getParameterInfo(4, program), kResultOk);
    ASSERT_EQ(controller->getParameterInfo(5, choice), kResultOk);
    EXPECT_EQ(program.id, 5u);
    EXPECT_EQ(program.stepCount, 2);
    EXPECT_EQ(program.flags,
              ParameterInfo::kCanAutomate | ParameterInfo::kIsList | ParameterInfo::kIsProgramChange);
    EXPECT_EQ(choice.id, 6u);
    EXPECT_EQ(choice.stepCount, 2);

    // 2/3 is step 2 when truncating, step 1 when rounding; i / stepCount is step i under both.
    EXPECT_EQ(valueText(controller, 5, 2.0 / 3.0), "Quarter");
    EXPECT_EQ(valueText(controller, 6, 2.0 / 3.0), "Mid");
    EXPECT_EQ(valueText(controller, 5, 0.5), "Half");
    EXPECT_EQ(valueText(controller, 6, 0.5), "Mid");
    EXPECT_EQ(valueOfText(controller, 5, u"Quarter"), 1.0);
    EXPECT_EQ(valueOfText(controller, 6, u"Mid"), 0.5);

    // 0.3: program 0 ("Full", gain 1) and choice 1 ("Mid", factor 0.5).
    session.inputChanges.add(5, 0, 0.3);
    session.inputChanges.add(6, 0, 0.3);
    ASSERT_EQ(session.process(128), kResultOk);
    EXPECT_FLOAT_EQ(session.output[0][60], session.input[0][60] * 0.5f);
    EXPECT_EQ(reportedValue(session.outputChanges, 1), 1.0);
}

TEST(TwoWay, TheProcessorsLatencyReachesTheControllerAndHoldsFromTheNextActivation) {
    RestartRecorder handler;
    TestPluginHandle handle("TestTwoWay");
    Session session("TestTwoWay");
    ASSERT_TRUE(session.bringUp());
    session.controller()->setComponentHandler(&handler);
    ASSERT_TRUE(handle.probe().reportLatencyFromProcessor(300));
    session.process(64);
    const std::optional<double> latency = reportedValue(session.outputChanges, 7);
    ASSERT_EQ(latency, 300.0 / 4096.0);
    session.process(64);
    EXPECT_FALSE(reportedValue(session.outputChanges, 7).has_value()); // reported once

    // Passed on twice, as a host may: only a change asks for a restart.
    EXPECT_EQ(session.controller()->setParamNormalized(7, *latency), kResultOk);
    EXPECT_EQ(session.controller()->setParamNormalized(7, *latency), kResultOk);
    ASSERT_EQ(handler.restarts.size(), 1u);
    EXPECT_EQ(handler.restarts[0].first, kLatencyChanged);
    // Reported at once, as plug-ins do; the audio follows from the next activation.
    EXPECT_EQ(session.processor()->getLatencySamples(), 300u);
    reactivate(session);
    EXPECT_EQ(session.processor()->getLatencySamples(), 300u);
    EXPECT_TRUE(handle.probe().violations().empty()) << describeViolations(handle.probe());
}

// --- The controller acts on its own -----------------------------------------------

TEST(TwoWay, RestartsComeFromAThreadOfThePluginsOwn) {
    RestartRecorder handler;
    TestPluginHandle handle("TestTwoWay");
    Session session("TestTwoWay");
    ASSERT_TRUE(session.bringUp());
    session.controller()->setComponentHandler(&handler);
    EXPECT_TRUE(handle.probe().requestRestartFromOwnThread(kParamValuesChanged));
    EXPECT_TRUE(handle.probe().announceUnchangedLatency());
    ASSERT_EQ(handler.restarts.size(), 2u);
    EXPECT_EQ(handler.restarts[0].first, kParamValuesChanged);
    EXPECT_EQ(handler.restarts[1].first, kLatencyChanged);
    for (const auto& [flags, thread] : handler.restarts)
        EXPECT_NE(thread, testplugin::currentThreadToken()) << flags;
    EXPECT_EQ(session.processor()->getLatencySamples(), 0u);
}

TEST(TwoWay, AProgramLoadedOnTheControllerLeavesTheProcessorAsItWas) {
    RestartRecorder handler;
    TestPluginHandle handle("TestTwoWay");
    Session session("TestTwoWay");
    ASSERT_TRUE(session.bringUp());
    session.controller()->setComponentHandler(&handler);
    EXPECT_FALSE(handle.probe().loadProgramOnController({{1, 0.25}, {99, 0.5}})); // unknown id: nothing
    EXPECT_EQ(session.controller()->getParamNormalized(1), 1.0);
    ASSERT_TRUE(handle.probe().loadProgramOnController({{1, 0.25}, {6, 1.0}}));
    ASSERT_EQ(handler.restarts.size(), 1u);
    EXPECT_EQ(handler.restarts[0].first, kParamValuesChanged);
    EXPECT_EQ(session.controller()->getParamNormalized(1), 0.25);
    EXPECT_EQ(session.controller()->getParamNormalized(6), 1.0);
    session.process(64);
    EXPECT_FLOAT_EQ(session.output[0][30], session.input[0][30]);
}

// --- Resets on activation ---------------------------------------------------------

TEST(ResetsOnActivation, ARestoredGainHoldsOnlyUntilTheNextActivation) {
    Session session("TestResetsOnActivation");
    ASSERT_TRUE(session.bringUp());
    MemoryStream state;
    double restored = 0.25;
    state.write(&restored, sizeof restored, nullptr);
    state.seek(0, IBStream::kIBSeekSet, nullptr);
    ASSERT_EQ(session.component()->setState(&state), kResultOk);
    session.process(64);
    EXPECT_FLOAT_EQ(session.output[0][30], session.input[0][30] * 0.25f);
    reactivate(session);
    session.process(64);
    EXPECT_FLOAT_EQ(session.output[0][30], session.input[0][30]); // back to the default
    session.inputChanges.add(1, 0, restored);
    session.process(64);
    EXPECT_FLOAT_EQ(session.output[0][30], session.input[0][30] * 0.25f);
}

// --- Throwing ---------------------------------------------------------------------

TEST(Throwing, SwitchedOnCallsThrowAfterBeingRecordedAndChangeNothing) {
    TestPluginHandle handle("TestSeparate");
    Session session("TestSeparate");
    ASSERT_TRUE(session.bringUp());
    auto& probe = handle.probe();
    probe.throwFrom(ThrowingCall::process, true);
    EXPECT_THROW(session.process(64), std::runtime_error);
    EXPECT_THROW(session.process(64), std::runtime_error);
    EXPECT_EQ(probe.processCount(), 2);
    EXPECT_EQ(probe.lastProcesses(1)[0].result, kInternalError);
    probe.throwFrom(ThrowingCall::process, false);
    EXPECT_EQ(session.process(64), kResultOk);

    probe.throwFrom(ThrowingCall::setParamNormalized, true);
    EXPECT_THROW(session.controller()->setParamNormalized(1, 0.5), std::runtime_error);
    probe.throwFrom(ThrowingCall::setParamNormalized, false);
    EXPECT_EQ(session.controller()->getParamNormalized(1), 1.0);

    session.setProcessing(false);
    session.setActive(false);
    probe.throwFrom(ThrowingCall::setupProcessing, true);
    EXPECT_THROW(session.setupProcessing(44100.0, 256), std::bad_alloc);
    EXPECT_EQ(probe.calls().back().result, kInternalError);
    probe.throwFrom(ThrowingCall::setupProcessing, false);
    EXPECT_EQ(session.setupProcessing(44100.0, 256), kResultOk);
    EXPECT_TRUE(probe.violations().empty()) << describeViolations(probe);
}

// --- Strict threads ---------------------------------------------------------------

TEST(StrictThreads, CallsFromAnotherThreadAreRecordedAndRefused) {
    TestPluginHandle handle("TestStrictThreads");
    Session session("TestStrictThreads");
    ASSERT_TRUE(session.bringUp());
    auto& probe = handle.probe();
    EXPECT_EQ(probe.uiThread(), testplugin::currentThreadToken());
    std::thread audio([&] {
        EXPECT_EQ(session.processor()->setProcessing(true), kResultOk);
        EXPECT_EQ(session.process(64), kResultOk);
        EXPECT_EQ(session.component()->setActive(false), kResultFalse);
        EXPECT_EQ(session.controller()->getParameterCount(), 0);
    });
    audio.join();
    EXPECT_EQ(session.process(64), kResultOk); // still active: the refused call did nothing
    EXPECT_EQ(
        probe.violations(),
        (std::vector<std::string>{
            "TestStrictThreads#2: IComponent::setActive(false) on a thread other than the plug-in's UI "
            "thread (the thread of its first call)",
            "TestStrictThreads Controller#3: IEditController::getParameterCount on a thread other than the "
            "plug-in's UI thread (the thread of its first call)",
        }));
}

} // namespace
