// VSTProcessorNode: configuration, formats, the enable switch and per-block
// processing, on the test plug-ins and on ZamCompX2.
#include "VSTProcessorNode.h"
#include "NodeTestSupport.h"
#include "testplugin/TestPluginHandle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <mutex>
#include <set>
#include <thread>

using nodetest::BusBuffers;
using testplugin::TestPluginHandle;
using varnel::AudioBusFormat;
using varnel::VLAnyMap;
using varnel::extensions::vst::VSTProcessingMode;
using varnel::extensions::vst::VSTProcessorNode;

using ProcessorNode = nodetest::ProcessorNodeTest;

TEST_F(ProcessorNode, MissingFileNameFailsToLoadAndPassesAudioThrough) {
    VSTProcessorNode node(VLAnyMap{});
    EXPECT_EQ(node.getPluginFileName(), "");
    EXPECT_EQ(node.getTypeName(), "VSTProcessorNode");
    ASSERT_EQ(log.count("[VSTModule] Error loading plugin: "), 1u);
    EXPECT_FALSE(node.getIsPluginLoaded());

    BusBuffers in(2, 32, 0.3f), out(2, 32);
    for (int block = 0; block < 100; ++block)
        EXPECT_TRUE(node.process(in.bus, out.bus));
    EXPECT_EQ(out.samples, in.samples);
    node.setPluginParameter(1u, 0.5f); // a control call reports what the blocks counted
    EXPECT_EQ(log.count("[VSTModule] No audio processor available"), 0u) << "the failed load said it once";
}

TEST_F(ProcessorNode, RegistersItsConfigurationWithTheConstructionName) {
    VSTProcessorNode node(VLAnyMap{{"pluginFileName", "Missing.vst3"}});
    const auto description = node.getConfiguration("pluginFileName");
    ASSERT_TRUE(description.has_value());
    using varnel::VLAnyMap;
    EXPECT_EQ(VLAnyMap::get<std::string>(*description, "name"), "VST3 Plugin Name");
    EXPECT_EQ(VLAnyMap::get<std::string>(*description, "type"), "string");
    EXPECT_EQ(VLAnyMap::get<std::string>(*description, "description"), "Name of the VST3 plugin to load");
    EXPECT_EQ(VLAnyMap::get<std::string>(*description, "value"), "Missing.vst3");
    // A later load does not rewrite it.
    node.loadPlugin(TestPluginHandle::bundlePath("TestSeparate"));
    EXPECT_EQ(VLAnyMap::get<std::string>(*node.getConfiguration("pluginFileName"), "value"), "Missing.vst3");
    EXPECT_EQ(node.getPluginFileName(), "Missing.vst3");
}

TEST_F(ProcessorNode, PluginClassChoosesTheClassOfEveryLaterLoad) {
    VSTProcessorNode node(VLAnyMap{{"pluginClass", "TestTwoClasses A"}});
    const auto description = node.getConfiguration("pluginClass");
    ASSERT_TRUE(description.has_value());
    EXPECT_EQ(VLAnyMap::get<std::string>(*description, "name"), "VST3 Plugin Class");
    EXPECT_EQ(VLAnyMap::get<std::string>(*description, "value"), "TestTwoClasses A");
    const std::string bundle = TestPluginHandle::bundlePath("TestTwoClasses");
    ASSERT_TRUE(node.loadPlugin(bundle));
    EXPECT_EQ(node.getPluginClassInfo().name, "TestTwoClasses A");
    EXPECT_TRUE(node.setValue("pluginClass", "Nothing").ok());
    EXPECT_FALSE(node.loadPlugin(bundle));
    EXPECT_EQ(node.getPluginLoadError().rfind("No audio module class is named or has the id Nothing;", 0), 0u)
        << node.getPluginLoadError();
}

TEST_F(ProcessorNode, NamesThatLeaveTheFolderAreRefusedWithoutALoad) {
    const std::string refused[] = {
        "../../tmp/x.vst3", "/tmp/x.vst3", "a/../../b.vst3", "..", std::string("x.vst3\0/../y", 12),
        "sub\\..\\x.vst3"};
    for (const std::string& name : refused) {
        SCOPED_TRACE(name);
        log.clear();
        VSTProcessorNode node(VLAnyMap{{"pluginFileName", name}});
        EXPECT_EQ(log.lines(),
                  std::vector<std::string>{"[VSTProcessorNode] Invalid plugin file name: " + name});
        EXPECT_EQ(node.getPluginLoadError(), "Invalid plugin file name: " + name);
        BusBuffers in(2, 8, 0.5f), out(2, 8);
        EXPECT_TRUE(node.process(in.bus, out.bus));
        EXPECT_EQ(out.samples, in.samples);
    }
    // Sub-folders and names that merely contain dots are allowed (and fail as missing).
    for (const char* name : {"sub/Missing.vst3", "..Missing.vst3", "Missing..vst3"}) {
        log.clear();
        VSTProcessorNode node(VLAnyMap{{"pluginFileName", name}});
        EXPECT_EQ(log.count("[VSTModule] Error loading plugin: "), 1u) << name;
        EXPECT_EQ(log.count("Invalid plugin file name"), 0u) << name;
        EXPECT_EQ(node.getPluginLoadError().rfind("Error loading plugin: ", 0), 0u) << name;
    }
}

TEST_F(ProcessorNode, DescribesItsPluginThroughTheModule) {
    ASSERT_TRUE(load("TestSeparate"));
    EXPECT_EQ(node().getPluginLoadError(), "") << "the failed load at construction is forgotten";
    EXPECT_EQ(node().getPluginClassInfo().name, "TestSeparate");
    EXPECT_EQ(node().getPluginBuses().size(), 2u);
    EXPECT_EQ(node().getPluginChannelLayout(), varnel::extensions::vst::VSTChannelLayout::stereo);
    const auto details = node().getPluginParameterDetails();
    ASSERT_EQ(details.size(), 4u);
    EXPECT_TRUE(details[1].isList);
    EXPECT_TRUE(details[3].hidden);
    EXPECT_FALSE(details[0].valueText.empty());
    EXPECT_EQ(details[0].valueText, node().getPluginParameterValueText(1, details[0].value));
}

TEST_F(ProcessorNode, OnlyMatchingStereoFormatsAreAcceptedButTheRateIsPassedOnAndEachRefusalSaysWhy) {
    ASSERT_TRUE(load("TestSeparate"));
    AudioBusFormat stereoIn{44100, 2}, stereoOut{44100, 2}, otherRate{48000, 2};
    EXPECT_FALSE(node().setBusFormat(stereoIn, otherRate));
    EXPECT_EQ(probe().count("setupProcessing"), 1) << "only the load's set-up";
    EXPECT_EQ(node().getPluginLastError(), "Bus formats refused: the input (44100 Hz, 2 channels) and the "
                                           "output (48000 Hz, 2 channels) differ");

    AudioBusFormat monoIn{44100, 1}, monoOut{44100, 1};
    EXPECT_FALSE(node().setBusFormat(monoIn, monoOut));
    EXPECT_EQ(probe().count("setupProcessing"), 2) << "the rate still reached the plug-in";
    EXPECT_EQ(node().getPluginLastError(),
              "Bus format refused: the node processes stereo buses, not 44100 Hz, 1 channel");
    EXPECT_FALSE(node().setBusFormat(AudioBusFormat{96000, 6}, AudioBusFormat{96000, 6}));
    EXPECT_EQ(probe().count("setupProcessing"), 3);
    EXPECT_TRUE(node().setBusFormat(stereoIn, stereoOut));
    EXPECT_EQ(node().getPluginLastError(), "") << "accepted at last";
    EXPECT_FALSE(node().setBusFormat({0, 2}, {0, 2}));
    EXPECT_EQ(probe().count("setupProcessing"), 4) << "a rate of 0 reaches no plug-in";
    // A later refusal of the plug-in's own is the last error then.
    EXPECT_FALSE(node().setPluginParameter("Nothing", 0.5f));
    EXPECT_EQ(node().getPluginLastError(), "Parameter not found: Nothing");
    EXPECT_EQ(log.count("[VSTProcessorNode] Bus format"), 4u);
}

TEST_F(ProcessorNode, EmitsAnEventWhenThePluginChangesAParameterItself) {
    ASSERT_TRUE(load("TestSeparate"));
    std::mutex heardMutex;
    std::vector<std::int64_t> heard;
    node().on(VSTProcessorNode::kParameterChangedEvent, [&](const varnel::VLAny& id) {
        std::lock_guard lock(heardMutex);
        heard.push_back(id.as<std::int64_t>().value_or(-1));
    });
    // An edit in the plug-in's own editor; the application makes no call at all.
    ASSERT_TRUE(probe().performEdit(1, 0.25));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    const auto heardEdit = [&] {
        std::lock_guard lock(heardMutex);
        return std::find(heard.begin(), heard.end(), 1) != heard.end();
    };
    while (!heardEdit() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_TRUE(heardEdit());
}

TEST_F(ProcessorNode, ANewPluginFileNameLoadsWithTheConstructorsChecksOrChangesNothing) {
    VSTProcessorNode node(VLAnyMap{{"pluginFileName", "ZamCompX2.vst3"}});
    ASSERT_TRUE(node.getIsPluginLoaded());
    ASSERT_TRUE(node.setValue("pluginFileName", "ZamGateX2.vst3").ok());
    EXPECT_EQ(node.getPluginClassInfo().name, "ZamGateX2");
    EXPECT_EQ(node.getPluginFileName(), "ZamGateX2.vst3");
    for (const char* refused : {"../x.vst3", "Missing.vst3"}) {
        EXPECT_FALSE(node.setValue("pluginFileName", refused).ok()) << refused;
        EXPECT_EQ(node.getPluginClassInfo().name, "ZamGateX2") << "the running plug-in stays";
        EXPECT_EQ(VLAnyMap::get<std::string>(*node.getConfiguration("pluginFileName"), "value"),
                  "ZamGateX2.vst3");
    }
    EXPECT_TRUE(node.getIsPluginLoaded());
}

TEST_F(ProcessorNode, ARefusedGraphRateLeavesTheNodeNotReadyUntilOneIsAccepted) {
    ASSERT_TRUE(load("TestRefuseRate")); // refuses 44100 only
    AudioBusFormat cd{44100, 2}, studio{48000, 2}, high{96000, 2};
    node().setBusFormat(cd, cd);
    EXPECT_FALSE(node().getIsReadyToProcess()) << "the plug-in still runs at its previous rate";
    EXPECT_TRUE(node().loadPlugin(TestPluginHandle::bundlePath("TestRefuseRate")));
    EXPECT_FALSE(node().getIsReadyToProcess()) << "a reload is set up at the graph's rate too";
    node().setBusFormat(high, high);
    EXPECT_TRUE(node().getIsReadyToProcess());
    node().setBusFormat(studio, studio);
    EXPECT_TRUE(node().getIsReadyToProcess());
}

TEST_F(ProcessorNode, GraphBlockSizeAndModeReachEverySetUpIncludingAReloads) {
    ASSERT_TRUE(load("TestSeparate"));
    EXPECT_TRUE(node().getIsReadyToProcess());
    log.clear();
    probe().reset();
    EXPECT_TRUE(node().setMaxFramesPerBlock(256));
    EXPECT_TRUE(node().setProcessMode(VSTProcessingMode::Offline));
    AudioBusFormat in{44100, 2}, out{44100, 2};
    EXPECT_TRUE(node().setBusFormat(in, out));
    ASSERT_TRUE(node().loadPlugin(TestPluginHandle::bundlePath("TestSeparate")));
    std::vector<std::string> setups;
    for (const auto& call : probe().calls()) {
        if (call.method == "setupProcessing")
            setups.push_back(call.arguments);
    }
    // The reload is set up at the graph's rate at once, not at the load's guess only.
    EXPECT_EQ(setups, (std::vector<std::string>{"mode=0 sampleSize=0 maxSamples=256 rate=48000",
                                                "mode=2 sampleSize=0 maxSamples=256 rate=48000",
                                                "mode=2 sampleSize=0 maxSamples=256 rate=44100",
                                                "mode=2 sampleSize=0 maxSamples=256 rate=48000",
                                                "mode=2 sampleSize=0 maxSamples=256 rate=44100"}));
    BusBuffers inBuffers(2, 256, 0.5f), outBuffers(2, 256);
    EXPECT_TRUE(node().process(inBuffers.bus, outBuffers.bus));
    EXPECT_EQ(probe().lastProcesses(1).at(0).processMode, 2);
    expectNothingLogged();
    EXPECT_FALSE(node().setMaxFramesPerBlock(0));
    EXPECT_EQ(log.lines(), std::vector<std::string>{"[VSTModule] Invalid maximum block size: 0"});
}

TEST_F(ProcessorNode, DisabledNodePassesThroughWithoutCallingThePlugin) {
    ASSERT_TRUE(load("TestSeparate"));
    node().setPluginParameter(1u, 0.5f);
    BusBuffers in(2, 64, 0.8f), out(2, 64);

    EXPECT_TRUE(node().process(in.bus, out.bus));
    EXPECT_FLOAT_EQ(out.samples[1][5], 0.4f);
    const auto processed = probe().processCount();

    node().setEnabled(false);
    EXPECT_FALSE(node().getIsEnabled());
    EXPECT_TRUE(node().process(in.bus, out.bus));
    EXPECT_EQ(out.samples, in.samples);
    EXPECT_EQ(probe().processCount(), processed);

    // A plug-in loaded into the switched-off node is switched off as well.
    ASSERT_TRUE(node().loadPlugin(TestPluginHandle::bundlePath("TestSeparate")));
    std::string lastSwitch;
    for (const auto& call : probe().calls())
        lastSwitch = call.method == "setProcessing" ? call.arguments : lastSwitch;
    EXPECT_EQ(lastSwitch, "false");
    node().setPluginParameter(1u, 0.5f);

    node().setEnabled(true);
    EXPECT_TRUE(node().process(in.bus, out.bus));
    EXPECT_FLOAT_EQ(out.samples[0][5], 0.4f);
    expectNothingLogged();
}

TEST_F(ProcessorNode, BusesNarrowerThanStereoPassThroughAndWiderOnesKeepTheirExtraChannels) {
    ASSERT_TRUE(load("TestSeparate"));
    node().setPluginParameter(1u, 0.5f);

    BusBuffers monoIn(1, 16, 0.8f), monoOut(1, 16);
    EXPECT_TRUE(node().process(monoIn.bus, monoOut.bus));
    EXPECT_EQ(monoOut.samples, monoIn.samples);
    EXPECT_EQ(probe().processCount(), 0);

    // An output block longer than the input: the plug-in gets the frames both have.
    BusBuffers shortIn(2, 16, 0.8f), longOut(2, 32);
    EXPECT_TRUE(node().process(shortIn.bus, longOut.bus));
    EXPECT_EQ(probe().lastProcesses(1).at(0).numSamples, 16);

#ifdef NDEBUG
    BusBuffers sixIn(6, 16, 0.8f), sixOut(6, 16);
    EXPECT_TRUE(node().process(sixIn.bus, sixOut.bus));
    EXPECT_FLOAT_EQ(sixOut.samples[1][0], 0.4f);
    EXPECT_FLOAT_EQ(sixOut.samples[2][0], 0.8f) << "channels past the second keep the copied input";
#endif
}

TEST_F(ProcessorNode, ZamCompX2EndToEndThroughTheListCalls) {
    VSTProcessorNode node(VLAnyMap{{"pluginFileName", "ZamCompX2.vst3"}});
    ASSERT_TRUE(log.lines().empty()) << log.lines()[0];
    varnel::AudioBusFormatList inFormats{{48000, 2}}, outFormats{{48000, 2}};
    ASSERT_TRUE(node.setBusFormats(inFormats, outFormats));
    ASSERT_TRUE(node.setPluginParameter(std::string("Threshold"), 0.5f)); // -40 dB
    ASSERT_TRUE(node.setPluginParameter(std::string("Ratio"), 1.0f));
    EXPECT_EQ(node.getParameterValue(7), 0.5f);
    EXPECT_EQ(node.getPluginParameters().size(), 14u);
    ASSERT_TRUE(node.setValueNamesForPluginParameter("Sidechain", {"off", "on"}));
    ASSERT_TRUE(node.setPluginParameterByValueName("Sidechain", "off"));
    // The plug-in's own outputs: its sample-rate display and its meters.
    for (unsigned readOnlyId : {0u, 12u, 13u})
        node.setPluginParameter(readOnlyId, 0.5f);
    EXPECT_FALSE(node.setPluginParameter(std::string("Gain Reduction"), 0.5f));
    EXPECT_EQ(log.count("[VSTModule] Read-only parameter not set: "), 4u);
    log.clear();

    BusBuffers in(2, 512), out(2, 512);
    for (int i = 0; i < 512; ++i)
        in.samples[0][i] = in.samples[1][i] = 0.9f * std::sin(0.05f * static_cast<float>(i));
    varnel::AudioBusList inputs{in.bus}, outputs{out.bus};
    double difference = 0.0;
    for (int block = 0; block < 40; ++block) {
        ASSERT_TRUE(node.process(inputs, outputs));
        difference = 0.0;
        for (int i = 0; i < 512; ++i)
            difference += std::fabs(out.samples[0][i] - in.samples[0][i]);
    }
    EXPECT_GT(difference, 1.0) << "heavy compression changes the signal";

    node.setEnabled(false);
    ASSERT_TRUE(node.process(inputs, outputs));
    EXPECT_EQ(out.samples, in.samples);
    expectNothingLogged();
}

TEST_F(ProcessorNode, EnableSwitchAndParametersFromAControlThreadWhileAudioRuns) {
    ASSERT_TRUE(load("TestSeparate"));
    std::atomic<bool> done{false};
    std::thread control([&] {
        unsigned step = 0;
        while (!done.load()) {
            node().setEnabled(step % 3 != 0);
            node().setPluginParameter(std::string("Gain"), static_cast<float>(step % 10) / 10.0f);
            node().setPluginParameter(2u, 0.5f);
            ++step;
            std::this_thread::yield();
        }
        node().setEnabled(true);
    });
    BusBuffers in(2, 256, 0.5f), out(2, 256);
    for (int block = 0; block < 10000; ++block)
        ASSERT_TRUE(node().process(in.bus, out.bus));
    done.store(true);
    control.join();
    expectCleanFinish();
}

TEST_F(ProcessorNode, ReloadsRaceParameterCallsAndTheSwitchWithoutLosingOne) {
    ASSERT_TRUE(load("TestSeparate"));
    probe().reset();
    // Every control call runs on the plug-in thread; the reloads only have to
    // fall between the other threads' calls, which the wait below makes sure of.
    constexpr int kReloads = 25;
    std::atomic<bool> done{false};
    std::atomic<int> refused{0};
    std::atomic<int> setterCalls{0}, switches{0};
    const std::string middleStep = node().getPluginParameterValueText(2, 0.5);
    ASSERT_FALSE(middleStep.empty());

    std::thread setter([&] {
        while (!done.load()) {
            node().setPluginParameter(1u, 0.25f);
            refused += !node().setPluginParameter(std::string("Gain"), 0.5f);
            refused += !node().setValueNamesForPluginParameter("Mode", {"a", "b", "c"});
            // The plug-in's own name of a step: found whether or not a reload has
            // dropped the names given just before.
            refused += !node().setPluginParameterByValueName("Mode", middleStep);
            refused += node().getPluginParameters().size() != 4u;
            (void)node().getParameterValue(1);
            setterCalls += 3;
        }
    });
    std::thread switcher([&] {
        while (!done.load()) {
            node().setEnabled(switches.load() % 2 == 0);
            refused += !node().getIsPluginLoaded();
            std::vector<std::uint8_t> state;
            (void)node().getPluginState(state);
            ++switches;
        }
        node().setEnabled(true);
    });
    for (int reload = 0; reload < kReloads; ++reload) {
        // Each reload waits for both threads to have made a call since the last
        // one, so that they interleave however the scheduler runs them (under
        // Wine a reload loop can otherwise finish before they start).
        const int settersBefore = setterCalls.load(), switchesBefore = switches.load();
        while (setterCalls.load() == settersBefore || switches.load() == switchesBefore)
            std::this_thread::yield();
        refused += !node().loadPlugin(TestPluginHandle::bundlePath("TestSeparate"));
    }
    done.store(true);
    setter.join();
    switcher.join();

    EXPECT_EQ(refused.load(), 0);
    EXPECT_GT(setterCalls.load(), kReloads) << "the setters ran between the reloads";
    EXPECT_GT(switches.load(), kReloads);
    EXPECT_EQ(probe().count("setParamNormalized"), setterCalls.load()) << "every value reached a controller";
    // The plug-in of the last reload may have missed the setters: it is set once more.
    ASSERT_TRUE(node().setPluginParameter(std::string("Gain"), 0.5f));
    BusBuffers in(2, 16, 0.8f), out(2, 16);
    EXPECT_TRUE(node().process(in.bus, out.bus));
    EXPECT_FLOAT_EQ(out.samples[0][3], 0.4f);
    expectCleanFinish();
}

TEST_F(ProcessorNode, FixedBlocksGiveThePluginItsBlockSizeWhateverTheGraphSendsOneBlockLater) {
    constexpr int kBlock = 512;
    constexpr int kFrames = 12 * kBlock;
    std::vector<float> input(kFrames);
    for (int n = 0; n < kFrames; ++n)
        input[static_cast<std::size_t>(n)] = 0.5f * static_cast<float>(std::sin(0.01 * n));
    // Runs `node` over the input in graph blocks of the given sizes, in turn.
    const auto render = [&input](VSTProcessorNode& node, std::vector<int> sizes) {
        std::vector<float> output;
        for (std::size_t done = 0, turn = 0; done < input.size(); ++turn) {
            const auto frames = static_cast<std::uint32_t>(std::min<std::size_t>(
                static_cast<std::size_t>(sizes[turn % sizes.size()]), input.size() - done));
            BusBuffers in(2, frames), out(2, frames);
            for (auto& channel : in.samples)
                std::copy_n(input.begin() + static_cast<std::ptrdiff_t>(done), frames, channel.begin());
            node.process(in.bus, out.bus);
            EXPECT_EQ(out.samples[0], out.samples[1]);
            output.insert(output.end(), out.samples[0].begin(), out.samples[0].end());
            done += frames;
        }
        return output;
    };

    // The plug-in refuses any block but its set-up's size, and delays by 100.
    nodetest::TestPluginNode reference("TestWholeBlocks");
    ASSERT_TRUE(reference.loaded);
    ASSERT_TRUE(reference.node->setMaxFramesPerBlock(kBlock));
    const std::vector<float> expected = render(*reference.node, {kBlock});
    ASSERT_EQ(reference.node->getPluginLatencySamples(), 100u);

    ASSERT_TRUE(load("TestWholeBlocks"));
    EXPECT_TRUE(node().setFixedBlockSize(kBlock));
    EXPECT_EQ(node().getFixedBlockSize(), kBlock);
    EXPECT_EQ(node().getPluginLatencySamples(), 100u + kBlock);
    const std::vector<float> output = render(node(), {480, 700});
    ASSERT_EQ(output.size(), input.size());
    EXPECT_TRUE(std::all_of(output.begin(), output.begin() + kBlock, [](float x) { return x == 0.0f; }));
    EXPECT_TRUE(std::equal(output.begin() + kBlock, output.end(), expected.begin()))
        << "the plug-in's own output at its block size, one block later";
    expectCleanFinish();

    // Off again: the graph's blocks reach the plug-in, which refuses those of 480.
    EXPECT_TRUE(node().setFixedBlockSize(0));
    EXPECT_EQ(node().getPluginLatencySamples(), 100u);
    render(node(), {480});
    EXPECT_FALSE(probe().violations().empty());
}

TEST_F(ProcessorNode, AReloadWithFixedBlocksStartsFromSilenceNotTheOldPluginsSound) {
    ASSERT_TRUE(load("TestSeparate"));
    ASSERT_TRUE(node().setFixedBlockSize(64));
    BusBuffers loud(2, 64, 0.5f), quiet(2, 64), out(2, 64);
    // The plug-in's output of this block waits in the node for the next one.
    node().process(loud.bus, out.bus);
    ASSERT_TRUE(node().loadPlugin(TestPluginHandle::bundlePath("TestSeparate")));
    node().process(quiet.bus, out.bus);
    EXPECT_EQ(out.samples, quiet.samples);
}

TEST_F(ProcessorNode, PassesPlainValuesTextsTimingAndRestartRequestsOnToItsPlugin) {
    ASSERT_TRUE(load("TestLatencyTail"));
    varnel::extensions::vst::VSTParameterRange range;
    ASSERT_TRUE(node().getPluginParameterRange(1, range));
    EXPECT_EQ(range.units, "x");
    EXPECT_TRUE(node().setPluginParameterPlain("Gain", 0.25));
    EXPECT_EQ(node().getParameterValue(1), 0.25f);
    EXPECT_TRUE(node().setPluginParameterByText("Gain", "0.5"));
    EXPECT_EQ(node().getParameterValue(1), 0.5f);
#if !defined(_WIN32) // the test plug-in's text scan (the SDK's) takes "loud" there
    EXPECT_FALSE(node().setPluginParameterByText("Gain", "loud"));
    EXPECT_EQ(node().getPluginLastError(), "The plug-in did not take the text for Gain: loud");
#endif
    EXPECT_EQ(node().getPluginTailSamples(), 2400u);
    // Offline only a control call carries out a latency change.
    ASSERT_TRUE(node().setProcessMode(VSTProcessingMode::Offline));
    probe().reset();
    ASSERT_TRUE(probe().changeLatency(512));
    node().handlePluginRestartRequests();
    EXPECT_EQ(probe().count("setActive"), 2) << "deactivated and activated again";
    EXPECT_EQ(node().getPluginLatencySamples(), 512u);
    EXPECT_FALSE(VSTProcessorNode::isSafePluginFileName("sub/../../x.vst3"));
    EXPECT_TRUE(VSTProcessorNode::isSafePluginFileName("sub/x.vst3"));
}

TEST_F(ProcessorNode, TempoTimeSignatureAndTransportOutliveAReloadAndASwappedPlugin) {
    ASSERT_TRUE(load("TestTempoSynced"));
    ASSERT_TRUE(node().setTempo(90.0));
    ASSERT_TRUE(node().setTimeSignature(3, 8));
    node().setTransportPlaying(false);
    ASSERT_TRUE(node().loadPlugin(TestPluginHandle::bundlePath("TestTempoSynced")));
    BusBuffers in(2, 64, 0.5f), out(2, 64);
    node().process(in.bus, out.bus);
    const testplugin::ProcessRecord block = probe().lastProcesses(1).at(0);
    EXPECT_EQ(block.tempo, 90.0);
    EXPECT_EQ(block.timeSigNumerator, 3);
    EXPECT_EQ(block.timeSigDenominator, 8);
    EXPECT_EQ(block.contextState & (1u << 1), 0u) << "stopped (ProcessContext::kPlaying)";

    // ZamDelay synchronised to the tempo reports the delay it takes from it.
    const auto syncedDelay = [](VSTProcessorNode& delay) {
        float delayTime = -1.0f;
        EXPECT_TRUE(delay.setPluginParameter("Sync BPM", 1.0f));
        BusBuffers in(2, 256, 0.5f), out(2, 256);
        for (int block = 0; block < 4; ++block)
            delay.process(in.bus, out.bus);
        for (const auto& parameter : delay.getPluginParameters()) {
            if (parameter.name == "Delaytime")
                delayTime = delay.getParameterValue(parameter.id);
        }
        return delayTime;
    };
    node().setTransportPlaying(true);
    ASSERT_TRUE(node().setValue("pluginFileName", "ZamDelay.vst3").ok());
    VSTProcessorNode reference(VLAnyMap{{"pluginFileName", "ZamDelay.vst3"}});
    ASSERT_TRUE(reference.setTempo(90.0));
    ASSERT_TRUE(reference.setTimeSignature(3, 8));
    EXPECT_EQ(syncedDelay(node()), syncedDelay(reference)) << "the swapped plug-in plays at 90 BPM too";
}

TEST_F(ProcessorNode, AListenerMayDestroyItsNodeInsideAnEvent) {
    ASSERT_TRUE(load("TestLatencyTail"));
    // Offline, the restart waits for the control call below, which then emits two
    // events: the new latency and the restart. The first destroys the node.
    ASSERT_TRUE(node().setProcessMode(VSTProcessingMode::Offline));
    int heard = 0;
    const auto destroy = [&](const varnel::VLAny&) {
        ++heard;
        unloadNode();
    };
    node().on(VSTProcessorNode::kLatencyChangedEvent, destroy);
    node().on(VSTProcessorNode::kRestartedEvent, destroy);
    ASSERT_TRUE(probe().changeLatency(512));
    node().handlePluginRestartRequests();
    EXPECT_EQ(plugin->node, nullptr);
    EXPECT_EQ(heard, 1) << "the events left are dropped with the node";
    EXPECT_GE(probe().count("terminate"), 1);
    expectCleanFinish();
}

TEST_F(ProcessorNode, ASecondInputBusKeysThePluginsSideChainAlsoAfterAReload) {
    ASSERT_TRUE(load("TestStereoSideChain")); // adds its side-chain to the output
    varnel::AudioBusFormatList keyed{{48000, 2}, {48000, 1}}, single{{48000, 2}}, out{{48000, 2}};
    ASSERT_TRUE(node().setBusFormats(keyed, out));
    BusBuffers in(2, 64, 0.0f), key(1, 64, 0.3f), output(2, 64);
    varnel::AudioBusList inputs{in.bus, key.bus}, outputs{output.bus};
    ASSERT_TRUE(node().process(inputs, outputs));
    EXPECT_EQ(output.samples[0][63], 0.3f);
    EXPECT_EQ(output.samples[1][63], 0.3f) << "a mono key on both channels of a stereo side-chain";

    ASSERT_TRUE(node().setBusFormats(single, out));
    varnel::AudioBusList mainOnly{in.bus};
    ASSERT_TRUE(node().process(mainOnly, outputs));
    EXPECT_EQ(output.samples[0][63], 0.0f);
    EXPECT_EQ(plugin->handle.probe().count("activateBus"), 4) << "main in, main out, side-chain on and off";
    expectCleanFinish();

    ASSERT_TRUE(node().setBusFormats(keyed, out));
    ASSERT_TRUE(node().loadPlugin(testplugin::TestPluginHandle::bundlePath("TestAuxBuses")));
    ASSERT_TRUE(node().process(inputs, outputs));
    EXPECT_EQ(output.samples[1][63], 0.3f) << "the new plug-in's side-chain is keyed too";

    // A plug-in without a side-chain input refuses the second bus.
    ASSERT_TRUE(load("TestSeparate"));
    EXPECT_FALSE(node().setBusFormats(keyed, out));
    EXPECT_EQ(log.lines(), std::vector<std::string>{"[VSTModule] The plug-in has no side-chain input."});
}

TEST_F(ProcessorNode, AutomationThroughFixedBlocksLandsOnTheGraphsFrames) {
    ASSERT_TRUE(load("TestSeparate"));
    ASSERT_TRUE(node().setFixedBlockSize(256));
    ASSERT_TRUE(node().setPluginParameterEnvelope(1, {{0, 0.0}, {299, 0.5}, {300, 1.0}, {1000, 0.25}}));
    BusBuffers in(2, 300, 0.5f), out(2, 300);
    for (int block = 0; block < 4; ++block)
        node().process(in.bus, out.bus);
    node().clearPluginParameterEnvelopes();
    ASSERT_TRUE(node().setPluginParameterAt(1, 0.75f, 10)); // frame 1210 of the graph's stream
    for (int block = 0; block < 2; ++block)
        node().process(in.bus, out.bus);
    std::set<std::pair<std::int64_t, double>> points;
    for (const testplugin::QueuePoint& point : probe().queuePoints()) {
        if (point.id == 1 && point.blockFrames > 0)
            points.emplace(point.frame(), point.value);
    }
    for (const std::pair<std::int64_t, double> expected :
         std::vector<std::pair<std::int64_t, double>>{{299, 0.5}, {300, 1.0}, {1000, 0.25}, {1210, 0.75}})
        EXPECT_EQ(points.count(expected), 1u)
            << "no point " << expected.second << " on frame " << expected.first;
    expectCleanFinish();
}
