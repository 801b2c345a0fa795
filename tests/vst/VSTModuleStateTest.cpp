// VSTModule's plug-in state and preset files: round trips on the installed
// plug-ins, state beyond the parameters on the test plug-in, refusals, and a
// restore while audio runs.
#include "HostedTestPlugin.h"

#include "testsupport/InstalledPlugins.h"
#include "testsupport/ScratchFolder.h"

#include "pluginterfaces/base/funknown.h"
#include "public.sdk/source/vst/vstpresetfile.h"

#include <atomic>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include <sys/stat.h>

using testsupport::installedBundle;
using testsupport::pinLibrariesThatLeakAtUnload;
using testsupport::ScratchFolder;
using varnel::extensions::vst::VSTModule;
using vsttest::HostedTestPlugin;
using vsttest::StereoBuffers;

namespace {

constexpr int kBlock = 256;

// 40 blocks of a decaying two-tone signal through `module`, both channels appended.
std::vector<float> render(VSTModule& module) {
    StereoBuffers buffers(kBlock);
    std::vector<float> rendered;
    for (int block = 0; block < 40; ++block) {
        for (int i = 0; i < kBlock; ++i) {
            const double t = (block * kBlock + i) / 48000.0;
            buffers.inL[i] = static_cast<float>(0.8 * std::exp(-3 * t) * std::sin(2 * M_PI * 220 * t));
            buffers.inR[i] = static_cast<float>(0.6 * std::exp(-2 * t) * std::sin(2 * M_PI * 330 * t));
        }
        buffers.process(module, kBlock);
        rendered.insert(rendered.end(), buffers.outL.begin(), buffers.outL.end());
        rendered.insert(rendered.end(), buffers.outR.begin(), buffers.outR.end());
    }
    return rendered;
}

// A preset as another host would write it, through the SDK's own writer.
bool writeSdkPreset(const std::string& path, const std::string& classId, const std::vector<double>& component,
                    const std::vector<double>& controller) {
    Steinberg::IBStream* stream = Steinberg::Vst::FileStream::open(path.c_str(), "wb");
    if (!stream)
        return false;
    Steinberg::FUID uid;
    uid.fromString(classId.c_str());
    Steinberg::Vst::PresetFile file(stream);
    file.setClassID(uid);
    const bool written =
        file.writeHeader() &&
        file.writeChunk(component.data(), static_cast<int>(component.size() * sizeof(double)),
                        Steinberg::Vst::kComponentState) &&
        // The SDK's file stream hands its buffer to fwrite, which must not get null.
        file.writeChunk(controller.empty() ? static_cast<const void*>("") : controller.data(),
                        static_cast<int>(controller.size() * sizeof(double)),
                        Steinberg::Vst::kControllerState) &&
        file.writeChunkList();
    stream->release();
    return written;
}

// The class id text a state carries in its header.
std::string classIdOf(const std::vector<std::uint8_t>& state) {
    return state.size() >= 40 ? std::string(state.begin() + 8, state.begin() + 40) : std::string();
}

} // namespace

using PluginState = vsttest::HostedPluginTest;

TEST_F(PluginState, RoundTripsThroughStateAndPresetRenderBitIdenticallyOnTheInstalledPlugins) {
    ScratchFolder folder;
    pinLibrariesThatLeakAtUnload();
    for (const char* name : {"ZamCompX2", "ZamVerb"}) {
        SCOPED_TRACE(name);
        log.clear();
        VSTModule original;
        ASSERT_TRUE(original.loadPlugin(installedBundle(name)));
        // Every continuous parameter moved off its default (ZamVerb loads a new room
        // on a thread of its own, so steps stay put).
        for (const auto& parameter : original.getParameters()) {
            if (!parameter.readOnly && parameter.id >= 3 && parameter.stepCount == 0)
                original.setParameter(parameter.id, static_cast<float>(0.35 + 0.07 * (parameter.id % 5)));
        }
        // These plug-ins ignore parameters in blocks without audio, so their state
        // holds the values once a block with audio has carried them.
        const std::vector<float> expected = render(original);
        std::vector<std::uint8_t> state;
        ASSERT_TRUE(original.getState(state));
        ASSERT_TRUE(original.savePreset(folder.file(std::string(name) + ".vstpreset")));

        VSTModule fromState;
        ASSERT_TRUE(fromState.loadPlugin(installedBundle(name)));
        ASSERT_TRUE(fromState.setState(state));
        EXPECT_EQ(render(fromState), expected);

        VSTModule fromPreset;
        ASSERT_TRUE(fromPreset.loadPlugin(installedBundle(name)));
        std::vector<std::uint8_t> defaults;
        ASSERT_TRUE(fromPreset.getState(defaults));
        ASSERT_TRUE(fromPreset.loadPreset(folder.file(std::string(name) + ".vstpreset")));
        EXPECT_EQ(render(fromPreset), expected);
        // ZamVerb passes its input through on this host whatever its settings, so its
        // state itself shows that the settings arrived.
        std::vector<std::uint8_t> restored;
        ASSERT_TRUE(fromPreset.getState(restored));
        EXPECT_EQ(restored, state);
        EXPECT_NE(defaults, state);
        EXPECT_TRUE(log.lines().empty()) << log.lines().front();
    }
}

TEST_F(PluginState, StateBeyondTheParametersAndTheControllersOwnIsRestored) {
    ScratchFolder folder;
    HostedTestPlugin source("TestStateful");
    ASSERT_TRUE(source.load());
    std::vector<std::uint8_t> defaults;
    ASSERT_TRUE(source.module->getState(defaults));
    // Gain 0.5, output offset 0.125 (no parameter shows it), view scale 2.
    const std::string preset = folder.file("stateful.vstpreset");
    ASSERT_TRUE(writeSdkPreset(preset, classIdOf(defaults), {0.5, 0.125}, {2.0}));
    source.probe().reset();
    ASSERT_TRUE(source.module->loadPreset(preset));
    // No block while the state changes: processing off and inactive around it.
    EXPECT_EQ(source.sequence({"setProcessing", "setActive", "setState", "setComponentState"}),
              (std::vector<std::string>{"setProcessing(false)", "setActive(false)",
                                        "setState(bytes=16 gain=0.5 offset=0.125)",
                                        "setComponentState(bytes=8 gain=0.5)", "setState(bytes=8 scale=2)",
                                        "setActive(true)", "setProcessing(true)"}));
    StereoBuffers buffers = source.processBlock(16);
    EXPECT_EQ(buffers.outL[0], 0.5f * 0.5f + 0.125f);
    EXPECT_EQ(source.module->getParameterValue(1), 0.5f);

    // What the module gives back carries all three into a fresh plug-in.
    std::vector<std::uint8_t> state;
    ASSERT_TRUE(source.module->getState(state));
    HostedTestPlugin copy("TestStateful");
    ASSERT_TRUE(copy.load());
    copy.probe().reset();
    ASSERT_TRUE(copy.module->setState(state));
    EXPECT_EQ(
        copy.sequence({"setState"}),
        (std::vector<std::string>{"setState(bytes=16 gain=0.5 offset=0.125)", "setState(bytes=8 scale=2)"}));
    StereoBuffers copied = copy.processBlock(16);
    EXPECT_EQ(copied.outL, buffers.outL);
    EXPECT_NO_ORDER_VIOLATIONS(source);
    EXPECT_NO_ORDER_VIOLATIONS(copy);
}

TEST_F(PluginState, ARestoredStateReachesBothInstancesOfADualMonoPlugin) {
    ScratchFolder folder;
    ASSERT_TRUE(plugin.load("TestMonoStateful"));
    std::vector<std::uint8_t> defaults;
    ASSERT_TRUE(plugin.module->getState(defaults));
    const std::string preset = folder.file("stateful.vstpreset");
    ASSERT_TRUE(writeSdkPreset(preset, classIdOf(defaults), {0.5, 0.125}, {2.0}));
    ASSERT_TRUE(plugin.module->loadPreset(preset));
    // The offset is in no parameter: only the state carries it to the right channel.
    StereoBuffers buffers = plugin.processBlock(16);
    EXPECT_EQ(buffers.outL[0], 0.5f * 0.5f + 0.125f);
    EXPECT_EQ(buffers.outR[0], 0.5f * 0.5f + 0.125f);
    EXPECT_NO_ORDER_VIOLATIONS(plugin);
}

TEST_F(PluginState, SavingAPresetWritesALinksTargetAndKeepsTheFilesMode) {
    namespace fs = std::filesystem;
    ScratchFolder folder;
    ASSERT_TRUE(plugin.load("TestStateful"));
    const fs::path target = folder.file("kept.vstpreset");
    const fs::path link = folder.file("link.vstpreset");
    std::ofstream(target) << "an older preset";
    fs::permissions(target, fs::perms::owner_read | fs::perms::group_read);
    fs::create_symlink(target, link);
    // Links planted where a predictable temporary file would go lead nowhere.
    const fs::path victim = folder.file("victim");
    std::ofstream(victim) << "not a preset";
    for (int i = 0; i < 10; ++i)
        fs::create_symlink(victim, target.string() + ".tmp-" + std::to_string(i));
    ASSERT_TRUE(plugin.module->savePreset(link.string()));
    for (int i = 0; i < 10; ++i)
        fs::remove(target.string() + ".tmp-" + std::to_string(i));
    std::ifstream victimFile(victim);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(victimFile), {}), "not a preset");
    fs::remove(victim);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::group_read);
    // Nothing is left beside it, and what it holds is a preset the plug-in reads back.
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()), 2);
    EXPECT_TRUE(plugin.module->loadPreset(target.string()));
}

TEST_F(PluginState, RestoredValuesReplaceTheOnesSetBeforeOnTheAudioSide) {
    ASSERT_TRUE(plugin.load("TestStateful"));
    std::vector<std::uint8_t> halfGain;
    plugin.module->setParameter(1u, 0.5f);
    ASSERT_TRUE(plugin.module->getState(halfGain)); // the controller already has 0.5
    plugin.module->setParameter(1u, 0.8f);
    StereoBuffers buffers = plugin.processBlock(16);
    ASSERT_EQ(plugin.probe().lastProcesses(1)[0].gain, static_cast<double>(0.8f));
    // Every block repeats the last value set for Gain; after the restore that is the
    // restored 0.5, not 0.8.
    ASSERT_TRUE(plugin.module->setState(halfGain));
    buffers.process(*plugin.module, 16);
    const auto processed = plugin.probe().lastProcesses(1)[0];
    EXPECT_EQ(processed.gain, 0.5);
    EXPECT_EQ(processed.queues[0].lastValue, 0.5);
}

TEST_F(PluginState, ForeignTruncatedOrDamagedStatesAreRefusedAndChangeNothing) {
    ScratchFolder folder;
    HostedTestPlugin other("TestSeparate");
    ASSERT_TRUE(other.load());
    std::vector<std::uint8_t> foreign;
    ASSERT_TRUE(other.module->getState(foreign));

    ASSERT_TRUE(plugin.load("TestStateful"));
    plugin.module->setParameter(1u, 0.25f);
    std::vector<std::uint8_t> own;
    ASSERT_TRUE(plugin.module->getState(own));
    const std::vector<std::uint8_t> truncated(own.begin(), own.end() - 12);
    const std::vector<std::uint8_t> cutInChunks(own.begin(), own.begin() + 60);
    // Whole, but the first chunk's size reaches one byte past the end.
    std::vector<std::uint8_t> overlong = own;
    std::int64_t listOffset = 0, chunkOffset = 0;
    std::memcpy(&listOffset, own.data() + 40, sizeof listOffset);
    std::memcpy(&chunkOffset, own.data() + listOffset + 12, sizeof chunkOffset);
    const auto pastTheEnd = static_cast<std::int64_t>(own.size()) - chunkOffset + 1;
    std::memcpy(overlong.data() + listOffset + 20, &pastTheEnd, sizeof pastTheEnd);
    {
        std::ofstream(folder.file("foreign.vstpreset"), std::ios::binary)
            .write(reinterpret_cast<const char*>(foreign.data()),
                   static_cast<std::streamsize>(foreign.size()));
    }
    StereoBuffers buffers = plugin.processBlock(16);
    plugin.probe().reset();

    log.clear();
    EXPECT_FALSE(plugin.module->setState(foreign));
    EXPECT_FALSE(plugin.module->setState(truncated));
    EXPECT_FALSE(plugin.module->setState(cutInChunks));
    EXPECT_FALSE(plugin.module->setState(overlong));
    EXPECT_FALSE(plugin.module->setState({'n', 'o', 'i', 's', 'e'}));
    EXPECT_FALSE(plugin.module->loadPreset(folder.file("foreign.vstpreset")));
    EXPECT_FALSE(plugin.module->loadPreset(folder.file("missing.vstpreset")));
    // Only regular files of a sane size are read: never a folder, a FIFO (nothing
    // waits for a writer), an endless device or a huge (here sparse) file.
    const std::string fifo = folder.file("fifo.vstpreset"), huge = folder.file("huge.vstpreset");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::ofstream(huge).close();
    std::filesystem::resize_file(huge, std::uintmax_t{4} << 30);
    for (const std::string& unreadable : {folder.path(), fifo, std::string("/dev/zero"), huge})
        EXPECT_FALSE(plugin.module->loadPreset(unreadable)) << unreadable;
    const std::string foreignClass = classIdOf(foreign), ownClass = classIdOf(own);
    const std::string ownName = plugin.module->getPluginClassInfo().name + " (" + ownClass + ")";
    EXPECT_EQ(
        log.lines(),
        (std::vector<std::string>{
            "[VSTModule] Refused plug-in state: it belongs to plug-in class " + foreignClass +
                ", not to this plug-in's class " + ownName,
            "[VSTModule] Refused plug-in state: truncated: the chunk list ends early",
            "[VSTModule] Refused plug-in state: truncated: the chunk list is missing",
            "[VSTModule] Refused plug-in state: truncated: a chunk ends past the end of the data",
            "[VSTModule] Refused plug-in state: not a VST 3 preset",
            "[VSTModule] Refused preset " + folder.file("foreign.vstpreset") +
                ": it belongs to plug-in class " + foreignClass + ", not to this plug-in's class " + ownName,
            "[VSTModule] Could not read preset file: " + folder.file("missing.vstpreset") +
                " (No such file or directory)",
            "[VSTModule] Could not read preset file: " + folder.path() + " (it is a folder)",
            "[VSTModule] Could not read preset file: " + fifo + " (it is not a regular file)",
            "[VSTModule] Could not read preset file: /dev/zero (it is not a regular file)",
            "[VSTModule] Could not read preset file: " + huge + " (it is larger than 128 MiB)",
        }));
    // The plug-in was not touched and goes on processing as before.
    // Only the meter the last blocks reported went on to the controller.
    for (const auto& call : plugin.probe().calls())
        if (call.method != "setParamNormalized" || call.arguments.rfind("id=3 ", 0) != 0)
            ADD_FAILURE() << call.method << "(" << call.arguments << ")";
    buffers.process(*plugin.module, 16);
    EXPECT_EQ(plugin.probe().lastProcesses(1)[0].gain, static_cast<double>(0.25f));
    EXPECT_EQ(buffers.outL[0], 0.5f * 0.25f);

    // A state the plug-in takes only in part (its controller wants 8 bytes) is undone.
    const std::string partial = folder.file("partial.vstpreset");
    ASSERT_TRUE(writeSdkPreset(partial, ownClass, {0.75, 0.5}, {}));
    log.clear();
    EXPECT_FALSE(plugin.module->loadPreset(partial));
    EXPECT_EQ(log.lines(), std::vector<std::string>{
                               "[VSTModule] The plug-in refused the state (IEditController::setState)."});
    buffers.process(*plugin.module, 16);
    EXPECT_EQ(buffers.outL[0], 0.5f * 0.25f);
    EXPECT_EQ(plugin.module->getParameterValue(1), 0.25f);
    EXPECT_NO_ORDER_VIOLATIONS(plugin);
}

TEST_F(PluginState, RestoreWhileAudioRunsNeverShowsAHalfRestoredPlugin) {
    ASSERT_TRUE(plugin.load("TestStateful"));
    std::vector<std::uint8_t> unity, shifted;
    ASSERT_TRUE(plugin.module->getState(unity)); // gain 1, offset 0
    ScratchFolder folder;
    const std::string preset = folder.file("shifted.vstpreset");
    ASSERT_TRUE(writeSdkPreset(preset, classIdOf(unity), {0.5, 0.125}, {1.0}));
    ASSERT_TRUE(plugin.module->loadPreset(preset));
    ASSERT_TRUE(plugin.module->getState(shifted));

    // Input 0.5: a whole state gives 0.5 (unity) or 0.375 (shifted); a block that ran
    // between gain and offset would give 0.25 or 0.625. A skipped block keeps -1.
    std::atomic<bool> running{true};
    std::atomic<int> mixedBlocks{0}, renderedBlocks{0};
    std::thread audio([&] {
        StereoBuffers buffers(64);
        while (running.load()) {
            std::fill(buffers.outL.begin(), buffers.outL.end(), -1.0f);
            buffers.process(*plugin.module, 64);
            const float first = buffers.outL[0];
            if (first == -1.0f)
                continue;
            renderedBlocks.fetch_add(1);
            const bool whole = first == 0.5f || first == 0.375f;
            if (!whole ||
                std::any_of(buffers.outL.begin(), buffers.outL.end(), [&](float v) { return v != first; }))
                mixedBlocks.fetch_add(1);
        }
    });
    for (int restore = 0; restore < 40; ++restore)
        ASSERT_TRUE(plugin.module->setState(restore % 2 == 0 ? unity : shifted));
    while (renderedBlocks.load() < 10)
        std::this_thread::yield();
    running.store(false);
    audio.join();
    EXPECT_EQ(mixedBlocks.load(), 0);
    EXPECT_NO_ORDER_VIOLATIONS(plugin);
}

TEST_F(PluginState, GettingTheStateWhileBlocksFlowLeavesEveryProcessCallToTheAudioThread) {
    ASSERT_TRUE(plugin.load("TestStateful"));
    plugin.probe().reset();
    std::atomic<bool> running{true};
    std::atomic<std::uint64_t> audioThread{0};
    std::thread audio([&] {
        audioThread.store(testplugin::currentThreadToken());
        StereoBuffers buffers(64);
        while (running.load()) {
            buffers.process(*plugin.module, 64);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    while (plugin.probe().processCount() == 0)
        std::this_thread::yield();
    // Each value set waits in the slots for a block, which getState waits for.
    std::vector<std::uint8_t> state;
    for (int round = 1; round <= 5; ++round) {
        plugin.module->setParameter(1u, 0.1f * static_cast<float>(round));
        EXPECT_TRUE(plugin.module->getState(state));
    }
    running.store(false);
    audio.join();
    ASSERT_LE(plugin.probe().processCount(), 256) << "more blocks than the record keeps";
    for (const testplugin::ProcessRecord& block : plugin.probe().lastProcesses(256))
        EXPECT_EQ(block.thread, audioThread.load()) << "a block of " << block.numSamples << " frames";
    EXPECT_EQ(plugin.probe().lastProcesses(1).at(0).gain, static_cast<double>(0.5f));
    EXPECT_NO_ORDER_VIOLATIONS(plugin);
}
